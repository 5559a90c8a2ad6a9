// A folder as a database: its .dbf files by table name, and one open Table per file shared by the
// engine's statements and recordsets.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xbase/Table.h"

namespace engine {

class Folder {
public:
    Folder(std::filesystem::path dir, bool readOnly);

    const std::filesystem::path& dir() const { return m_dir; }
    bool readOnly() const { return m_readOnly; }

    // The file of a table named as a user writes it: "orders", "ORDERS.DBF", "sales 2024". An exact
    // match of the file's name wins over a match without regard to case. Looks at the folder as it is
    // now. Nullopt when there is none; throws Error(AmbiguousTableName) when two files match only
    // without regard to case.
    std::optional<std::filesystem::path> find(std::string_view name) const;
    // As find, but throws Error(TableNotFound) naming the table and the folder.
    std::filesystem::path resolve(std::string_view name) const;
    // Every .dbf file of the folder.
    std::vector<std::filesystem::path> tableFiles() const;

    // The open table of a file, opened on first use (for writing unless the folder is read-only or the
    // file cannot be written) and opened again when another program changed the file since.
    std::shared_ptr<xbase::Table> table(const std::filesystem::path& file);
    // Closes the cached table of a file (before it is dropped, replaced or rolled back).
    void forget(const std::filesystem::path& file);
    // Records the file's state after this process changed it, so the change is not taken for another
    // program's.
    void noteWritten(const std::filesystem::path& file);

private:
    struct Entry {
        std::shared_ptr<xbase::Table> table;
        std::uintmax_t size = 0;
        std::int64_t mtime = 0;  // nanoseconds
        std::uint64_t inode = 0; // a file saved by deleting and writing anew is another file
        std::uint64_t device = 0;
    };
    std::filesystem::path m_dir;
    bool m_readOnly;
    std::map<std::filesystem::path, Entry> m_open;
};

// The table name of a name as written: without a ".dbf" ending.
std::string stripDbfExtension(std::string_view name);

} // namespace engine
