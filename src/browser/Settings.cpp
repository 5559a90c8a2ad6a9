// The settings file brindle.ini of the program folder: the default folder and the parameter character.
#include "browser/Settings.h"

#include "engine/Error.h"
#include "platform/TextFile.h"

#include <QRegularExpression>
#include <QStringList>

namespace browser {

namespace {

QString unquoted(const QString& value) {
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

SettingsValues parseSettings(const QString& text) {
    // Files edited by hand may have LF or CR line ends; the writers use CR LF.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineEnd);
    SettingsValues values;
    if (!lines.isEmpty()) values.folder = unquoted(lines.at(0));
    if (lines.size() > 1) values.parameterChar = unquoted(lines.at(1));
    return values;
}

QString formatSettings(const SettingsValues& values) {
    return values.folder + "\r\n" + values.parameterChar + "\r\n";
}

std::optional<SettingsValues> Settings::read() const {
    try {
        return parseSettings(platform::TextFile::read(path()));
    } catch (const engine::Error& error) {
        if (error.number() == engine::FileNotFound) return std::nullopt;
        throw;
    }
}

void Settings::write(const SettingsValues& values) const {
    platform::TextFile::write(path(), formatSettings(values));
}

} // namespace browser
