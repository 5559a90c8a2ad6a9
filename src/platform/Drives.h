// The drives of the drive list: mounted volumes of real file systems (drive letters on Windows),
// and the drive that holds a path.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

class Drives {
public:
    // The volumes of this system, sorted by path, the root folder first. Unix: read from
    // /proc/self/mounts (the root folder alone when that cannot be read); Windows: drive letters.
    static QStringList list();

    // The volume of `path`, among list(). Symbolic links in an existing path are followed first.
    static QString driveOf(const QString& path);

    // Mount paths of real file systems in a mounts table (the format of /proc/self/mounts),
    // sorted, each once, always with the root folder "/" first: the root holds every path, even
    // where its own file system is not a real one (a container's overlay).
    static QStringList parseMounts(const QString& mountsText);

    // The drive among `drives` that holds the absolute `path`: the longest drive path that is the
    // path itself or one of its parent folders; empty when none is.
    static QString driveOf(const QString& path, const QStringList& drives);

    // Whether a file system type holds files of its own, as opposed to kernel views (proc,
    // sysfs), memory (tmpfs) or layers and images (overlay, squashfs).
    static bool isRealFileSystem(const QString& type);
};

} // namespace platform
