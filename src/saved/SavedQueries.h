// The saved queries: rows of upiti.dbf in the program folder, whatever folder the user works in.
#pragma once

#include "engine/Database.h"
#include "engine/Values.h"
#include "platform/ProgramFolder.h"

#include <QString>
#include <memory>
#include <vector>

namespace saved {

struct SavedQuery {
    QString name; // u_naziv as typed
    QString text; // u_txt with its CR LF line breaks
};

// The orders in which the readers list the rows.
enum class Order {
    Stored,      // the table's own order (the export)
    ByName,      // by the name (direct display)
    ByLowerName, // by the lower-cased name (the Queries window)
};

// The row set of the Queries window.
inline const char* const windowRowSet = "select * from UPITI order by lcase(u_naziv)";

// Opens the program folder as the database of the saved queries (shared, writable). Throws
// engine::Error(TableNotFound) naming the file when upiti.dbf is not there, since the program
// never creates it; and the engine's errors for a folder it cannot open.
std::unique_ptr<engine::Database> openDatabase(const platform::ProgramFolder& folder);

// Appends one row. No statement text is composed, so any name and text, apostrophes included, are
// stored exactly as given. Throws engine::Error.
void addQuery(engine::Database& db, const QString& name, const QString& text);

// Every row in the given order. Throws engine::Error.
std::vector<SavedQuery> listQueries(engine::Database& db, Order order);

// A field's value as text; Null (or anything but text) reads as empty text.
QString textOf(const engine::Value& value);

} // namespace saved
