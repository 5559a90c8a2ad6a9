// The one exception type of the dBASE file layer.
#pragma once

#include <stdexcept>
#include <string>

namespace xbase {

enum class ErrorKind {
    Io,               // the operating system refused a read, write, rename, ...
    Format,           // the bytes are not a table or memo file we can make sense of
    Unsupported,      // a real dBASE variant, but one this layer cannot read or write
    Value,            // a value does not fit its field (too long, too wide, ...)
    Type,             // a value of the wrong kind for its field (text for a number, an impossible date, ...)
    CodePage,         // text the table's code page cannot hold, or bytes it cannot decode
    Memo,             // a memo block that is missing or points outside its file
    ReadOnly,         // a write to a table opened read-only, or one whose index would go stale
    LockedForReading, // a writer of another process held the table longer than a reader waits
    LockedForWriting, // another writer held the table longer than a writer waits
    Changed,          // the file was replaced, cut or restructured by another program since it was read
    Interrupted,      // an unfinished change must be undone before the table can be read, and cannot be here
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

} // namespace xbase
