// Replaces a file's contents all at once: the old file stays whole until the new one is complete.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

class AtomicFile {
public:
    // Writes `bytes` to a temporary file in the folder of `path`, then renames it over `path`.
    // On any failure the old file (or its absence) is left as it was, the temporary file is
    // removed, and an engine::Error is thrown: PathNotFound when the folder does not exist,
    // PathFileAccess when the file cannot be written or replaced.
    static void write(const QString& path, const QByteArray& bytes);
};

} // namespace platform
