// The files that belong to a table beside its .dbf: memo, code page, indexes, the journal of a change
// and the record of a change of structure.
#pragma once

#include "Header.h"

#include <filesystem>
#include <vector>

namespace xbase {

// The rollback journal of a table: "ORDERS.DBF-journal".
std::filesystem::path journalPath(const std::filesystem::path& table);
// The record of a change of structure being put in place: "ORDERS.DBF-restructure".
std::filesystem::path restructurePath(const std::filesystem::path& table);

// Index files that a change of the table's records would leave out of date: a production index
// (.mdx or .cdx of the same base name, or the one the header's flag announces), standalone indexes
// of the same base name (.ndx, .ntx, .idx), and every index listed in a .inf file of the same base
// name. Names compare without regard to case.
std::vector<std::filesystem::path> indexFiles(const std::filesystem::path& table, const Header& header);

// The files of the same base name that go with the table: memo (.dbt, .fpt), code page (.cpg),
// production index (.mdx, .cdx), its journal and the record of a change of structure.
std::vector<std::filesystem::path> companionFiles(const std::filesystem::path& table);

} // namespace xbase
