// A rollback journal beside a table: the original state of what a change overwrites, so that a change
// interrupted at any moment (an error, a killed process) can be undone.
#pragma once

#include "FileIo.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <unordered_set>

namespace xbase {

class Table;

// The journal of `ORDERS.DBF` is `ORDERS.DBF-journal` in the same folder. A change goes:
//   begin()        records which file it belongs to (device, inode, birth), the file sizes, the header and
//   the end of the
//                  table and memo file; synced, with the folder entry
//   saveRecord()   the original image of each record before it is first overwritten in place
//   sync()         before the table is changed in place
//   ... the table is changed, then synced ...
//   commit()       removes the journal: this is the moment the change is made
// While a journal exists and its writer holds no reserved lock on the table, the table may hold part
// of a change; recover() puts it back.
class Journal {
public:
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Starts the journal of an open table whose reserved lock the caller holds. Refuses (Error(Io))
    // when a journal is there already: it is an interrupted change that must be undone first.
    static std::unique_ptr<Journal> begin(const Table& table);
    // Saves a record's original image; does nothing for records saved before or appended since begin().
    void saveRecord(std::uint32_t record, std::span<const std::uint8_t> bytes);
    void sync();
    // The change is complete: removes the journal. Throws Error(Io) when it cannot, and the change then
    // is not made (the journal undoes it).
    void commit();
    // Undoes the change: puts the table and its memo file back as begin() found them and removes the
    // journal. The caller holds the table's exclusive lock when it wrote the table; when it did not
    // (tableWritten false), only the memo file is put back, and readers of the table are not disturbed.
    void rollback(bool tableWritten);

    static std::filesystem::path pathFor(const std::filesystem::path& table);
    // Where a journal written for another file of the table's name is put aside:
    // "ORDERS.DBF-journal.orphan".
    static std::filesystem::path orphanPathFor(const std::filesystem::path& table);

    enum class Recovery {
        None,       // no journal, or one cut short before anything was changed (removed)
        RolledBack, // the interrupted change was undone and the journal removed
        Discarded,  // the journal belonged to another file of that name (put aside, nothing replayed)
    };
    // Undoes the change recorded in the journal beside the table, which is the file of this identity.
    // The caller holds the table's exclusive lock, so no writer is alive; or, with tableToo false,
    // knows that the writer died before it wrote the table, and only its memo appends are undone.
    // Throws Error(Io) when the files cannot be put back; the journal then stays for the next attempt.
    static Recovery recover(const std::filesystem::path& table, const io::FileIdentity& identity,
                            bool tableToo = true);

private:
    Journal() = default;
    void write(const void* data, std::size_t size);

    std::filesystem::path m_table;
    std::filesystem::path m_path;
    io::FileIdentity m_identity;
    io::Fd m_fd;
    std::uint64_t m_size = 0; // bytes written so far
    std::uint32_t m_originalCount = 0;
    std::unordered_set<std::uint32_t> m_saved;
};

} // namespace xbase
