// The code pages chosen for single tables: codepages.txt of the program folder.
#include "browser/CodePageChoices.h"

#include "engine/Error.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace browser {

namespace {

QString cleanPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

std::map<QString, QString> CodePageChoices::read() const {
    QString text;
    try {
        text = platform::TextFile::read(m_folder.codePageChoices());
    } catch (const engine::Error& error) {
        if (error.number() == engine::FileNotFound) return {};
        throw;
    }
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    std::map<QString, QString> choices;
    for (const QString& line : text.split(lineEnd, Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0 || tab + 1 >= line.size()) continue;
        choices[cleanPath(line.mid(tab + 1))] = line.left(tab).trimmed();
    }
    return choices;
}

std::map<QString, QString> CodePageChoices::choose(const QString& table, const QString& page) const {
    std::map<QString, QString> choices = read();
    if (page.isEmpty())
        choices.erase(cleanPath(table));
    else
        choices[cleanPath(table)] = page;
    QString text;
    for (const auto& [path, chosen] : choices)
        text += chosen + QLatin1Char('\t') + path + QStringLiteral("\r\n");
    platform::TextFile::write(m_folder.codePageChoices(), text);
    return choices;
}

std::map<std::string, std::string> CodePageChoices::inFolder(const std::map<QString, QString>& choices,
                                                             const QString& folder) {
    const QString dir = cleanPath(folder);
    std::map<std::string, std::string> byFile;
    for (const auto& [path, page] : choices) {
        const QFileInfo info(path);
        if (info.absolutePath() == dir) byFile[info.fileName().toStdString()] = page.toStdString();
    }
    return byFile;
}

} // namespace browser
