// Errors of the program's file operations, in the numbering of the engine's error table.
#pragma once

#include "engine/Error.h"

#include <QString>

namespace platform {

// An error whose description names the action, the file and the system's reason, e.g.
// "Cannot write /data/brindle.ini: Permission denied".
engine::Error fileError(int number, const QString& action, const QString& path, const QString& reason);

// Throws PathNotFound when the folder that is to hold `path` does not exist.
void requireParentFolder(const QString& action, const QString& path);

} // namespace platform
