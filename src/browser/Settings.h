// The settings file brindle.ini of the program folder: the default folder and the parameter character.
#pragma once

#include "platform/ProgramFolder.h"

#include <QString>
#include <optional>

namespace browser {

struct SettingsValues {
    QString folder;        // line 1: the default folder; may be empty
    QString parameterChar; // line 2: the parameter character; may be empty
    bool operator==(const SettingsValues&) const = default;
};

// The two values of a settings file's text. Each line is taken whole, so a folder with a comma
// reads back as written; a value wrapped in double quotes (older files quoted them) loses its
// quotes. Missing lines are empty values; anything after line 2 is ignored.
SettingsValues parseSettings(const QString& text);

// The text the writers produce: the folder, then the parameter character, each on its own line
// ending in CR LF once encoded by platform::TextFile.
QString formatSettings(const SettingsValues& values);

class Settings {
public:
    explicit Settings(platform::ProgramFolder folder) : m_folder(std::move(folder)) {}

    QString path() const { return m_folder.settingsFile(); }

    // The file's values; nullopt when there is no file yet (a first start, not an error). Throws
    // engine::Error when the file exists but cannot be read.
    std::optional<SettingsValues> read() const;

    // Replaces the file atomically, so a failed write leaves the old file whole. Throws
    // engine::Error (one per call) when it cannot be written.
    void write(const SettingsValues& values) const;

private:
    platform::ProgramFolder m_folder;
};

} // namespace browser
