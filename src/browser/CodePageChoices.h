// The code pages the user chose for single tables, kept in codepages.txt of the program folder: one
// line a table, the code page's name, a tab, and the table file's full path.
#pragma once

#include "platform/ProgramFolder.h"

#include <QString>
#include <map>
#include <string>

namespace browser {

class CodePageChoices {
public:
    explicit CodePageChoices(platform::ProgramFolder folder) : m_folder(std::move(folder)) {}

    // Full path of a table file -> the code page chosen for it. No file yet: no choices. Lines that do
    // not have both parts are passed over. Throws engine::Error when the file cannot be read.
    std::map<QString, QString> read() const;
    // Keeps `page` for the table file (an empty page forgets the choice), replacing the file atomically,
    // and returns the choices as written. Throws engine::Error when it cannot be read or written.
    std::map<QString, QString> choose(const QString& table, const QString& page) const;

    // The choices for the tables of one folder, by file name, as the engine takes them.
    static std::map<std::string, std::string> inFolder(const std::map<QString, QString>& choices,
                                                       const QString& folder);

private:
    platform::ProgramFolder m_folder;
};

} // namespace browser
