// Text files of the program (settings, query log, exports): the locale's encoding, no byte order
// mark, CR LF at the end of every line.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

class TextFile {
public:
    // The bytes of `text` as the program's text files hold them: every line break (LF, CR or
    // CR LF) becomes CR LF; characters in the locale's encoding (UTF-8 on current systems).
    static QByteArray encode(const QString& text);
    // Back from such bytes; line breaks are left as they are.
    static QString decode(const QByteArray& bytes);

    // Reads a whole file. Throws engine::Error: FileNotFound when it does not exist, PathNotFound
    // when its folder does not, PathFileAccess when it cannot be read.
    static QString read(const QString& path);

    // Replaces the file with `text`, atomically (see AtomicFile). Throws as AtomicFile::write.
    static void write(const QString& path, const QString& text);

    // Adds `text` at the end of the file, creating it if needed, in one write. Throws
    // engine::Error: PathNotFound, or PathFileAccess when it cannot be opened or written.
    static void append(const QString& path, const QString& text);
};

} // namespace platform
