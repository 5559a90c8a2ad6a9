// The current result to a text file of fixed-width columns: a file from the save dialog, a width
// per column asked of the user, a heading line, a line of nine blanks and one line per row.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>

namespace platform {
class Dialogs;
}
namespace datagrid {
class DataSource;
}

namespace output {

// What the export needs of the main window.
struct TextExportWindow {
    platform::Dialogs& dialogs;
    // Data1: the rows, read from the first one on; its moves tell the record-position display.
    datagrid::DataSource& rows;
    // DBGrid1's column captions in grid order; field m of a row goes under caption m.
    QStringList captions;
    // Shows the progress in the window title, and puts the window's own title back at the end.
    std::function<void(const QString&)> setTitle;
    std::function<void()> restoreTitle;
    // The file the save dialog suggests: <table>.txt in the current folder.
    QString suggestedFile;
};

// Runs the whole export and reports its own failures through the dialogs; throws nothing. Escape
// stops it: the file then holds the lines written so far.
// Cancel in the save dialog ends it at once. A file that cannot be created, or a failure while
// the lines are written, is reported once and ends it; the file is closed either way, so what was
// written stays on disk. The text of a line is in the locale's encoding with CR LF after it.
void exportText(const TextExportWindow& window, const QLocale& locale = QLocale());

// The prompt for column `caption`'s pad width.
QString widthPrompt(const QString& caption);

} // namespace output
