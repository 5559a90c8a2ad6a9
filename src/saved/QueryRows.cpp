// The Queries window's rows by their position in its row set.
#include "saved/QueryRows.h"

#include "engine/Error.h"
#include "engine/Recordset.h"
#include "saved/SavedQueries.h"

namespace saved {

namespace {

void goTo(engine::Recordset& rows, std::int64_t row) {
    if (!rowExists(rows, row))
        throw engine::Error(engine::NoCurrentRecord, "The saved query is no longer in the table.");
    rows.setAbsolutePosition(row);
}

} // namespace

QStringList readNames(engine::Recordset& rows) {
    QStringList names;
    if (rows.eof()) return names;
    for (rows.moveFirst(); !rows.eof(); rows.moveNext())
        names.append(textOf(rows.value("u_naziv")));
    return names;
}

bool rowExists(engine::Recordset& rows, std::int64_t row) {
    if (row < 0 || !rows.fetch(row)) return false;
    // A row whose record was deleted keeps its place in the row set but every move steps over it:
    // stepping back from it and forward again lands on it only while it is there.
    rows.setAbsolutePosition(row);
    rows.movePrevious();
    rows.moveNext();
    return rows.absolutePosition() == row;
}

QString rowText(engine::Recordset& rows, std::int64_t row) {
    goTo(rows, row);
    return textOf(rows.value("u_txt"));
}

void setRowText(engine::Recordset& rows, std::int64_t row, const QString& text) {
    goTo(rows, row);
    rows.edit();
    try {
        rows.setValue("u_txt", text.toStdString());
        rows.update();
    } catch (...) {
        rows.cancelUpdate();
        throw;
    }
}

void deleteRow(engine::Recordset& rows, std::int64_t row) {
    goTo(rows, row);
    rows.deleteCurrent();
}

} // namespace saved
