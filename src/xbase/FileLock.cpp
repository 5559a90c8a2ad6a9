// Shared, reserved, pending and exclusive locks on three bytes past the end of any table.
#include "xbase/FileLock.h"

#include "xbase/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace xbase {

namespace {

// Past 4 GiB, and apart from the byte the engine uses to mark a table as opened exclusively.
constexpr long long kPending = 0x1'0000'0000LL + 0x200;
constexpr long long kReserved = kPending + 1;
constexpr long long kShared = kPending + 2;

struct flock range(short type, long long offset) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    return fl;
}

} // namespace

FileLock::~FileLock() {
    releaseAll();
}

bool FileLock::set(short type, long long offset) const {
    struct flock fl = range(type, offset);
    if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    throw Error(ErrorKind::Io, std::string("Cannot lock the table: ") + std::strerror(errno));
}

void FileLock::unset(short type, long long offset) const noexcept {
    struct flock fl = range(type, offset);
    (void)::fcntl(m_fd, F_OFD_SETLK, &fl);
}

bool FileLock::tryShared() {
    if (m_shared) return true;
    // Through pending: while a writer waits for readers to leave, no new reader comes in.
    const bool holdPending = m_pending;
    if (!holdPending && !set(F_RDLCK, kPending)) return false;
    bool ok = false;
    try {
        ok = set(F_RDLCK, kShared);
    } catch (...) {
        if (!holdPending) unset(F_UNLCK, kPending);
        throw;
    }
    if (!holdPending) unset(F_UNLCK, kPending);
    m_shared = ok;
    return ok;
}

bool FileLock::tryReserved() {
    if (m_reserved) return true;
    if (!m_shared) return false;
    m_reserved = set(F_WRLCK, kReserved);
    return m_reserved;
}

bool FileLock::tryExclusive() {
    if (m_exclusive) return true;
    if (!m_shared) return false;
    if (!m_pending) {
        if (!set(F_WRLCK, kPending)) return false;
        m_pending = true;
    }
    // Our own read lock on the shared byte turns into a write lock once no other reader holds it.
    m_exclusive = set(F_WRLCK, kShared);
    return m_exclusive;
}

void FileLock::releaseExclusive() noexcept {
    if (m_exclusive) unset(F_RDLCK, kShared);
    if (m_pending) unset(F_UNLCK, kPending);
    m_exclusive = m_pending = false;
}

void FileLock::releaseReserved() noexcept {
    releaseExclusive();
    if (m_reserved) unset(F_UNLCK, kReserved);
    m_reserved = false;
}

void FileLock::releaseAll() noexcept {
    releaseReserved();
    if (m_shared) unset(F_UNLCK, kShared);
    m_shared = false;
}

bool FileLock::reservedElsewhere() const {
    struct flock fl = range(F_WRLCK, kReserved);
    if (::fcntl(m_fd, F_OFD_GETLK, &fl) != 0)
        throw Error(ErrorKind::Io, std::string("Cannot test a lock of the table: ") + std::strerror(errno));
    return fl.l_type != F_UNLCK;
}

bool FileLock::retry(const std::function<bool()>& attempt, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::microseconds(500);
    for (;;) {
        if (attempt()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
    }
}

} // namespace xbase
