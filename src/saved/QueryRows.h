// The Queries window's rows by their position in its row set: each operation acts on that row and
// on that row alone, so that two queries of one name, or names and texts with apostrophes, are kept
// apart.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace engine {
class Recordset;
}

namespace saved {

// The names of all rows, from the first to the last; the recordset is left past its last row.
QStringList readNames(engine::Recordset& rows);

// Whether the row at this position is still a row of the table: a statement run from the main window
// may have deleted it since the row set was read. Moves the current row.
bool rowExists(engine::Recordset& rows, std::int64_t row);

// The row's text. Throws engine::Error(NoCurrentRecord) when the row is gone.
QString rowText(engine::Recordset& rows, std::int64_t row);

// Writes the row's text to the table. Throws engine::Error(NoCurrentRecord) when the row is gone,
// and the engine's error when the text cannot be stored; the row is then unchanged.
void setRowText(engine::Recordset& rows, std::int64_t row, const QString& text);

// Deletes the row from the table; the rows after it move up one place. Throws as setRowText.
void deleteRow(engine::Recordset& rows, std::int64_t row);

} // namespace saved
