// The current result copied into a new spreadsheet workbook: the statement run again on a
// database of its own, field names in bold on row 1, typed values below, columns fitted.
#pragma once

#include "engine/Values.h"
#include "platform/Spreadsheet.h"

#include <QString>
#include <functional>
#include <memory>

namespace platform {
class Dialogs;
}

namespace output {

// How much a sheet holds, row 1 included. A result beyond them is not copied at all, so that it
// never fails cell by cell and no sheet shows part of a result as if it were the whole.
struct SheetLimits {
    int rows = 1048576;
    int columns = 16384;
};

struct SheetExportJob {
    using Factory = std::function<std::unique_ptr<platform::Spreadsheet>()>;

    platform::Dialogs& dialogs;
    QString folder; // Data1's DatabaseName
    QString source; // Data1's RecordSource: a table or a select, with any sort or filter in it
    // What the workbook is called, see workbookName().
    QString name;
    // Creates the spreadsheet application; throws engine::Error when there is none.
    Factory newSpreadsheet;
    SheetLimits limits;
    // Shows the progress in the window title, and puts the window's own title back at the end.
    std::function<void(const QString&)> setTitle = {};
    std::function<void()> restoreTitle = {};
};

// Runs the whole export with the hourglass up, and reports its own failures as the error number,
// one blank and the description; throws nothing. A failure that every later step would repeat
// (the folder or the statement cannot be opened, no spreadsheet, no workbook, a row that cannot
// be read) is reported once and ends the command. Cells the sheet refuses are counted and told in
// one message at the end. A result longer or wider than a sheet gives one message and ends the
// command before a spreadsheet is created. Escape stops the copy: nothing is shown or kept. When no
// application can be started to show the workbook, the save dialog lets the user keep it (in the
// folder, named after the table); Cancel there drops it.
void exportSheet(const SheetExportJob& job);

// A cell's value for a field's value: numbers as numbers, dates as dates, Null (and binary
// contents, which no cell shows) as an empty cell.
platform::Spreadsheet::Value cellValue(const engine::Value& value);

// The workbook's name for a table part of a statement ("ORDERS" or "[Sales 2024] s" give "orders"
// and "sales 2024"): its first name, without brackets, folder or ".dbf", in lower case; "result"
// when there is none.
QString workbookName(const QString& table);

} // namespace output
