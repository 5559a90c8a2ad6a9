// The spreadsheet application as the export drives it: one new workbook, typed cells, bold cells,
// fitted columns, and the finished workbook handed to the user.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <variant>

namespace platform {

// Created for one export and released when it ends; a workbook made visible stays with the user.
// Every failure is an engine::Error carrying a number and a description.
class Spreadsheet {
public:
    // A cell's value as it is handed over: nothing (an empty cell), a number, a logical value, text,
    // a date, a date with a time of day. The sheet shows each in its own way; nothing becomes text.
    using Value = std::variant<std::monostate, double, bool, QString, QDate, QDateTime>;

    virtual ~Spreadsheet() = default;

    // Adds the new workbook, named after `name` (the table shown, e.g. "orders"); its one sheet is
    // the sheet that cells address from then on.
    virtual void addWorkbook(const QString& name) = 0;

    // Rows and columns count from 1. Cells are set row by row: once a cell of a later row is set,
    // the rows before it are final. Throws for a cell or value the sheet cannot hold.
    virtual void setCell(int row, int column, const Value& value) = 0;
    // Bold font for a cell of the row being set.
    virtual void setBold(int row, int column) = 0;
    // Sizes a column to the widest value set in it so far.
    virtual void autofitColumn(int column) = 0;

    // Finishes the workbook and shows it in the desktop's spreadsheet application. False when no
    // application could be started to show it: the finished workbook waits for keepAt().
    virtual bool makeVisible() = 0;
    // Puts the finished workbook that could not be shown at `path`, replacing a file there.
    virtual void keepAt(const QString& path) = 0;
};

} // namespace platform
