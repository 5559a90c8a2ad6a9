// One change of a table by one writer, made wholly or not at all, and never seen half made by readers.
#pragma once

#include "Journal.h"
#include "Table.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace xbase {

// The writer takes the table's reserved lock before it reads what it will change and reads the header
// again under it, so that it computes from the table as it is and appends after the last committed
// record. New record images wait in memory; commit() takes the exclusive lock, saves the originals in
// the journal, writes, syncs and removes the journal, which is the moment the change is made. Memo
// values are appended to the memo file as they are encoded (after the journal has recorded its end):
// readers never follow a pointer to them before the records that hold it are committed.
class Change {
public:
    // Throws Error(ReadOnly) when the table cannot be changed, Error(LockedForWriting) when another
    // writer keeps it longer than the table's lockWait(), and what taking the shared lock throws.
    explicit Change(Table& table);
    // Undoes what was not committed (errors are swallowed; call rollback() to hear of them) and lets
    // go of the locks.
    ~Change();
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;

    Table& table() const { return m_table; }
    // The table's records and the ones this change appends.
    std::uint32_t recordCount() const { return m_table.recordCount() + m_appendedCount; }
    // The image of a record as this change has it: its new one, or the one in the file.
    std::vector<std::uint8_t> image(std::uint32_t record) const;
    // A new image for an existing record (or one appended by this change); a deletion is an image
    // with '*' in front.
    void put(std::uint32_t record, std::vector<std::uint8_t> image);
    // Returns the new record's number.
    std::uint32_t append(std::vector<std::uint8_t> image);
    // Encodes a value into an image as Table::encode does; memo values go to the memo file now.
    void encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value);

    // Makes the change. Throws Error(LockedForWriting) when readers keep the table longer than
    // lockWait(), Error(Io) when the files refuse; the change is then not made, and rollback() (or the
    // destructor) puts the files back.
    void commit();
    // Puts the table and memo file back as they were before the change. Throws Error(Io) when they
    // cannot be put back: everything is let go, and the journal stays for the next reader to finish.
    void rollback();

    // Waits (up to lockWait()) until no reader is left and keeps them out until the change ends; for a
    // change of structure, which replaces the files. Throws Error(LockedForWriting).
    void lockExclusive();

private:
    void beginJournal();
    // Writes what waits in memory: the originals into the journal first, then the table.
    void writeOut();

    Table& m_table;
    std::unique_ptr<Journal> m_journal;
    std::map<std::uint32_t, std::vector<std::uint8_t>> m_pending; // record -> new image
    std::size_t m_pendingBytes = 0;
    std::vector<std::uint8_t> m_appended; // appended records not in the file yet, back to back
    std::uint32_t m_appendedCount = 0;
    std::uint32_t m_originalCount = 0;
    bool m_tableWritten = false;
    bool m_done = false;
};

} // namespace xbase
