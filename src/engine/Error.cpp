// How errors of the file layer become engine errors.
#include "engine/Error.h"

namespace engine {

int numberFor(xbase::ErrorKind kind) {
    switch (kind) {
    case xbase::ErrorKind::Io:
        return DiskIo;
    case xbase::ErrorKind::Format:
        return BadTableFile;
    case xbase::ErrorKind::Unsupported:
        return NotSupported;
    case xbase::ErrorKind::Value:
        return FieldTooSmall;
    case xbase::ErrorKind::Type:
        return DataTypeMismatch;
    case xbase::ErrorKind::CodePage:
        return FieldTooSmall;
    case xbase::ErrorKind::Memo:
        return BadTableFile;
    case xbase::ErrorKind::ReadOnly:
        return NotUpdatable;
    case xbase::ErrorKind::LockedForReading:
        return CouldNotReadLocked;
    case xbase::ErrorKind::LockedForWriting:
        return CouldNotUpdateLocked;
    case xbase::ErrorKind::Changed:
        return DataChanged;
    case xbase::ErrorKind::Interrupted:
        return CannotWriteTable;
    }
    return BadTableFile;
}

Error fromFileError(const xbase::Error& e) {
    return Error(numberFor(e.kind()), e.what());
}

} // namespace engine
