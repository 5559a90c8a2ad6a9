// Open-file-description locks on one byte far past any table data.
#include "engine/TableLock.h"

#include <fcntl.h>
#include <unistd.h>

namespace engine {

namespace {
// Past the 4 GiB a dBASE table can address, so the lock never overlaps data another program locks.
constexpr off_t kLockByte = 0x1'0000'0000LL + 0x42;
} // namespace

TableLock::~TableLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::unique_ptr<TableLock> TableLock::tryLock(const std::filesystem::path& table, Mode mode) {
    const int fd = ::open(table.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct flock fl {};
    fl.l_type = mode == Mode::Shared ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockByte;
    fl.l_len = 1;
    // A write lock needs a descriptor open for writing; a read-only one is enough for the exclusive
    // marker when the lock is taken as a read lock test first.
    if (mode == Mode::Exclusive) {
        const int rw = ::open(table.c_str(), O_RDWR | O_CLOEXEC);
        if (rw >= 0) {
            ::close(fd);
            if (::fcntl(rw, F_OFD_SETLK, &fl) != 0) {
                ::close(rw);
                return nullptr;
            }
            std::unique_ptr<TableLock> lock(new TableLock);
            lock->m_fd = rw;
            return lock;
        }
        // A file we may not write: nobody can change it through us, a shared lock says "in use" enough.
        fl.l_type = F_RDLCK;
    }
    if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<TableLock> lock(new TableLock);
    lock->m_fd = fd;
    return lock;
}

} // namespace engine
