// The state of the "dbf" virtual table and its cursors, and the scans the table serves itself:
// comparisons checked on the record bytes, GROUP BY handed out grouped, ORDER BY with a limit.
#pragma once

#include "engine/Values.h"
#include "xbase/Change.h"
#include "xbase/Table.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace engine {

class Folder;

namespace dbf {

struct DbfTable {
    sqlite3_vtab base{}; // must come first: SQLite hands out pointers to it
    Folder* folder = nullptr;
    std::filesystem::path file;
    std::shared_ptr<xbase::Table> table;
    std::vector<std::size_t> fieldOf;      // column -> field index of the table
    std::vector<FieldKind> kinds;          // column -> kind
    std::unique_ptr<xbase::Change> change; // the statement's change of the table, from xBegin to its end
    int cursors = 0;                       // cursors open on it
};

// A comparison of one field with a constant, checked on the record before SQLite sees it.
struct Filter {
    std::size_t field;
    FieldKind kind;
    unsigned char op;
    double number = 0;
    std::string text;
};

struct DbfCursor {
    sqlite3_vtab_cursor base{};
    DbfTable* vt = nullptr;
    // A scan reads under the table's shared lock, from its first filter to its close.
    std::shared_ptr<xbase::Table> locked;
    std::optional<xbase::Table::ReadLock> reading;
    bool grouped = false; // rows come from `order`, equal values of one field together
    std::vector<std::uint32_t> order;
    std::size_t position = 0;
    std::uint32_t record = 0;
    std::uint32_t end = 0;
    std::vector<Filter> filters;
};

// Reads an N/F field as a number without building a Value; false for blanks and anything unusual.
bool quickNumber(const std::uint8_t* p, std::size_t n, double& out);
// True when the cursor's current record is live and passes its filters.
bool visible(DbfCursor* cur);
// Moves the cursor to the next visible record at or after its current one.
void skipToVisible(DbfCursor* cur);
// Orders the cursor's visible records so that equal values of the field come together, groups in the
// order of their values.
void groupRecords(DbfCursor* cur, std::size_t field, bool descending);
// Keeps the first `limit` visible records in the order of the field (ties in record order).
void firstRecords(DbfCursor* cur, std::size_t field, bool descending, sqlite3_int64 limit);
// Gives SQLite the value of a common field type straight from the record bytes; false when the field
// needs the general way.
bool quickColumn(const xbase::Table& t, std::span<const std::uint8_t> record, std::size_t index,
                 sqlite3_context* cx);

} // namespace dbf
} // namespace engine
