// File calls with looping reads and writes, real causes in messages, and a counted seam for tests.
#include "xbase/FileIo.h"

#include "xbase/Error.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace xbase::io {

namespace {

struct Faults {
    std::mutex mutex;
    std::uint64_t calls = 0;
    std::uint64_t hookAt = 0; // 0: none
    fault::Hook hook;
    std::uint64_t failFrom = 0; // 0: none
    fault::Hook always;
    int failError = 0;
    bool shortTransfers = false;
    bool counting = false;
};

std::atomic<bool> g_armed{false};

Faults& faults() {
    static Faults f;
    return f;
}

// The errno the next counted call fails with, or 0. Nearly free while nothing is armed.
int inject(const char* call, const fs::path& path) {
    if (!g_armed.load(std::memory_order_relaxed)) return 0;
    Faults& f = faults();
    fault::Hook hook;
    fault::Hook always;
    int error = 0;
    {
        std::lock_guard<std::mutex> lock(f.mutex);
        ++f.calls;
        if (f.failFrom != 0 && f.calls >= f.failFrom) error = f.failError;
        if (f.hookAt != 0 && f.calls == f.hookAt) {
            hook = std::move(f.hook);
            f.hook = nullptr;
            f.hookAt = 0;
        }
        always = f.always;
    }
    for (const auto* h : {&always, &hook}) {
        if (!*h) continue;
        const int hooked = (*h)(call, path);
        if (hooked != 0) error = hooked;
    }
    return error;
}

std::size_t transferSize(std::size_t size) {
    if (!g_armed.load(std::memory_order_relaxed) || size < 2) return size;
    std::lock_guard<std::mutex> lock(faults().mutex);
    return faults().shortTransfers ? size / 2 : size;
}

void rearm() {
    Faults& f = faults();
    f.counting = f.counting || f.hookAt != 0 || f.failFrom != 0 || f.shortTransfers || f.always;
    g_armed.store(f.counting, std::memory_order_relaxed);
}

} // namespace

namespace {

FileIdentity fromStatx(const struct statx& st) {
    FileIdentity id;
    id.device = (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
    id.inode = st.stx_ino;
    if (st.stx_mask & STATX_BTIME) {
        id.bornSeconds = st.stx_btime.tv_sec;
        id.bornNanoseconds = st.stx_btime.tv_nsec;
    }
    return id;
}

} // namespace

bool FileIdentity::sameFile(const FileIdentity& other) const {
    if (device != other.device || inode != other.inode) return false;
    const bool bothBorn = (bornSeconds || bornNanoseconds) && (other.bornSeconds || other.bornNanoseconds);
    return !bothBorn || (bornSeconds == other.bornSeconds && bornNanoseconds == other.bornNanoseconds);
}

FileIdentity identityOf(int fd, const fs::path& path) {
    struct statx st {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &st) != 0) fail("Cannot read", path, errno);
    return fromStatx(st);
}

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &st) != 0) return std::nullopt;
    return fromStatx(st);
}

void Fd::reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw Error(ErrorKind::Io, what + " '" + path.string() + "': " + std::strerror(error));
}

Fd tryOpen(const fs::path& path, int flags, mode_t mode) {
    const bool writing = (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT);
    if (const int error = inject(writing ? "open-write" : "open", path)) {
        errno = error;
        return Fd();
    }
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return Fd(fd);
}

Fd open(const fs::path& path, int flags, const std::string& what, mode_t mode) {
    Fd fd = tryOpen(path, flags, mode);
    if (!fd) fail(what, path, errno);
    return fd;
}

std::size_t read(int fd, void* buffer, std::size_t size, std::uint64_t offset, const fs::path& path) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        if (const int error = inject("read", path)) fail("Cannot read", path, error);
        const ssize_t got =
            ::pread(fd, p + done, transferSize(size - done), static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("Cannot read", path, errno);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void write(int fd, const void* data, std::size_t size, std::uint64_t offset, const fs::path& path,
           const std::string& what) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        if (const int error = inject("write", path)) fail(what, path, error);
        const ssize_t put =
            ::pwrite(fd, p + done, transferSize(size - done), static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR) continue;
            fail(what, path, errno);
        }
        // No progress and no error: the kernel has no room left.
        if (put == 0) fail(what, path, ENOSPC);
        done += static_cast<std::size_t>(put);
    }
}

void sync(int fd, const fs::path& path, const std::string& what) {
    if (const int error = inject("sync", path)) fail(what, path, error);
    if (::fdatasync(fd) != 0) fail(what, path, errno);
}

void truncate(int fd, std::uint64_t size, const fs::path& path) {
    if (const int error = inject("truncate", path)) fail("Cannot shorten", path, error);
    int rc;
    do
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    while (rc != 0 && errno == EINTR);
    if (rc != 0) fail("Cannot shorten", path, errno);
}

struct stat status(int fd, const fs::path& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) fail("Cannot read", path, errno);
    return st;
}

void rename(const fs::path& from, const fs::path& to) {
    if (const int error = inject("rename", from)) fail("Cannot rename '" + from.string() + "' to", to, error);
    if (::rename(from.c_str(), to.c_str()) != 0) fail("Cannot rename '" + from.string() + "' to", to, errno);
}

bool remove(const fs::path& path) {
    if (const int error = inject("remove", path)) fail("Cannot remove", path, error);
    if (::unlink(path.c_str()) == 0) return true;
    if (errno == ENOENT) return false;
    fail("Cannot remove", path, errno);
}

fs::path folderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

void syncFolder(const fs::path& folder) {
    if (const int error = inject("sync", folder)) fail("Cannot write the folder", folder, error);
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) fail("Cannot write the folder", folder, errno);
    // Some file systems cannot sync a folder; their entries are as durable as they get.
    if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        fail("Cannot write the folder", folder, errno);
}

namespace fault {

void at(std::uint64_t n, Hook hook) {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.hookAt = f.calls + n;
    f.hook = std::move(hook);
    rearm();
}

void failFrom(std::uint64_t n, int error) {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.failFrom = f.calls + n;
    f.failError = error;
    rearm();
}

void always(Hook hook) {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.always = std::move(hook);
    rearm();
}

void shortTransfers(bool on) {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.shortTransfers = on;
    rearm();
}

void count() {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.calls = 0;
    f.counting = true;
    rearm();
}

void clear() {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.calls = 0;
    f.hookAt = 0;
    f.hook = nullptr;
    f.failFrom = 0;
    f.failError = 0;
    f.always = nullptr;
    f.shortTransfers = false;
    f.counting = false;
    rearm();
}

std::uint64_t calls() {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    return f.calls;
}

} // namespace fault

} // namespace xbase::io
