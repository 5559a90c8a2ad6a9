// Open-file-description locks on one byte far past any table data.
#include "engine/TableLock.h"

#include "xbase/FileIo.h"

#include <fcntl.h>

namespace engine {

namespace {
// Past the 4 GiB a dBASE table can address, so the lock never overlaps data another program locks.
constexpr off_t kLockByte = 0x1'0000'0000LL + 0x42;

bool lock(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockByte;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

} // namespace

TableLock::~TableLock() = default;

std::unique_ptr<TableLock> TableLock::tryLock(const std::filesystem::path& table, Mode mode) {
    // A write lock needs a descriptor open for writing. A file we may not write cannot be changed
    // through us anyway: a shared lock says "in use" enough for it.
    if (mode == Mode::Exclusive) {
        if (xbase::io::Fd rw = xbase::io::tryOpen(table, O_RDWR)) {
            if (!lock(rw.get(), F_WRLCK)) return nullptr;
            std::unique_ptr<TableLock> held(new TableLock);
            held->m_fd = std::move(rw);
            return held;
        }
    }
    xbase::io::Fd fd = xbase::io::tryOpen(table, O_RDONLY);
    if (!fd || !lock(fd.get(), F_RDLCK)) return nullptr;
    std::unique_ptr<TableLock> held(new TableLock);
    held->m_fd = std::move(fd);
    return held;
}

} // namespace engine
