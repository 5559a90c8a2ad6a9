// Field values between the file layer and SQLite: how each dBASE value is represented in SQL.
#pragma once

#include "xbase/Field.h"
#include "xbase/Table.h"
#include "xbase/Value.h"

#include <sqlite3.h>
#include <string>
#include <vector>

namespace engine {

using Value = xbase::Value;

// The kind of a column of a result, as callers see it.
enum class FieldKind { Text, Memo, Integer, Real, Date, DateTime, Logical, Binary };

// SQLite declared types of table columns; they carry the field kind through to results
// (sqlite3_column_decltype) and give SQLite the right affinity (text dates stay text).
const char* declaredType(const xbase::Field& field);
FieldKind kindOfDeclaredType(const char* declared);
FieldKind kindOfField(const xbase::Field& field);
// The decimals a number column shows, from its declared type REAL(n); -1 for any other type.
int decimalsOfDeclaredType(const char* declared);
const char* kindName(FieldKind kind);

// Dates are ISO text 'YYYY-MM-DD', date-times 'YYYY-MM-DD HH:MM:SS' (with '.mmm' when there are
// milliseconds), logical values -1 and 0.
void resultValue(sqlite3_context* cx, const Value& value);
void bindValue(sqlite3_stmt* stmt, int index, const Value& value);
// A value from SQLite typed by the kind of the column it belongs to (ISO text becomes a Date, ...).
Value fromSqlite(sqlite3_value* value, FieldKind kind);
Value columnValue(sqlite3_stmt* stmt, int column, FieldKind kind);

// The column names of a table's visible fields, made unique (without regard to case) by a suffix where
// an old file names two fields alike.
std::vector<std::string> columnNames(const xbase::Table& table);

std::string isoDate(const xbase::Date& d);
std::string isoDateTime(const xbase::DateTime& dt);
// Parses 'YYYY-MM-DD' or 'YYYY-MM-DD HH:MM:SS[.mmm]' (also with 'T'); false when it is neither.
bool parseIso(std::string_view text, xbase::DateTime& out, bool& hasTime);

} // namespace engine
