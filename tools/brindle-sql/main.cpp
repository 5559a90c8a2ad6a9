// brindle-sql: runs one statement of the desktop dialect on a folder of dBASE tables.
#include "Output.h"
#include "engine/Database.h"
#include "engine/Dialect.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "engine/SqlLexer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: brindle-sql [--csv] [--codepage NAME] FOLDER STATEMENT\n"
        "       brindle-sql --movelast [--codepage NAME] FOLDER TABLE-OR-SELECT\n"
        "Runs one statement on the .dbf tables of FOLDER. A select (or a table name) prints its rows,\n"
        "as aligned text or, with --csv, as CSV with a header; any other statement prints the number\n"
        "of records it changed. --movelast opens a recordset, moves to its last row and prints the count.\n"
        "--codepage reads and writes the text of every table in the code page NAME (CP852, CP1250,\n"
        "YUSCII, ...), whatever the files say.\n");
    return 2;
}

// A statement that opens rows (a select, a crosstab, also after PARAMETERS); one that does not translate
// is run, to be refused with the engine's own account.
bool isSelect(const std::string& statement) {
    try {
        return engine::translate(statement).kind == engine::StatementKind::Select;
    } catch (const engine::Error&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    bool csv = false, moveLast = false;
    engine::DatabaseOptions options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (std::strcmp(argv[i], "--csv") == 0)
            csv = true;
        else if (std::strcmp(argv[i], "--movelast") == 0)
            moveLast = true;
        else if (std::strcmp(argv[i], "--codepage") == 0 && i + 1 < argc)
            options.codePage = argv[++i];
        else
            return usage();
    }
    if (argc - i != 2) return usage();
    const std::string folder = argv[i], statement = argv[i + 1];
    std::unique_ptr<engine::Database> opened;
    // What was wrong with the tables it opened (damaged, memo file missing, a change undone).
    const auto warn = [&] {
        if (!opened) return;
        for (const auto& warning : opened->takeWarnings())
            std::fprintf(stderr, "brindle-sql: warning: %s\n", warning.c_str());
    };
    try {
        opened = std::make_unique<engine::Database>(folder, options);
        engine::Database& db = *opened;
        if (moveLast) {
            auto rs = db.openRecordset(statement);
            if (rs->fetch(0)) rs->moveLast();
            std::printf("%lld\n", static_cast<long long>(rs->recordCount()));
        } else if (isSelect(statement)) {
            auto rs = db.openRecordset(statement);
            warn();
            const auto unreadable =
                csv ? brindlesql::writeCsv(*rs, stdout) : brindlesql::writeAligned(*rs, stdout);
            for (const auto& reason : unreadable)
                std::fprintf(stderr, "brindle-sql: warning: a value cannot be read (written empty): %s\n",
                             reason.c_str());
        } else {
            const auto changed = db.execute(statement);
            std::printf("%lld record%s changed\n", static_cast<long long>(changed), changed == 1 ? "" : "s");
        }
    } catch (const engine::Error& e) {
        warn();
        std::fprintf(stderr, "brindle-sql: error %d: %s\n", e.number(), e.what());
        return 1;
    } catch (const std::exception& e) {
        warn();
        std::fprintf(stderr, "brindle-sql: %s\n", e.what());
        return 1;
    }
    warn();
    return 0;
}
