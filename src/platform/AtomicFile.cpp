// Replaces a file's contents all at once: the old file stays whole until the new one is complete.
#include "platform/AtomicFile.h"

#include "platform/FileError.h"

#include <QFileInfo>
#include <QSaveFile>

namespace platform {

void AtomicFile::write(const QString& path, const QByteArray& bytes) {
    const QString action = "Cannot write";
    requireParentFolder(action, path);
    if (QFileInfo(path).isDir())
        throw fileError(engine::PathFileAccess, action, path, "a folder of that name is in the way");
    // QSaveFile writes beside the target and renames over it in commit(); it never falls back to
    // writing the target in place, and it drops its temporary file on failure.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fileError(engine::PathFileAccess, action, path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw fileError(engine::PathFileAccess, action, path, reason);
    }
    if (!file.commit()) throw fileError(engine::PathFileAccess, action, path, file.errorString());
}

} // namespace platform
