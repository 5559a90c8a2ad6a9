// bench-grid: the main window over a big table, each command timed from the user's action to the grid
// showing its first rows and Data1 its count, and checked for the right rows; beside each, brindle-sql
// on the same statement when its path is given. Prints the process's peak memory. Run on the table of
// bench/make_orders.py (see bench/README.md).
#include "app/Form1.h"
#include "app/QueryBox.h"
#include "browser/FileList.h"
#include "datagrid/DataSource.h"
#include "datagrid/ResultGrid.h"
#include "engine/Recordset.h"
#include "platform/ProgramFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedTextEditor.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <sys/resource.h>

namespace {

struct Bench {
    app::Form1& form;
    datagrid::ResultGrid& grid;
    QString folder;
    QString brindleSql; // empty: no comparison

    // Runs the action and waits until the grid has painted what it shows. Returns seconds.
    double timed(const std::function<void()>& action) {
        QElapsedTimer timer;
        timer.start();
        action();
        grid.viewport()->repaint(); // the first rows are read and drawn here
        QApplication::processEvents();
        return timer.nsecsElapsed() / 1e9;
    }

    // brindle-sql --csv on the statement, its output written to `output` (thrown away when empty).
    // Returns seconds, or -1 without brindle-sql.
    double alone(const QString& statement, const QString& output = {}) {
        if (brindleSql.isEmpty()) return -1;
        QProcess process;
        process.setStandardOutputFile(output.isEmpty() ? QProcess::nullDevice() : output);
        QElapsedTimer timer;
        timer.start();
        process.start(brindleSql, {QStringLiteral("--csv"), folder, statement});
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            throw std::runtime_error("brindle-sql failed on " + statement.toStdString());
        return timer.nsecsElapsed() / 1e9;
    }

    QString caption() const { return form.dataSource()->caption(); }
    QString current(const char* field) const {
        engine::Recordset* rows = form.dataSource()->recordset();
        if (!rows) throw std::runtime_error("nothing is shown");
        const engine::Value value = rows->value(field);
        if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
        if (const auto* number = std::get_if<double>(&value)) return QString::number(*number, 'f', 2);
        if (const auto* integer = std::get_if<std::int64_t>(&value)) return QString::number(*integer);
        return QStringLiteral("?");
    }
    void expect(bool ok, const std::string& what) const {
        if (!ok) throw std::runtime_error("wrong result: " + what);
    }

    void report(const char* what, double window, double sql, const QString& shows) const {
        if (sql < 0)
            std::printf("%-28s %7.3f s                         Data1 shows %s\n", what, window,
                        qPrintable(shows));
        else
            std::printf("%-28s %7.3f s  brindle-sql %7.3f s  Data1 shows %s\n", what, window, sql,
                        qPrintable(shows));
        std::fflush(stdout);
    }
};

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void pressReturn(QWidget& widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&widget, &release);
}

