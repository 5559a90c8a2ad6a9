// The program folder and the files the program keeps there, passed around as a value so that
// tests can point it at a temporary folder.
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

ProgramFolder::ProgramFolder(const QString& folder)
    : m_path(QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))) {}

ProgramFolder ProgramFolder::ofExecutable() {
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

ProgramFolder ProgramFolder::forThisProgram() {
    const ProgramFolder own(QCoreApplication::applicationDirPath());
    const QString installed = own.file(QStringLiteral("../share/brindle"));
    // Whether the folder can be written says nothing for root, who may write /usr/bin: what is there does.
    if (QFileInfo::exists(own.savedQueries()) || !QFileInfo::exists(QDir(installed).filePath("upiti.dbf")))
        return own;
    return forInstalledProgram(installed, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

ProgramFolder ProgramFolder::forInstalledProgram(const QString& installed, const QString& userData) {
    const ProgramFolder folder(userData);
    QDir().mkpath(userData);
    const QDir from(installed);
    // The saved-query table starts empty, as installed; the user's queries are never replaced.
    if (!QFileInfo::exists(folder.savedQueries()))
        for (const QString& name : from.entryList({QStringLiteral("upiti.*")}, QDir::Files))
            QFile::copy(from.filePath(name), folder.file(name));
    // The help text follows the installed program.
    const QFileInfo help(from.filePath(QStringLiteral("brHelp.txt")));
    const QFileInfo copy(folder.helpText());
    if (help.exists() &&
        (!copy.exists() || copy.size() != help.size() || copy.lastModified() < help.lastModified())) {
        QFile::remove(copy.filePath());
        QFile::copy(help.filePath(), copy.filePath());
    }
    return folder;
}

QString ProgramFolder::file(const QString& name) const {
    return QDir::toNativeSeparators(QDir(QDir::fromNativeSeparators(m_path)).filePath(name));
}

} // namespace platform
