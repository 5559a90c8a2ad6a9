// Errors of the program's file operations, in the numbering of the engine's error table.
#include "platform/FileError.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

engine::Error fileError(int number, const QString& action, const QString& path, const QString& reason) {
    QString description = action + ' ' + QDir::toNativeSeparators(path);
    if (!reason.isEmpty()) description += ": " + reason;
    return engine::Error(number, description.toStdString());
}

void requireParentFolder(const QString& action, const QString& path) {
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        throw fileError(engine::PathNotFound, action, path,
                        "the folder " + QDir::toNativeSeparators(folder.filePath()) + " does not exist");
}

} // namespace platform
