// Shows a text file of the program (the query log, the help text) in a text application.
#pragma once

#include <QString>

namespace platform {

class TextEditor {
public:
    virtual ~TextEditor() = default;
    // Starts showing the file and returns at once, without waiting for the user to close it. A
    // failure to start is reported to the user by the implementation; nothing is thrown.
    virtual void open(const QString& path) = 0;
};

} // namespace platform
