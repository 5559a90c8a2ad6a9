// The calls of this layer that open, read, write, sync, truncate, rename or remove files: reads and
// writes loop until done, failures name the real cause, and tests can make any one call fail.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

namespace xbase::io {

// Owns a file descriptor from the moment it exists.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset();

private:
    int m_fd = -1;
};

// Which file a descriptor or path names: device and inode, and the time the file was made where the
// file system keeps it (0 otherwise), which tells a file from a later one that got the same inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t bornSeconds = 0;
    std::uint32_t bornNanoseconds = 0;
    // Same device and inode, and the same birth where both know it.
    bool sameFile(const FileIdentity& other) const;
};
FileIdentity identityOf(int fd, const std::filesystem::path& path);
// Nullopt when nothing is there (or it cannot be looked at).
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// Opens a file; an invalid Fd with errno set when it cannot be opened (callers tell ENOENT apart).
Fd tryOpen(const std::filesystem::path& path, int flags, mode_t mode = 0666);
// As tryOpen, but throws Error(Io): "<what> '<path>': <cause>".
Fd open(const std::filesystem::path& path, int flags, const std::string& what, mode_t mode = 0666);

// Reads up to size bytes at offset; fewer only where the file ends. Throws Error(Io).
std::size_t read(int fd, void* buffer, std::size_t size, std::uint64_t offset,
                 const std::filesystem::path& path);
// Writes all of it at offset, however many calls that takes. A write that makes no progress is a full
// disk. Throws Error(Io) naming what was being written.
void write(int fd, const void* data, std::size_t size, std::uint64_t offset,
           const std::filesystem::path& path, const std::string& what = "Cannot write");
// Flushes the file's data (and its size) to the disk. Throws Error(Io).
void sync(int fd, const std::filesystem::path& path, const std::string& what = "Cannot write");
void truncate(int fd, std::uint64_t size, const std::filesystem::path& path);
struct stat status(int fd, const std::filesystem::path& path);
// Renames over an existing file. Throws Error(Io).
void rename(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes a file; false when there was none. Throws Error(Io) for any other failure.
bool remove(const std::filesystem::path& path);
// Flushes a folder's entries (files created, renamed or removed in it). Throws Error(Io).
void syncFolder(const std::filesystem::path& folder);
// The folder a file lies in ("." for a bare name).
std::filesystem::path folderOf(const std::filesystem::path& file);

// Throws Error(Io) "<what> '<path>': <strerror(error)>".
[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error);

// Failure injection for tests. While armed, every call above that reaches the operating system is
// counted ("open", "open-write" for an open that may write or create, "read", "write", "sync",
// "truncate", "rename", "remove"); a hook armed for the Nth call runs just before it and returns the errno
// that call fails with (0 lets it go ahead). A hook may also end the process or change files, to stand for a
// crash or another program. Not for production use: nothing is armed unless a test arms it.
namespace fault {
using Hook = std::function<int(const char* call, const std::filesystem::path& path)>;
// Arms the hook for the nth counted call from now (1 is the next one); it runs once.
void at(std::uint64_t n, Hook hook);
// Every counted call from the nth on fails with this errno, until clear() (a disk that stays full).
void failFrom(std::uint64_t n, int error);
// Runs the hook before every counted call from now on, until clear() (a file system that refuses
// some calls: a read-only folder, say).
void always(Hook hook);
// Every write and read transfers at most half of what it was asked for (the loops must finish them).
void shortTransfers(bool on);
// Starts counting calls from 0 without arming anything (to learn how many calls an operation makes).
void count();
// Disarms everything and stops counting.
void clear();
// Counted calls since counting started (by count(), at(), failFrom() or shortTransfers()).
std::uint64_t calls();
} // namespace fault

} // namespace xbase::io
