// The program folder and the files the program keeps there, passed around as a value so that
// tests can point it at a temporary folder.
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

ProgramFolder::ProgramFolder(const QString& folder)
    : m_path(QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))) {}

ProgramFolder ProgramFolder::ofExecutable() {
    return ProgramFolder(QCoreApplication::applicationDirPath());
}

QString ProgramFolder::file(const QString& name) const {
    return QDir::toNativeSeparators(QDir(QDir::fromNativeSeparators(m_path)).filePath(name));
}

} // namespace platform
