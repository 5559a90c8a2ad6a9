// The locks by which processes share a table file, after the locks of a rollback journal:
//   shared     readers, any number at once
//   reserved   the one writer that prepares a change; readers go on meanwhile
//   pending    held by a writer (or by whoever repairs an interrupted change) that waits for the
//              readers to leave: no new reader starts
//   exclusive  the writer changing the file; nobody reads
// Shared comes first; a writer takes reserved before it reads what it will change, and exclusive only
// to write it. A writer that cannot get reserved lets go of shared before it waits, so that two
// writers never wait for each other.
#pragma once

#include <chrono>
#include <functional>

namespace xbase {

// How long a reader waits for a writer to finish committing, and a writer for another writer.
inline constexpr std::chrono::milliseconds kDefaultLockWait{5000};

// Open-file-description locks on bytes past the 4 GiB a table can address: they never overlap the
// record locks other dBASE programs place, they separate two descriptors of one process as they
// separate two processes, and they vanish with the process that held them. The descriptor stays the
// caller's; exclusive and reserved need it open for writing.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd) {}
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Each returns false when another holder is in the way, and leaves the lock as it was (but
    // tryExclusive keeps pending, so that readers drain). Throws Error(Io) when the system refuses.
    bool tryShared();
    // Needs shared.
    bool tryReserved();
    // Needs shared; takes pending first.
    bool tryExclusive();
    // Exclusive (and pending) back to shared. Letting go never fails: what the system cannot unlock
    // goes when the descriptor is closed.
    void releaseExclusive() noexcept;
    void releaseReserved() noexcept;
    // Everything this holder has.
    void releaseAll() noexcept;

    bool shared() const { return m_shared; }
    bool reserved() const { return m_reserved; }
    bool pending() const { return m_pending; }
    bool exclusive() const { return m_exclusive; }
    // True when another holder has the reserved lock: a writer is alive.
    bool reservedElsewhere() const;

    // Calls attempt until it returns true or the time is up (then false), sleeping a little longer
    // after each failure.
    static bool retry(const std::function<bool()>& attempt, std::chrono::milliseconds wait);

private:
    bool set(short type, long long offset) const;
    void unset(short type, long long offset) const noexcept;

    int m_fd;
    bool m_shared = false;
    bool m_reserved = false;
    bool m_pending = false;
    bool m_exclusive = false;
};

} // namespace xbase
