// Rollback journal: written before a table changes, replayed backwards when a change did not finish.
#include "xbase/Journal.h"

#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace xbase {

namespace {

// Layout: magic, the table's identity (version 2), then one "state" block per file (table, memo),
// the memo file's name, then record entries.
//   identity: u64 device | u64 inode | i64 birth seconds | u32 birth nanoseconds
//   u32 header length of the table, then
//   state:  u8 present | u64 original size | u64 tail offset (u32 in version 1) | u32 tail length | tail
//   bytes
//           | u32 head length | head bytes            (tail = from the end of the records to the end)
//   entry:  u32 record | u32 length | bytes | u64 checksum
constexpr char kMagic1[8] = {'B', 'R', 'N', 'D', 'L', 'J', '0', '1'};
constexpr char kMagic2[8] = {'B', 'R', 'N', 'D', 'L', 'J', '0', '2'};
constexpr std::size_t kHeadBytes = 512; // table count/date, memo next-free pointer and block size

std::uint64_t checksum(const std::uint8_t* p, std::size_t n, std::uint32_t record) {
    std::uint64_t h = 1469598103934665603ull ^ record;
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

std::vector<std::uint8_t> readRange(int fd, std::uint64_t offset, std::size_t n, const fs::path& path) {
    std::vector<std::uint8_t> out(n);
    out.resize(io::read(fd, out.data(), n, offset, path));
    return out;
}

struct Reader {
    const std::vector<std::uint8_t>& data;
    std::size_t at = 0;
    bool ok = true;
    template <typename T> T get() {
        T v{};
        if (!ok || at + sizeof v > data.size()) {
            ok = false;
            return v;
        }
        std::memcpy(&v, data.data() + at, sizeof v);
        at += sizeof v;
        return v;
    }
    std::vector<std::uint8_t> bytes(std::size_t n) {
        if (!ok || n > data.size() - at) {
            ok = false;
            return {};
        }
        std::vector<std::uint8_t> out(data.begin() + static_cast<std::ptrdiff_t>(at),
                                      data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        return out;
    }
};

template <typename T> void put(std::vector<std::uint8_t>& out, const T& v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof v);
}

struct FileState {
    bool present = false;
    std::uint64_t size = 0;
    std::uint64_t tailOffset = 0;
    std::vector<std::uint8_t> tail;
    std::vector<std::uint8_t> head;
};

FileState capture(const fs::path& path, std::uint64_t tailFrom) {
    FileState s;
    io::Fd fd = io::tryOpen(path, O_RDONLY);
    if (!fd) {
        if (errno == ENOENT) return s;
        io::fail("Cannot read", path, errno);
    }
    s.present = true;
    s.size = static_cast<std::uint64_t>(io::status(fd.get(), path).st_size);
    s.tailOffset = std::min(tailFrom, s.size);
    s.tail = readRange(fd.get(), s.tailOffset, static_cast<std::size_t>(s.size - s.tailOffset), path);
    s.head = readRange(fd.get(), 0, kHeadBytes, path);
    return s;
}

void restore(const fs::path& path, const FileState& s) {
    if (!s.present) return;
    io::Fd fd = io::open(path, O_RDWR, "Cannot restore");
    io::truncate(fd.get(), s.size, path);
    io::write(fd.get(), s.tail.data(), s.tail.size(), s.tailOffset, path, "Cannot restore");
    io::write(fd.get(), s.head.data(), s.head.size(), 0, path, "Cannot restore");
    io::sync(fd.get(), path, "Cannot restore");
}

void appendState(std::vector<std::uint8_t>& out, const FileState& s) {
    put(out, static_cast<std::uint8_t>(s.present));
    put(out, s.size);
    put(out, s.tailOffset);
    put(out, static_cast<std::uint32_t>(s.tail.size()));
    out.insert(out.end(), s.tail.begin(), s.tail.end());
    put(out, static_cast<std::uint32_t>(s.head.size()));
    out.insert(out.end(), s.head.begin(), s.head.end());
}

FileState readState(Reader& r, bool wideOffsets) {
    FileState s;
    s.present = r.get<std::uint8_t>() != 0;
    s.size = r.get<std::uint64_t>();
    s.tailOffset = wideOffsets ? r.get<std::uint64_t>() : r.get<std::uint32_t>();
    s.tail = r.bytes(r.get<std::uint32_t>());
    s.head = r.bytes(r.get<std::uint32_t>());
    return s;
}

// True when the table file now is the one the journal was written for: the same file (device and
// inode, where the journal records them), the same header apart from the count and date a change
// writes, and no shorter than it was (a change only appends).
bool belongsTo(const FileState& original, std::uint32_t headerLength, const fs::path& table) {
    const FileState now = capture(table, UINT64_MAX);
    if (!now.present || now.size < original.size) return false;
    const std::size_t compared = std::min<std::size_t>({original.head.size(), now.head.size(), headerLength});
    if (compared == 0 || original.head[0] != now.head[0]) return false;
    return compared <= 8 || std::memcmp(original.head.data() + 8, now.head.data() + 8, compared - 8) == 0;
}

// Puts the files back from a journal's contents. `tableToo` is false when the writer never wrote the
// table, only appended to its memo file.
Journal::Recovery replay(const fs::path& table, const std::vector<std::uint8_t>& data,
                         const io::FileIdentity& identity, bool tableToo) {
    Reader r{data};
    const auto magic = r.bytes(sizeof kMagic2);
    const bool v2 = r.ok && std::memcmp(magic.data(), kMagic2, sizeof kMagic2) == 0;
    const bool v1 = r.ok && std::memcmp(magic.data(), kMagic1, sizeof kMagic1) == 0;
    if (!v1 && !v2) return Journal::Recovery::None; // cut short before its first sync: nothing changed yet
    bool sameFile = true;
    if (v2) {
        io::FileIdentity written;
        written.device = r.get<std::uint64_t>();
        written.inode = r.get<std::uint64_t>();
        written.bornSeconds = r.get<std::int64_t>();
        written.bornNanoseconds = r.get<std::uint32_t>();
        sameFile = written.sameFile(identity);
    }
    const auto headerLength = r.get<std::uint32_t>();
    const FileState tableState = readState(r, v2);
    const FileState memoState = readState(r, v2);
    const auto nameBytes = r.bytes(r.get<std::uint32_t>());
    if (!r.ok) return Journal::Recovery::None;
    if (!sameFile || !belongsTo(tableState, headerLength, table)) return Journal::Recovery::Discarded;

    if (memoState.present)
        restore(io::folderOf(table) / std::string(nameBytes.begin(), nameBytes.end()), memoState);
    if (!tableToo) return Journal::Recovery::RolledBack;
    restore(table, tableState);
    io::Fd t = io::open(table, O_RDWR, "Cannot restore");
    while (true) {
        const auto record = r.get<std::uint32_t>();
        const auto length = r.get<std::uint32_t>();
        const auto bytes = r.bytes(length);
        const auto sum = r.get<std::uint64_t>();
        // A torn last entry belongs to a record that was not overwritten yet (the table changes only
        // after the journal is synced), so stopping there is right.
        if (!r.ok || sum != checksum(bytes.data(), bytes.size(), record)) break;
        io::write(t.get(), bytes.data(), bytes.size(),
                  headerLength + static_cast<std::uint64_t>(record) * length, table, "Cannot restore");
    }
    io::sync(t.get(), table, "Cannot restore");
    return Journal::Recovery::RolledBack;
}

std::vector<std::uint8_t> readJournal(const fs::path& path, bool& exists) {
    io::Fd fd = io::tryOpen(path, O_RDONLY);
    exists = static_cast<bool>(fd);
    if (!fd) {
        if (errno == ENOENT) return {};
        io::fail("Cannot read the journal", path, errno);
    }
    return readRange(fd.get(), 0, static_cast<std::size_t>(io::status(fd.get(), path).st_size), path);
}

// The journal is gone once the change it describes is undone, or when it described nothing.
void removeJournal(const fs::path& path) {
    io::remove(path);
    io::syncFolder(io::folderOf(path));
}

} // namespace

fs::path Journal::pathFor(const fs::path& table) {
    return journalPath(table);
}

fs::path Journal::orphanPathFor(const fs::path& table) {
    return fs::path(journalPath(table).string() + ".orphan");
}

std::unique_ptr<Journal> Journal::begin(const Table& table) {
    std::unique_ptr<Journal> j(new Journal);
    j->m_table = table.m_realPath;
    j->m_path = pathFor(table.m_realPath);
    j->m_identity = table.m_identity;
    j->m_originalCount = table.recordCount();
    // Never truncate an existing journal: it is the only way back for a change that was interrupted.
    j->m_fd = io::tryOpen(j->m_path, O_RDWR | O_CREAT | O_EXCL);
    if (!j->m_fd) {
        if (errno == EEXIST)
            throw Error(ErrorKind::Interrupted, "An interrupted change of table '" +
                                                    table.path().filename().string() +
                                                    "' is still to be undone (its journal '" +
                                                    j->m_path.filename().string() + "' is there).");
        io::fail("Cannot create the journal", j->m_path, errno);
    }
    try {
        const auto& h = table.header();
        std::vector<std::uint8_t> out(kMagic2, kMagic2 + sizeof kMagic2);
        put(out, j->m_identity.device);
        put(out, j->m_identity.inode);
        put(out, j->m_identity.bornSeconds);
        put(out, j->m_identity.bornNanoseconds);
        put(out, h.headerLength);
        appendState(
            out, capture(table.m_realPath,
                         h.headerLength + static_cast<std::uint64_t>(table.recordCount()) * h.recordLength));
        FileState memo;
        if (table.memoPath()) memo = capture(*table.memoPath(), UINT64_MAX);
        appendState(out, memo);
        // The memo file by its full name: it lies beside the name the table was opened by, which need not
        // be beside the table's real file.
        std::string memoName;
        if (table.memoPath()) {
            std::error_code ec;
            const fs::path real = fs::canonical(*table.memoPath(), ec);
            memoName = (ec ? fs::absolute(*table.memoPath()) : real).string();
        }
        put(out, static_cast<std::uint32_t>(memoName.size()));
        out.insert(out.end(), memoName.begin(), memoName.end());
        j->write(out.data(), out.size());
        j->sync();
        io::syncFolder(io::folderOf(j->m_path));
    } catch (...) {
        // Nothing was changed yet: a journal that says nothing goes.
        j->m_fd.reset();
        try {
            io::remove(j->m_path);
        } catch (const Error&) {
            // Left behind, it is recognised as cut short and removed by the next recovery.
        }
        throw;
    }
    return j;
}

Journal::~Journal() = default; // an unfinished journal stays for recover()

void Journal::write(const void* data, std::size_t size) {
    io::write(m_fd.get(), data, size, m_size, m_path, "Cannot write the journal");
    m_size += size;
}

void Journal::saveRecord(std::uint32_t record, std::span<const std::uint8_t> bytes) {
    if (record >= m_originalCount || !m_saved.insert(record).second) return;
    std::vector<std::uint8_t> entry;
    entry.reserve(bytes.size() + 16);
    put(entry, record);
    put(entry, static_cast<std::uint32_t>(bytes.size()));
    entry.insert(entry.end(), bytes.begin(), bytes.end());
    put(entry, checksum(bytes.data(), bytes.size(), record));
    write(entry.data(), entry.size());
}

void Journal::sync() {
    io::sync(m_fd.get(), m_path, "Cannot write the journal");
}

void Journal::commit() {
    io::remove(m_path);
    m_fd.reset();
    try {
        io::syncFolder(io::folderOf(m_path));
    } catch (const Error&) {
        // The change is made; a folder that cannot be flushed only makes its journal's removal less durable.
    }
}

void Journal::rollback(bool tableWritten) {
    m_fd.reset();
    bool exists = false;
    const std::vector<std::uint8_t> data = readJournal(m_path, exists);
    if (!exists) return;
    replay(m_table, data, m_identity, tableWritten);
    removeJournal(m_path);
}

Journal::Recovery Journal::recover(const fs::path& table, const io::FileIdentity& identity, bool tableToo) {
    const fs::path path = pathFor(table);
    bool exists = false;
    const std::vector<std::uint8_t> data = readJournal(path, exists);
    if (!exists) return Recovery::None;
    const Recovery done = replay(table, data, identity, tableToo);
    if (done == Recovery::Discarded) {
        // Written for another file of this name: never applied here, and never thrown away either (the
        // table may be a copy of the one it was written for); it moves out of the way.
        io::rename(path, orphanPathFor(table));
        io::syncFolder(io::folderOf(path));
        return done;
    }
    removeJournal(path);
    return done;
}

} // namespace xbase
