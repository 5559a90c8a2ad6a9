// The shared lock of readers: taken through the repair of an interrupted change, and the header read
// again each time, so that a reader sees every committed change and notices a file changed under it.
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/Journal.h"
#include "xbase/Restructure.h"
#include "xbase/Table.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace xbase {

namespace {

bool sameStructure(const Header& a, const Header& b) {
    if (a.version != b.version || a.headerLength != b.headerLength || a.recordLength != b.recordLength ||
        a.fields.size() != b.fields.size() || a.memoFormat != b.memoFormat)
        return false;
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        const Field& x = a.fields[i];
        const Field& y = b.fields[i];
        if (x.name != y.name || x.type != y.type || x.length != y.length || x.decimals != y.decimals ||
            x.offset != y.offset || x.flags != y.flags)
            return false;
    }
    return true;
}

bool present(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

Table::ReadLock::ReadLock(Table& table, std::optional<std::chrono::milliseconds> wait) : m_table(table) {
    m_table.lockShared(wait.value_or(m_table.m_lockWait));
}

Table::ReadLock::~ReadLock() {
    m_table.unlockShared();
}

void Table::lockShared(std::chrono::milliseconds wait) {
    if (m_readers > 0) {
        ++m_readers;
        return;
    }
    acquireShared(wait);
    m_readers = 1;
}

void Table::unlockShared() noexcept {
    if (m_readers == 0) return;
    // A change of this object keeps its own hold until it ends.
    if (--m_readers == 0 && !m_lock->reserved()) m_lock->releaseAll();
}

void Table::acquireShared(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const fs::path journal = journalPath(m_realPath);
    const fs::path record = restructurePath(m_realPath);
    const bool got = FileLock::retry(
        [&] {
            // A new structure recorded but not yet in place: it goes in first (or is waited for).
            if (present(record)) completeRestructure(m_realPath, remaining(deadline));
            if (!m_lock->tryShared()) return false;
            try {
                // Journal and header mean something for this file only while its name still leads to it.
                checkIdentity();
                if (present(journal) && !repairInterrupted(deadline)) {
                    m_lock->releaseAll();
                    return false;
                }
            } catch (...) {
                m_lock->releaseAll();
                throw;
            }
            return true;
        },
        wait);
    if (!got)
        throw Error(ErrorKind::LockedForReading,
                    "Could not read; currently locked: table '" + m_path.filename().string() +
                        "' is being changed by another program. Try again when it has finished.");
    try {
        if (m_header.recordLength == 0)
            load();
        else
            refresh();
    } catch (...) {
        m_lock->releaseAll();
        throw;
    }
}

void Table::checkIdentity() const {
    const std::optional<io::FileIdentity> byPath = io::identityOf(m_path);
    if (!byPath) changed("it was removed or renamed");
    if (!byPath->sameFile(m_identity)) changed("another file has taken its place");
}

std::chrono::milliseconds Table::remaining(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(left));
}

bool Table::repairInterrupted(std::chrono::steady_clock::time_point deadline) {
    // A live writer's journal: it has not touched the table, which it changes only once no reader is
    // left, and this reader is one.
    if (m_lock->reservedElsewhere()) return true;
    // Its writer died. The repair needs the table for writing and its own locks: ours go first, so
    // that it does not wait for itself.
    m_lock->releaseAll();
    const std::string name = m_path.filename().string();
    io::Fd fd = io::tryOpen(m_path, O_RDWR);
    if (!fd)
        throw Error(ErrorKind::Interrupted,
                    "Table '" + name +
                        "' holds a change that was interrupted, and it cannot be read until the change "
                        "is undone (by its journal '" +
                        journalPath(m_realPath).filename().string() +
                        "'); that needs the folder and the table to be writable, and here they are not (" +
                        std::strerror(errno) + "). Make them writable and open the table again.");
    if (!io::identityOf(fd.get(), m_path).sameFile(m_identity)) return false; // replaced meanwhile
    FileLock repair(fd.get());
    // A writer that came in meanwhile found the journal gone (someone else repaired it) or waits.
    if (!repair.tryShared() || repair.reservedElsewhere()) return false;
    // Pending first, so that no new reader comes in; then wait for the readers there are, who see the
    // journal too and step back.
    const bool alone =
        FileLock::retry([&] { return repair.tryExclusive() || !repair.pending(); }, remaining(deadline));
    if (!alone || !repair.exclusive()) return false; // another process is repairing it, or readers stay
    try {
        switch (Journal::recover(m_realPath, m_identity)) {
        case Journal::Recovery::RolledBack:
            warn("A change that was interrupted earlier has been undone.");
            break;
        case Journal::Recovery::Discarded:
            warn(
                "A journal beside the table was written for another file of the same name (the table was "
                "replaced or copied since its change was interrupted): it was not applied, and is kept as '" +
                Journal::orphanPathFor(m_realPath).filename().string() + "'.");
            break;
        case Journal::Recovery::None:
            break;
        }
    } catch (const Error& e) {
        throw Error(ErrorKind::Interrupted,
                    "Table '" + name + "' holds a change that was interrupted, and it could not be undone: " +
                        e.what() + " It will be tried again when the table is next opened.");
    }
    return false; // take the shared lock again on our own descriptor
}

void Table::refresh() {
    // This object's own writes that are not flushed yet: the header on disk is behind them.
    if (m_headerDirty) return;
    const auto size = static_cast<std::uint64_t>(io::status(m_fd.get(), m_path).st_size);
    if (size < m_header.headerLength) changed("it was cut short");
    // Nothing committed since the last look: the same size and the same header bytes.
    if (size == m_fileSize && !m_map.cutShort() &&
        std::equal(m_headerBytes.begin(), m_headerBytes.end(), m_map.data()))
        return;
    m_fileSize = size;
    // A fresh mapping when the file outgrew the old one, or a read fell past its end.
    if (size > m_map.length() || m_map.cutShort()) map();
    Header fresh;
    try {
        fresh = parseHeader({m_map.data(), static_cast<std::size_t>(size)});
    } catch (const Error&) {
        changed("its header can no longer be read");
    }
    checkIntact();
    if (!sameStructure(fresh, m_header)) changed("its fields were changed");
    m_header.recordCount = fresh.recordCount;
    m_header.lastUpdate = fresh.lastUpdate;
    m_header.tableFlags = fresh.tableFlags;
    const std::uint32_t before = m_recordCount;
    countRecords(false);
    checkIntact();
    rememberHeader();
    // Records that vanished: another program cut or packed the table, and record numbers read before
    // may now name other records.
    if (m_recordCount < before) ++m_generation;
}

void Table::changed(const std::string& how) const {
    m_stale = true;
    throw Error(ErrorKind::Changed, "Table '" + m_path.filename().string() +
                                        "' was changed by another program (" + how +
                                        "). Open it again to see it as it is now.");
}

} // namespace xbase
