// Changes of structure: new files beside the old, a synced record of the renames, the renames; and the
// completion of a record left by a process that died.
#include "xbase/Restructure.h"

#include "xbase/Ascii.h"
#include "xbase/Change.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/FileIo.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace xbase {

namespace {

constexpr char kMagic[8] = {'B', 'R', 'N', 'D', 'L', 'R', '0', '1'};

std::uint64_t checksum(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

template <typename T> void put(std::vector<std::uint8_t>& out, const T& v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof v);
}

void putPath(std::vector<std::uint8_t>& out, const fs::path& path) {
    const std::string& s = path.native();
    put(out, static_cast<std::uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

std::vector<std::uint8_t> encodeRecord(const Replacement& r) {
    std::vector<std::uint8_t> out(kMagic, kMagic + sizeof kMagic);
    put(out, static_cast<std::uint32_t>(r.renames.size()));
    for (const auto& [from, to] : r.renames) {
        putPath(out, from);
        putPath(out, to);
    }
    put(out, static_cast<std::uint32_t>(r.removals.size()));
    for (const auto& p : r.removals)
        putPath(out, p);
    put(out, checksum(out));
    return out;
}

// Nullopt for a record cut short: it was never committed.
std::optional<Replacement> decodeRecord(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < sizeof kMagic + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const std::vector<std::uint8_t> body(bytes.begin(), bytes.end() - 8);
    std::uint64_t sum = 0;
    std::memcpy(&sum, bytes.data() + body.size(), 8);
    if (sum != checksum(body)) return std::nullopt;
    std::size_t at = sizeof kMagic;
    auto u32 = [&] {
        std::uint32_t v = 0;
        std::memcpy(&v, body.data() + at, 4);
        at += 4;
        return v;
    };
    auto path = [&] {
        const std::uint32_t n = u32();
        fs::path p(std::string(body.begin() + static_cast<std::ptrdiff_t>(at),
                               body.begin() + static_cast<std::ptrdiff_t>(at + n)));
        at += n;
        return p;
    };
    Replacement r;
    for (std::uint32_t n = u32(), i = 0; i < n; ++i) {
        fs::path from = path();
        r.renames.emplace_back(std::move(from), path());
    }
    for (std::uint32_t n = u32(), i = 0; i < n; ++i)
        r.removals.push_back(path());
    return r;
}

bool present(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The lock that says a process is putting a replacement in place.
bool lockRecord(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool recordLockedElsewhere(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

void perform(const Replacement& r) {
    for (const auto& [from, to] : r.renames) {
        if (!present(from)) continue; // renamed before the interruption
        io::rename(from, to);
        io::syncFolder(io::folderOf(to));
    }
    for (const auto& p : r.removals)
        if (io::remove(p)) io::syncFolder(io::folderOf(p));
}

// Where a change of structure writes: the table's real file (through symbolic links), and the memo
// file beside it (the old memo's real file renamed to .dbt, or a .dbt beside the table as named).
struct Targets {
    fs::path table;
    fs::path memo;
    std::optional<fs::path> oldMemo;
};

Targets targetsOf(const fs::path& path) {
    Targets t;
    std::error_code ec;
    t.table = fs::canonical(path, ec);
    if (ec) t.table = path;
    if (auto memo = findMemoFile(path)) {
        fs::path real = fs::canonical(*memo, ec);
        if (ec) real = *memo;
        t.oldMemo = real;
        t.memo = real;
        if (ascii::lower(real.extension().string()) != ".dbt") t.memo.replace_extension(".dbt");
    } else {
        t.memo = path;
        t.memo.replace_extension(".dbt");
    }
    return t;
}

// Scratch files of a change of structure that died before recording its replacement. Removed only while
// no writer holds the table: a live change of structure holds it reserved while it writes them.
void removeLeftovers(const fs::path& table) {
    const Targets t = targetsOf(table);
    const fs::path scratch[] = {scratchPath(t.table), scratchPath(t.memo)};
    if (std::none_of(std::begin(scratch), std::end(scratch), present)) return;
    io::Fd fd = io::tryOpen(table, O_RDWR);
    if (!fd) return; // a folder we cannot write keeps them; they harm nothing
    FileLock lock(fd.get());
    if (!lock.tryShared() || !lock.tryReserved()) return;
    // No writer now; and one that recorded its new files just before is not robbed of them.
    if (present(restructurePath(t.table))) return;
    for (const auto& p : scratch)
        io::remove(p);
}

} // namespace

fs::path scratchPath(const fs::path& file) {
    return fs::path(file.string() + ".new");
}

void replace(const fs::path& table, const Replacement& replacement) {
    const fs::path record = restructurePath(table);
    io::Fd fd = io::tryOpen(record, O_RDWR | O_CREAT | O_EXCL);
    if (!fd) io::fail("Cannot create", record, errno);
    lockRecord(fd.get());
    try {
        const auto bytes = encodeRecord(replacement);
        io::write(fd.get(), bytes.data(), bytes.size(), 0, record);
        io::sync(fd.get(), record);
        io::syncFolder(io::folderOf(record));
    } catch (...) {
        fd.reset();
        ::unlink(record.c_str()); // not committed: the old files stay the table's
        throw;
    }
    // From here the new structure is the table's: what is not done now is done by the next open.
    perform(replacement);
    io::remove(record);
    io::syncFolder(io::folderOf(record));
}

void completeRestructure(const fs::path& table, std::chrono::milliseconds wait) {
    const fs::path record = restructurePath(table);
    bool done = false;
    const bool finished = FileLock::retry(
        [&] {
            io::Fd fd = io::tryOpen(record, O_RDWR);
            if (!fd && errno == ENOENT) return done = true;
            if (!fd) {
                const int error = errno;
                if (error != EACCES && error != EROFS && error != EPERM)
                    io::fail("Cannot open", record, error);
                io::Fd readOnly = io::tryOpen(record, O_RDONLY);
                if (readOnly && recordLockedElsewhere(readOnly.get())) return false; // in progress
                throw Error(
                    ErrorKind::Interrupted,
                    "A change of the structure of table '" + table.filename().string() +
                        "' was interrupted; it is finished when the table is next opened in a folder that "
                        "can be written, and this one cannot (" +
                        std::strerror(error) + ").");
            }
            if (!lockRecord(fd.get())) return false; // another process is putting it in place
            if (io::status(fd.get(), record).st_nlink == 0) return false; // finished meanwhile
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(io::status(fd.get(), record).st_size));
            bytes.resize(io::read(fd.get(), bytes.data(), bytes.size(), 0, record));
            if (const auto r = decodeRecord(bytes)) {
                perform(*r);
            } else {
                // Cut short while it was written: never committed, the old files are the table's.
                const Targets t = targetsOf(table);
                io::remove(scratchPath(t.table));
                io::remove(scratchPath(t.memo));
            }
            io::remove(record);
            io::syncFolder(io::folderOf(record));
            return done = true;
        },
        wait);
    if (!finished)
        throw Error(ErrorKind::LockedForReading,
                    "Could not read; currently locked: the structure of table '" + table.filename().string() +
                        "' is being changed by another program.");
    if (done) removeLeftovers(table);
}

void restructure(const fs::path& path, const std::vector<FieldSpec>& wanted,
                 std::chrono::milliseconds lockWait) {
    auto old = Table::open(path, OpenMode::ReadWrite, lockWait);
    old->checkWritable();
    const std::string name = path.filename().string();
    const Family family = old->header().family;
    if (family != Family::DBase3 && family != Family::DBase4 && family != Family::FoxPro)
        throw Error(ErrorKind::Unsupported, "Fields cannot be added to or dropped from '" + name +
                                                "': this kind of table is not rewritten by this program.");
    for (const auto& f : old->fields())
        if (f.type != 'C' && f.type != 'N' && f.type != 'F' && f.type != 'D' && f.type != 'L' &&
            f.type != 'M')
            throw Error(ErrorKind::Unsupported, "Fields cannot be added to or dropped from '" + name +
                                                    "': its field " + f.name +
                                                    " has a type a dBASE III table cannot hold.");
    // The writer's locks: readers go on while the new files are written, not while they are put in place.
    Change change(*old);
    const Targets t = targetsOf(path);
    const fs::path newTable = scratchPath(t.table);
    const fs::path newMemo = scratchPath(t.memo);
    auto cleanUp = [&] {
        std::error_code ec;
        fs::remove(newTable, ec);
        fs::remove(newMemo, ec);
    };
    cleanUp(); // leftovers of an earlier failure: no other writer can be at them now
    Replacement replacement;
    io::Fd newFile;
    std::unique_ptr<FileLock> newLock;
    try {
        // The old table's .cpg, if any, stays and goes on naming the code page.
        createTableFiles(newTable, newMemo, wanted, old->codePage().name(), false);
        bool hasMemo = false;
        {
            auto fresh = Table::open(newTable, OpenMode::ReadWrite, lockWait);
            // Table::open looks for the memo beside the table by its own name; attach the new one explicitly.
            hasMemo = fresh->header().memoFormat.has_value();
            if (hasMemo) fresh->attachMemo(MemoFile::open(newMemo, MemoFormat::DBase3, true));
            fresh->useCodePage(old->codePage());
            std::vector<int> source;
            for (const auto& f : fresh->fields())
                source.push_back(old->fieldIndex(f.name));
            for (std::uint32_t r = 0; r < old->recordCount(); ++r) {
                std::vector<std::uint8_t> record = fresh->blankRecord();
                record[0] = old->recordBytes(r)[0] == '*' ? '*' : ' ';
                for (std::size_t i = 0; i < source.size(); ++i)
                    if (source[i] >= 0)
                        fresh->encode(record, i, old->value(r, static_cast<std::size_t>(source[i])));
                fresh->appendRecord(record);
            }
            fresh->sync();
        }
        io::syncFolder(io::folderOf(newTable));
        // The table first: a reader that opens it between the renames finds the record and waits.
        replacement.renames.emplace_back(newTable, t.table);
        if (hasMemo) replacement.renames.emplace_back(newMemo, t.memo);
        if (t.oldMemo && (!hasMemo || *t.oldMemo != t.memo)) replacement.removals.push_back(*t.oldMemo);
        // Whoever opens the new file once it has the table's name waits until the memo file is in place
        // too: the new file is locked before anyone else can know it.
        newFile = io::open(newTable, O_RDWR, "Cannot open");
        newLock = std::make_unique<FileLock>(newFile.get());
        if (!newLock->tryShared() || !newLock->tryReserved() || !newLock->tryExclusive())
            throw Error(ErrorKind::LockedForWriting, "The new file of table '" + name + "' is in use.");
        change.lockExclusive();
    } catch (...) {
        newLock.reset();
        newFile.reset();
        cleanUp();
        throw;
    }
    try {
        replace(t.table, replacement);
    } catch (const Error& e) {
        if (present(restructurePath(t.table))) {
            throw Error(e.kind(), std::string("The new structure could not be put in place entirely: ") +
                                      e.what() + " It is finished when the table is next opened.");
        }
        cleanUp();
        throw;
    }
}

void dropTable(const fs::path& path, std::chrono::milliseconds lockWait) {
    io::Fd fd = io::tryOpen(path, O_RDWR);
    if (!fd) fd = io::open(path, O_RDONLY, "Cannot open");
    // A writer of another process finishes first, and a journal it left is not taken for another
    // table's later. Without write access to the file the reserved lock cannot be taken; removing the
    // file needs only the folder.
    FileLock lock(fd.get());
    const bool canReserve = (::fcntl(fd.get(), F_GETFL) & O_ACCMODE) == O_RDWR;
    const bool got = FileLock::retry(
        [&] {
            if (!lock.tryShared()) return false;
            if (!canReserve || lock.tryReserved()) return true;
            lock.releaseAll(); // never wait for the writer while holding what it waits for
            return false;
        },
        lockWait);
    if (!got)
        throw Error(ErrorKind::LockedForWriting,
                    "Could not update; currently locked: table '" + path.filename().string() +
                        "' is being changed by another program. Try again when it "
                        "has finished.");
    const auto companions = companionFiles(path);
    io::remove(path);
    for (const auto& companion : companions)
        io::remove(companion);
    io::syncFolder(io::folderOf(path));
}

} // namespace xbase