void trigger(app::Form1& form, const char* action) {
    auto* command = form.findChild<QAction*>(QString::fromLatin1(action));
    if (!command) throw std::runtime_error(std::string("no menu command ") + action);
    command->trigger();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: bench-grid FOLDER TABLE-FILE SELECT [BRINDLE-SQL]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString table = QString::fromLocal8Bit(argv[2]).section(QLatin1Char('.'), 0, 0);
    const QString statement = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir programFolder;
    // Any dialog the script does not expect (a failure report) ends the run.
    testsupport::ScriptedDialogs dialogs;
    testsupport::ScriptedTextEditor editor;
    app::Form1 form(dialogs, editor, platform::ProgramFolder(programFolder.path()));
    form.start(folder + QLatin1Char('/') + QString::fromLocal8Bit(argv[2]));
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();
    auto* file1 = form.findChild<browser::FileList*>(QStringLiteral("File1"));
    Bench b{form, *form.grid(), folder, argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString()};
    const QString all = QStringLiteral("select * from ") + table;
    try {
        std::printf("%-28s %9s  %21s\n", "command", "window", "same rows alone");
        const double open = b.timed([&] { pressReturn(*file1); });
        b.expect(b.caption() == QStringLiteral("1/1000000"), "open shows " + b.caption().toStdString());
        b.report("open the table", open, -1, b.caption());

        // Header click on NAME: ascending, the smallest name first.
        const int name = 1;
        const double header = b.timed([&] { emit b.grid.headerClicked(name); });
        b.expect(b.caption().endsWith(QStringLiteral("/1000000")), "header sort count");
        const QString first = b.current("NAME");
        b.report("header click sort (NAME)", header, b.alone(all + QStringLiteral(" order by name")),
                 b.caption());
        b.expect(b.grid.horizontalHeader()->sortIndicatorSection() == name, "sort indicator");
        // The whole order follows when a row past the first ones is wanted: here the last.
        const double last = b.timed([&] { form.dataSource()->moveLast(); });
        b.report("  then move to the last row", last, -1, b.caption());
        b.expect(b.caption() == QStringLiteral("1000000/1000000"), "last row of the sort");
        form.dataSource()->moveFirst();
        b.expect(b.current("NAME") == first, "the first row again");

        // Sort command, the other way round on a number.
        dialogs.expectPrompt(QStringLiteral("amount desc"));
        const double sort = b.timed([&] { trigger(form, "mnuSort"); });
        b.report("Sort (amount desc)", sort, b.alone(all + QStringLiteral(" order by amount desc")),
                 b.caption());
        b.expect(b.caption().endsWith(QStringLiteral("/1000000")), "sort count");

        dialogs.expectPrompt(QStringLiteral("city = 'Paris'"));
        const double filter = b.timed([&] { trigger(form, "mnuFilter"); });
        b.report("Filter (city = 'Paris')", filter, b.alone(all + QStringLiteral(" where city = 'Paris'")),
                 b.caption());
        b.expect(b.current("CITY") == QStringLiteral("Paris"), "filter row");

        // Search across the whole table from its first record to one near its end.
        b.timed([&] { pressReturn(*file1); });
        dialogs.expectPrompt(QStringLiteral("id = 999990"));
        const double search = b.timed([&] { trigger(form, "mnuSearch"); });
        b.report("Search (id = 999990)", search, b.alone(all + QStringLiteral(" where id = 999990")),
                 b.caption());
        b.expect(b.current("ID") == QStringLiteral("999990"), "search row");

        const double fit = b.timed([&] { trigger(form, "mnuAutofit"); });
        b.report("auto-fit", fit, -1, b.caption());

        QTemporaryDir out;
        const QString text = out.filePath(QStringLiteral("orders.txt"));
        dialogs.expectSaveFileName(text);
        for (int i = 0; i < form.grid()->columnCount(); ++i)
            dialogs.expectPrompt(QStringLiteral("12"));
        const double exported = b.timed([&] { trigger(form, "mnuExport"); });
        b.report("text export", exported, b.alone(all, out.filePath(QStringLiteral("orders.csv"))),
                 QString::number(QFile(text).size() / 1e6, 'f', 1) + QStringLiteral(" MB written"));

        // The workbook: no spreadsheet application starts here, so the save dialog keeps it.
        const double before = peakMegabytes();
        const QString book = out.filePath(QStringLiteral("orders.xlsx"));
        dialogs.expectSaveFileName(book);
        const double workbook = b.timed([&] { trigger(form, "mnuExcel"); });
        b.report("workbook export", workbook, -1,
                 QString::number(QFile(book).size() / 1e6, 'f', 1) +
                     QStringLiteral(" MB workbook, peak memory +") +
                     QString::number(peakMegabytes() - before, 'f', 1) + QStringLiteral(" MB"));
        b.expect(QFile(book).size() > 0, "workbook kept");

        form.queryBox()->setPlainText(statement);
        form.queryBox()->moveCursor(QTextCursor::End);
        const double select = b.timed([&] { pressReturn(*form.queryBox()); });
        b.report("select from Enter", select, b.alone(statement), b.caption());
        if (first.isEmpty()) throw std::runtime_error("header sort showed no name");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench-grid: %s\n", e.what());
        return 1;
    }
    if (!dialogs.violations().isEmpty()) {
        std::fprintf(stderr, "bench-grid: %s\n", qPrintable(dialogs.violations().join(QStringLiteral("; "))));
        return 1;
    }
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    return 0;
}
