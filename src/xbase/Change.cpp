// A change of a table: reserved lock first, new images in memory, exclusive lock and journal at commit.
#include "xbase/Change.h"

#include "xbase/Companions.h"
#include "xbase/Error.h"

#include <sys/stat.h>

namespace xbase {

namespace {

// New images wait in memory until commit; past this many bytes they are written early (their
// originals journaled first, under the exclusive lock), so that a huge change does not fill memory.
constexpr std::size_t kPendingLimit = 16u << 20;

std::string lockedMessage(const Table& table, const char* by) {
    return "Could not update; currently locked: table '" + table.path().filename().string() + "' is being " +
           by + " by another program. Try again when it has finished.";
}

} // namespace

Change::Change(Table& table) : m_table(table) {
    table.checkWritable();
    if (table.m_lock->reserved()) throw Error(ErrorKind::LockedForWriting, lockedMessage(table, "changed"));
    // A writer that cannot get the reserved lock lets go of its shared one while it waits: two writers
    // never wait for each other.
    const auto deadline = std::chrono::steady_clock::now() + table.m_lockWait;
    const bool got = FileLock::retry(
        [&] {
            try {
                table.lockShared(Table::remaining(deadline));
            } catch (const Error& e) {
                if (e.kind() == ErrorKind::LockedForReading) return false; // a writer commits: wait on
                throw;
            }
            if (table.m_lock->tryReserved()) return true;
            table.unlockShared();
            return false;
        },
        table.m_lockWait);
    if (!got) throw Error(ErrorKind::LockedForWriting, lockedMessage(table, "changed"));
    try {
        // The shared lock was held since the journal was last looked for; one there now was left by a
        // writer that died before it could write the table. Only its memo appends are to undo.
        struct stat st {};
        if (::stat(journalPath(table.m_realPath).c_str(), &st) == 0) {
            Journal::recover(table.path(), table.m_identity, false);
            table.reread();
        }
    } catch (...) {
        table.m_lock->releaseReserved();
        table.unlockShared();
        throw;
    }
    m_originalCount = table.recordCount();
}

Change::~Change() {
    if (!m_done) {
        try {
            rollback();
        } catch (...) {
            // The journal stays; the next reader finishes the rollback.
        }
    }
    m_table.m_lock->releaseReserved();
    m_table.unlockShared();
}

std::vector<std::uint8_t> Change::image(std::uint32_t record) const {
    const std::uint32_t inFile = m_table.recordCount();
    if (record >= inFile) {
        if (record - inFile >= m_appendedCount)
            throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " does not exist.");
        const std::size_t length = m_table.header().recordLength;
        const auto at = m_appended.begin() + static_cast<std::ptrdiff_t>((record - inFile) * length);
        return {at, at + static_cast<std::ptrdiff_t>(length)};
    }
    if (auto it = m_pending.find(record); it != m_pending.end()) return it->second;
    const auto bytes = m_table.recordBytes(record);
    return {bytes.begin(), bytes.end()};
}

void Change::put(std::uint32_t record, std::vector<std::uint8_t> image) {
    const std::size_t length = m_table.header().recordLength;
    if (image.size() != length || record >= recordCount())
        throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " cannot be written.");
    if (!m_journal) beginJournal();
    const std::uint32_t inFile = m_table.recordCount();
    if (record >= inFile) {
        std::copy(image.begin(), image.end(),
                  m_appended.begin() + static_cast<std::ptrdiff_t>((record - inFile) * length));
        return;
    }
    if (m_pending.insert_or_assign(record, std::move(image)).second) m_pendingBytes += length;
    if (m_pendingBytes + m_appended.size() > kPendingLimit) writeOut();
}

std::uint32_t Change::append(std::vector<std::uint8_t> image) {
    if (image.size() != m_table.header().recordLength)
        throw Error(ErrorKind::Value, "A record of the wrong length cannot be appended.");
    if (recordCount() == 0xFFFFFFFFu) throw Error(ErrorKind::Value, "The table is full.");
    if (!m_journal) beginJournal();
    const std::uint32_t record = recordCount();
    m_appended.insert(m_appended.end(), image.begin(), image.end());
    ++m_appendedCount;
    if (m_pendingBytes + m_appended.size() > kPendingLimit) writeOut();
    return record;
}

void Change::encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value) {
    // The journal records where the memo file ends before anything is appended to it.
    if (!m_journal) beginJournal();
    m_table.encode(record, field, value);
}

void Change::beginJournal() {
    m_journal = Journal::begin(m_table);
}

void Change::lockExclusive() {
    if (m_table.m_lock->exclusive()) return;
    const bool got = FileLock::retry([&] { return m_table.m_lock->tryExclusive(); }, m_table.m_lockWait);
    if (!got) {
        m_table.m_lock->releaseExclusive(); // pending goes too: readers may come in again
        throw Error(ErrorKind::LockedForWriting, lockedMessage(m_table, "read"));
    }
}

void Change::writeOut() {
    if (m_pending.empty() && m_appended.empty()) return;
    if (!m_journal) beginJournal();
    lockExclusive();
    for (const auto& [record, image] : m_pending)
        m_journal->saveRecord(record, m_table.recordBytes(record));
    m_journal->sync();
    m_tableWritten = true;
    for (const auto& [record, image] : m_pending)
        m_table.writeRecord(record, image);
    m_table.appendRecords(m_appended);
    m_pending.clear();
    m_pendingBytes = 0;
    m_appended.clear();
    m_appendedCount = 0;
}

void Change::commit() {
    if (m_done) return;
    if (m_journal) {
        writeOut();
        m_table.sync();
        m_journal->commit(); // the change is made
        m_journal.reset();
    }
    m_done = true;
}

void Change::rollback() {
    if (m_done) return;
    m_done = true;
    m_pending.clear();
    m_appended.clear();
    m_appendedCount = 0;
    if (!m_journal) return; // nothing was written anywhere
    const std::unique_ptr<Journal> journal = std::move(m_journal);
    try {
        journal->rollback(m_tableWritten);
        m_table.reread();
    } catch (const std::exception& e) {
        // Let go of everything, so that the next reader (of any process) can undo it from the journal;
        // this object must not write the count of the change it could not undo.
        m_table.m_stale = true;
        m_table.m_headerDirty = false;
        m_table.m_lock->releaseReserved();
        const auto* fileError = dynamic_cast<const Error*>(&e);
        throw Error(fileError ? fileError->kind() : ErrorKind::Io,
                    std::string("The change could not be undone: ") + e.what() +
                        " It will be undone when the table is next opened.");
    }
}

} // namespace xbase
