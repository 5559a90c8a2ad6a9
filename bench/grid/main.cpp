// bench-grid: the main window over a big table. Times the Enter key in the file list to the grid showing
// the table's first rows and its complete count, the Enter key in the query box to the grid showing a
// select's result and count, and (given brindle-sql) the same select written out by brindle-sql; prints
// the process's peak memory. Run on the table of bench/make_orders.py (see bench/README.md).
#include "app/Form1.h"
#include "app/QueryBox.h"
#include "browser/FileList.h"
#include "datagrid/DataSource.h"
#include "datagrid/ResultGrid.h"
#include "platform/ProgramFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedTextEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Presses Return in the widget and waits until the grid has painted what it shows. Returns seconds.
double enterAndShow(QWidget& widget, datagrid::ResultGrid& grid) {
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&widget, &release);
    grid.viewport()->repaint(); // the first rows are read and drawn here
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

// Runs brindle-sql --csv on the statement, its output thrown away. Returns seconds, or -1 on failure.
double brindleSql(const QString& program, const QString& folder, const QString& statement) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, {QStringLiteral("--csv"), folder, statement});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) return -1;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: bench-grid FOLDER TABLE-FILE SELECT [BRINDLE-SQL]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString statement = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir programFolder;
    // Any dialog (a failure report) ends the run: the script expects none.
    testsupport::ScriptedDialogs dialogs;
    testsupport::ScriptedTextEditor editor;
    app::Form1 form(dialogs, editor, platform::ProgramFolder(programFolder.path()));
    form.start(folder + QLatin1Char('/') + QString::fromLocal8Bit(argv[2]));
    form.show();
    QApplication::processEvents();
    auto* file1 = form.findChild<browser::FileList*>(QStringLiteral("File1"));
    datagrid::ResultGrid& grid = *form.grid();
    try {
        const double open = enterAndShow(*file1, grid);
        std::printf("open %s: %.3f s, Data1 shows %s\n", argv[2], open,
                    qPrintable(form.dataSource()->caption()));
        form.queryBox()->setPlainText(statement);
        form.queryBox()->moveCursor(QTextCursor::End);
        const double select = enterAndShow(*form.queryBox(), grid);
        std::printf("select from Enter: %.3f s, Data1 shows %s\n", select,
                    qPrintable(form.dataSource()->caption()));
        if (argc == 5) {
            const double alone = brindleSql(QString::fromLocal8Bit(argv[4]), folder, statement);
            if (alone < 0) {
                std::fprintf(stderr, "bench-grid: brindle-sql failed\n");
                return 1;
            }
            std::printf("brindle-sql --csv: %.3f s (window / brindle-sql = %.2f)\n", alone, select / alone);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench-grid: %s\n", e.what());
        return 1;
    }
    if (!dialogs.violations().isEmpty()) {
        std::fprintf(stderr, "bench-grid: %s\n", qPrintable(dialogs.violations().join(QStringLiteral("; "))));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
