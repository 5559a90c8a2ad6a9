// What brindle-sql says about a folder's tables themselves: the list of them, and one table's fields
// as the CREATE TABLE statement that makes an equal table.
#pragma once

#include "Session.h"

#include <string>
#include <string_view>
#include <vector>

namespace brindlesql {

// Writes a row per table of the folder, in the session's format: name, records (those not deleted),
// version (the dBASE variant of the file), code page, memo file (or "-"). A table that cannot be opened
// is reported on stderr and left out; then the result is false.
bool listTables(Session& session);

struct Schema {
    std::string statement; // CREATE TABLE [name] ([FIELD] TYPE, ...) on one line, without the ending ;
    // Each field the statement does not make as the table has it (a type CREATE TABLE cannot make, a
    // name it refuses), saying what it makes instead.
    std::vector<std::string> inexact;
};
// The schema of a table named as a statement names it. Throws the engine's error when there is no such
// table or it cannot be opened.
Schema schemaOf(engine::Database& db, std::string_view table);

} // namespace brindlesql
