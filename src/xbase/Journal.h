// A rollback journal beside a table: the original state of what a change overwrites, so that a change
// interrupted at any moment (an error, a killed process) can be undone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <unordered_set>

namespace xbase {

class Table;

// The journal of `ORDERS.DBF` is `ORDERS.DBF-journal` in the same folder. A change goes:
//   begin()        records the file sizes, header and end of the table and memo file; synced
//   saveRecord()   the original image of each record before it is first overwritten in place
//   sync()         before the table is changed in place
//   ... the table is changed, then synced ...
//   finish()       removes the journal: the change is complete
// While a journal exists, the table may hold part of a change; recover() puts it back.
class Journal {
public:
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Starts the journal of an open table (synced before returning). Throws Error(Io).
    static std::unique_ptr<Journal> begin(const Table& table);
    // True when this record's original image is already saved.
    bool hasRecord(std::uint32_t record) const { return m_saved.count(record) != 0; }
    // Saves a record's original image; does nothing for records saved before or appended since begin().
    void saveRecord(std::uint32_t record, std::span<const std::uint8_t> bytes);
    void sync();
    // The change is complete: removes the journal.
    void finish();

    static std::filesystem::path pathFor(const std::filesystem::path& table);
    // When a journal is left beside the table and no process is using it, puts the table and its memo
    // file back as they were before the interrupted change and removes the journal. The table must not
    // be open in this process. Returns true when it rolled a change back. Throws Error(Io).
    static bool recover(const std::filesystem::path& table);

private:
    Journal() = default;
    void write(const void* data, std::size_t size);

    std::filesystem::path m_path;
    int m_fd = -1;
    std::uint32_t m_originalCount = 0;
    std::unordered_set<std::uint32_t> m_saved;
};

} // namespace xbase
