// Putting a changed structure in place: the new table and memo file written beside the old ones, then a
// record of the renames to make, then the renames; a crash before the record leaves the old pair, after
// it the new pair (the renames are finished by whoever opens the table next).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace xbase {

// Renames and removals that put a new structure in place, in order.
struct Replacement {
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> renames; // from, to
    std::vector<std::filesystem::path> removals;
};

// Writes the record of a replacement beside the table (synced: from here on the new structure is the
// table's), makes the renames and removals, and removes the record. The table's scratch files must be
// complete and synced. Throws Error(Io) from the record's writing (nothing replaced then) or from a
// rename (the record stays, and the next open finishes the replacement).
void replace(const std::filesystem::path& table, const Replacement& replacement);

// Before a table is opened: finishes a replacement whose process died after recording it, and removes
// the scratch files of one that died before (when no writer holds the table). Waits up to `wait` for a
// replacement in progress in another process. Throws Error(Interrupted) when a recorded replacement
// cannot be finished because the folder cannot be written.
void completeRestructure(const std::filesystem::path& table, std::chrono::milliseconds wait);

// The scratch name of a file being rewritten: "ORDERS.DBF.new".
std::filesystem::path scratchPath(const std::filesystem::path& file);

struct FieldSpec;
// Writes the header, end marker and (when a field needs one) memo file of an empty dBASE III table,
// none of which may exist yet; with writeCpg, a .cpg file where no language driver id names the code
// page. Synced, with the folder. Throws Error(Value/Unsupported) for fields a dBASE III table cannot
// hold (before any file exists), Error(Io).
void createTableFiles(const std::filesystem::path& path, const std::filesystem::path& memoPath,
                      const std::vector<FieldSpec>& wanted, const std::string& codePage, bool writeCpg);

} // namespace xbase
