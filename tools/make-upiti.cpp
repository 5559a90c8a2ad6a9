// Places the empty table of saved queries (upiti.dbf with its memo file) in a program folder; an
// existing table, with the queries a user saved in it, is kept as it is.
#include "saved/TableLayout.h"
#include "xbase/Table.h"

#include <cstdio>
#include <exception>
#include <filesystem>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-upiti PROGRAM-FOLDER\n");
        return 2;
    }
    const fs::path table = fs::path(argv[1]) / "upiti.dbf";
    try {
        fs::create_directories(table.parent_path());
        if (fs::exists(table)) {
            // The build asks again whenever this tool is rebuilt; the date tells it the table is there.
            fs::last_write_time(table, fs::file_time_type::clock::now());
            return 0;
        }
        xbase::Table::create(table, saved::tableFields(), saved::tableCodePage())->sync();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-upiti: %s: %s\n", table.string().c_str(), e.what());
        return 1;
    }
    return 0;
}
