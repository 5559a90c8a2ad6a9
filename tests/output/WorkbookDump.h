// A workbook as openpyxl reads it (tests/interop/xlsx_dump.py), for the spreadsheet tests.
#pragma once

#include "support/InteropDump.h"
#include "support/Outside.h"

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace outputtest {

struct WorkbookDump {
    std::string sheet;
    int rows = 0;
    int columns = 0;
    // "A1" -> "kind|value|number format|bold or plain", e.g. "int|40|General|plain".
    std::map<std::string, std::string> cells;
    // Column letter -> width, for the columns given a width of their own.
    std::map<std::string, double> widths;
    int exitCode = -1;
    std::string error;
};

inline WorkbookDump readWorkbook(const std::filesystem::path& book) {
    const testsupport::RunResult run = testsupport::runPython("xlsx_dump.py", {book.string()});
    WorkbookDump dump;
    dump.exitCode = run.exitCode;
    dump.error = run.err;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> p = testsupport::splitTabs(line);
        if (p[0] == "sheet" && p.size() == 4) {
            dump.sheet = p[1];
            dump.rows = std::stoi(p[2]);
            dump.columns = std::stoi(p[3]);
        } else if (p[0] == "cell" && p.size() == 6) {
            dump.cells[p[1]] = p[2] + "|" + p[3] + "|" + p[4] + "|" + p[5];
        } else if (p[0] == "width" && p.size() == 3) {
            dump.widths[p[1]] = std::stod(p[2]);
        }
    }
    return dump;
}

} // namespace outputtest
