// Rollback journal: written before a table changes, replayed backwards when a change did not finish.
#include "xbase/Journal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "xbase/Error.h"
#include "xbase/Table.h"

namespace fs = std::filesystem;

namespace xbase {

namespace {

// Layout: magic, then one "state" block per file (table, memo), then record entries.
//   u32 header length of the table, then
//   state:  u8 present | u64 original size | u32 tail offset | u32 tail length | tail bytes
//           | u32 head length | head bytes            (tail = from the end of the records to the end)
//   entry:  u32 record | u32 length | bytes | u64 checksum
constexpr char kMagic[8] = {'B', 'R', 'N', 'D', 'L', 'J', '0', '1'};
constexpr std::size_t kHeadBytes = 512; // table count/date, memo next-free pointer and block size

[[noreturn]] void ioError(const std::string& what, const fs::path& path) {
    throw Error(ErrorKind::Io, what + " '" + path.string() + "': " + std::strerror(errno));
}

std::uint64_t checksum(const std::uint8_t* p, std::size_t n, std::uint32_t record) {
    std::uint64_t h = 1469598103934665603ull ^ record;
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Takes the journal's lock; false when another live process holds it (its change is in progress).
bool lock(int fd, bool wait) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0;
}

std::vector<std::uint8_t> readRange(int fd, std::uint64_t offset, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    const ssize_t got = ::pread(fd, out.data(), n, static_cast<off_t>(offset));
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

void writeAt(int fd, const std::vector<std::uint8_t>& bytes, std::uint64_t offset, const fs::path& path) {
    if (!bytes.empty() && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
                              static_cast<ssize_t>(bytes.size()))
        ioError("Cannot restore", path);
}

struct Reader {
    const std::vector<std::uint8_t>& data;
    std::size_t at = 0;
    bool ok = true;
    template <typename T> T get() {
        T v{};
        if (at + sizeof v > data.size()) {
            ok = false;
            return v;
        }
        std::memcpy(&v, data.data() + at, sizeof v);
        at += sizeof v;
        return v;
    }
    std::vector<std::uint8_t> bytes(std::size_t n) {
        if (!ok || at + n > data.size()) {
            ok = false;
            return {};
        }
        std::vector<std::uint8_t> out(data.begin() + static_cast<std::ptrdiff_t>(at),
                                      data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return out;
    }
};

struct FileState {
    bool present = false;
    std::uint64_t size = 0;
    std::uint32_t tailOffset = 0;
    std::vector<std::uint8_t> tail;
    std::vector<std::uint8_t> head;
};

FileState capture(const fs::path& path, std::uint64_t tailFrom) {
    FileState s;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return s;
    struct stat st {};
    ::fstat(fd, &st);
    s.present = true;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.tailOffset = static_cast<std::uint32_t>(std::min(tailFrom, s.size));
    s.tail = readRange(fd, s.tailOffset, static_cast<std::size_t>(s.size - s.tailOffset));
    s.head = readRange(fd, 0, kHeadBytes);
    ::close(fd);
    return s;
}

void restore(const fs::path& path, const FileState& s) {
    if (!s.present)
        return;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        ioError("Cannot restore", path);
    bool ok = ::ftruncate(fd, static_cast<off_t>(s.size)) == 0;
    if (ok) {
        try {
            writeAt(fd, s.tail, s.tailOffset, path);
            writeAt(fd, s.head, 0, path);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ok = ::fsync(fd) == 0;
    }
    ::close(fd);
    if (!ok)
        ioError("Cannot restore", path);
}

void appendState(std::vector<std::uint8_t>& out, const FileState& s) {
    auto put = [&](const auto& v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        out.insert(out.end(), p, p + sizeof v);
    };
    put(static_cast<std::uint8_t>(s.present));
    put(s.size);
    put(s.tailOffset);
    put(static_cast<std::uint32_t>(s.tail.size()));
    out.insert(out.end(), s.tail.begin(), s.tail.end());
    put(static_cast<std::uint32_t>(s.head.size()));
    out.insert(out.end(), s.head.begin(), s.head.end());
}

FileState readState(Reader& r) {
    FileState s;
    s.present = r.get<std::uint8_t>() != 0;
    s.size = r.get<std::uint64_t>();
    s.tailOffset = r.get<std::uint32_t>();
    s.tail = r.bytes(r.get<std::uint32_t>());
    s.head = r.bytes(r.get<std::uint32_t>());
    return s;
}

} // namespace

fs::path Journal::pathFor(const fs::path& table) { return fs::path(table.string() + "-journal"); }

std::unique_ptr<Journal> Journal::begin(const Table& table) {
    std::unique_ptr<Journal> j(new Journal);
    j->m_path = pathFor(table.path());
    j->m_originalCount = table.recordCount();
    j->m_fd = ::open(j->m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (j->m_fd < 0)
        ioError("Cannot create the journal", j->m_path);
    lock(j->m_fd, true);

    const auto& h = table.header();
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof kMagic);
    const std::uint32_t headerLength = h.headerLength;
    out.insert(out.end(), reinterpret_cast<const std::uint8_t*>(&headerLength),
               reinterpret_cast<const std::uint8_t*>(&headerLength) + 4);
    appendState(out, capture(table.path(),
                             h.headerLength + static_cast<std::uint64_t>(table.recordCount()) * h.recordLength));
    FileState memo;
    if (table.memoPath())
        memo = capture(*table.memoPath(), UINT64_MAX);
    appendState(out, memo);
    const std::string memoName = table.memoPath() ? table.memoPath()->filename().string() : std::string();
    const auto nameLength = static_cast<std::uint32_t>(memoName.size());
    out.insert(out.end(), reinterpret_cast<const std::uint8_t*>(&nameLength),
               reinterpret_cast<const std::uint8_t*>(&nameLength) + 4);
    out.insert(out.end(), memoName.begin(), memoName.end());
    j->write(out.data(), out.size());
    j->sync();
    return j;
}

Journal::~Journal() {
    if (m_fd >= 0)
        ::close(m_fd); // an unfinished journal stays for recover()
}

void Journal::write(const void* data, std::size_t size) {
    if (::write(m_fd, data, size) != static_cast<ssize_t>(size))
        ioError("Cannot write the journal", m_path);
}

void Journal::saveRecord(std::uint32_t record, std::span<const std::uint8_t> bytes) {
    if (record >= m_originalCount || !m_saved.insert(record).second)
        return;
    std::vector<std::uint8_t> entry(8);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(entry.data(), &record, 4);
    std::memcpy(entry.data() + 4, &length, 4);
    entry.insert(entry.end(), bytes.begin(), bytes.end());
    const std::uint64_t sum = checksum(bytes.data(), bytes.size(), record);
    entry.insert(entry.end(), reinterpret_cast<const std::uint8_t*>(&sum),
                 reinterpret_cast<const std::uint8_t*>(&sum) + 8);
    write(entry.data(), entry.size());
}

void Journal::sync() {
    if (::fdatasync(m_fd) != 0)
        ioError("Cannot write the journal", m_path);
}

void Journal::finish() {
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
        ioError("Cannot remove the journal", m_path);
    ::close(m_fd);
    m_fd = -1;
}

bool Journal::recover(const fs::path& table) {
    const fs::path path = pathFor(table);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!lock(fd, false)) {
        ::close(fd); // a live change of another process; it finishes or recovers by itself
        return false;
    }
    struct stat st {};
    ::fstat(fd, &st);
    const std::vector<std::uint8_t> data = readRange(fd, 0, static_cast<std::size_t>(st.st_size));
    Reader r{data};
    const auto magic = r.bytes(sizeof kMagic);
    if (!r.ok || std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) {
        // Cut short before its first sync: the table was not touched yet.
        ::unlink(path.c_str());
        ::close(fd);
        return false;
    }
    const auto headerLength = r.get<std::uint32_t>();
    const FileState tableState = readState(r);
    const FileState memoState = readState(r);
    const auto nameBytes = r.bytes(r.get<std::uint32_t>());
    if (!r.ok) {
        ::unlink(path.c_str());
        ::close(fd);
        return false;
    }
    restore(table, tableState);
    if (memoState.present)
        restore(table.parent_path() / std::string(nameBytes.begin(), nameBytes.end()), memoState);

    const int t = ::open(table.c_str(), O_RDWR | O_CLOEXEC);
    if (t < 0)
        ioError("Cannot restore", table);
    while (true) {
        const auto record = r.get<std::uint32_t>();
        const auto length = r.get<std::uint32_t>();
        const auto bytes = r.bytes(length);
        const auto sum = r.get<std::uint64_t>();
        // A torn last entry belongs to a record that was not overwritten yet (the table changes only
        // after the journal is synced), so stopping there is right.
        if (!r.ok || sum != checksum(bytes.data(), bytes.size(), record))
            break;
        writeAt(t, bytes, headerLength + static_cast<std::uint64_t>(record) * length, table);
    }
    const bool synced = ::fsync(t) == 0;
    ::close(t);
    if (!synced)
        ioError("Cannot restore", table);
    ::unlink(path.c_str());
    ::close(fd);
    return true;
}

} // namespace xbase
