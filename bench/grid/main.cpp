// bench-grid: the time from opening a table or a select to the grid showing its first rows and the complete
// count, and the process's peak memory. Run on the table of bench/make_orders.py (see bench/README.md).
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdio>
#include <sys/resource.h>

#include "datagrid/DataSource.h"
#include "datagrid/ResultGrid.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

namespace {

// Opens the source as the main window does (refresh, then MoveLast and MoveFirst when not empty), waits
// for the grid to paint, and prints the seconds it took.
double openAndShow(datagrid::DataSource& data, datagrid::ResultGrid& grid, const QString& folder,
                   const QString& source, long long& count) {
    QElapsedTimer timer;
    timer.start();
    data.setDatabaseName(folder);
    data.setRecordSource(source);
    data.refresh();
    if (data.recordset()->fetch(0)) {
        data.moveLast();
        data.moveFirst();
    }
    count = data.recordset()->recordCount();
    grid.repaint(); // the first rows are read and drawn here
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-grid FOLDER TABLE-FILE SELECT\n");
        return 2;
    }
    QApplication app(argc, argv);
    datagrid::DataSource data;
    datagrid::ResultGrid grid(&data);
    grid.resize(1000, 600);
    grid.show();
    QApplication::processEvents();
    try {
        long long count = 0;
        const double open = openAndShow(data, grid, argv[1], argv[2], count);
        std::printf("open %s: %.3f s, %lld records\n", argv[2], open, count);
        const double select = openAndShow(data, grid, argv[1], argv[3], count);
        std::printf("select: %.3f s, %lld rows\n", select, count);
    } catch (const engine::Error& e) {
        std::fprintf(stderr, "bench-grid: %s\n", e.what());
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
