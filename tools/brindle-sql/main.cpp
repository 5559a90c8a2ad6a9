// brindle-sql: runs statements of the desktop dialect on a folder of dBASE tables, from the command line,
// a script or a prompt.
#include "Catalog.h"
#include "Interactive.h"
#include "Output.h"
#include "Script.h"
#include "Session.h"
#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "usage: brindle-sql [OPTIONS] FOLDER STATEMENT     run one statement\n"
    "       brindle-sql [OPTIONS] -f FILE FOLDER       run the statements of FILE (- for standard input)\n"
    "       brindle-sql [OPTIONS] FOLDER               run standard input's, or prompt at a terminal\n"
    "       brindle-sql [OPTIONS] --tables FOLDER      list the tables\n"
    "       brindle-sql [OPTIONS] --schema TABLE FOLDER  print a table's CREATE TABLE statement\n"
    "       brindle-sql --movelast [--codepage NAME] FOLDER TABLE-OR-SELECT\n"
    "Runs statements on the .dbf tables of FOLDER. A select (or a table name) prints its rows; any other\n"
    "statement prints the number of records it changed. In a script a statement ends with a ';' that is\n"
    "the last character of a line and not inside '...', \"...\" or [...]; each statement applies wholly or\n"
    "not at all, and the first that fails stops the script.\n"
    "Options:\n"
    "  --csv             CSV with CR LF line ends; Null is an empty field\n"
    "  --tsv             tab-separated; tab, line breaks, NUL and backslash in a value are written\n"
    "                    \\t \\n \\r \\0 \\\\; Null is an empty field\n"
    "  --json            JSON Lines: an object per row keyed by column name; numbers, true/false, null;\n"
    "                    dates \"YYYY-MM-DD\"; bytes as hex text\n"
    "  --markdown        a GitHub Markdown table; | and \\ escaped with \\, line breaks as <br>\n"
    "                    (the default is aligned text; Null is written Null there and in Markdown)\n"
    "  --header, --no-header   with or without the line of column names (default: with; JSON has none)\n"
    "  -f FILE           the statements of FILE; - reads standard input\n"
    "  --keep-going      after a failure, report it and run the rest of the script\n"
    "  --tables          list the tables: name, records (not deleted), version, code page, memo file\n"
    "  --schema TABLE    print the table's fields as a CREATE TABLE statement that makes an equal table\n"
    "  --codepage NAME   read and write the text of every table in the code page NAME (CP852, CP1250,\n"
    "                    YUSCII, ...), whatever the files say\n"
    "  --movelast        open a recordset, move to its last row and print the count\n"
    "  -h, --help        print this text\n"
    "At a terminal without a statement, brindle-sql prompts; statements end with ';', and .tables,\n"
    ".schema TABLE, .mode FORMAT, .header on|off, .help and .quit are commands there.\n"
    "Errors go to standard error as \"brindle-sql: error NUMBER: TEXT\" (in a script: \"brindle-sql:\n"
    "FILE:LINE: error NUMBER: TEXT\", LINE where the statement starts).\n"
    "Exit codes: 0 success; 1 a statement failed (or the folder or a listed table could not be opened);\n"
    "2 wrong usage; 3 --schema printed a statement that does not make every field as the table has it\n"
    "(each such field is named on standard error).\n";

int usage(bool asked) {
    std::fputs(kUsage, asked ? stdout : stderr);
    return asked ? 0 : 2;
}

struct Options {
    brindlesql::Settings settings;
    engine::DatabaseOptions database;
    bool moveLast = false, keepGoing = false, tables = false, help = false;
    std::optional<std::string> script;      // -f
    std::optional<std::string> schemaTable; // --schema
    std::vector<std::string> operands;      // FOLDER [STATEMENT]
};

// Nullopt on a wrong usage.
std::optional<Options> parse(int argc, char** argv) {
    Options o;
    int i = 1;
    auto value = [&](auto& target) {
        if (i + 1 >= argc) return false;
        target = argv[++i];
        return true;
    };
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (auto format = arg.starts_with("--") ? brindlesql::formatNamed(arg.substr(2)) : std::nullopt)
            o.settings.format = *format;
        else if (arg == "--header" || arg == "--no-header")
            o.settings.header = arg == "--header";
        else if (arg == "--movelast")
            o.moveLast = true;
        else if (arg == "--keep-going")
            o.keepGoing = true;
        else if (arg == "--tables")
            o.tables = true;
        else if (arg == "-h" || arg == "--help")
            o.help = true;
        else if (arg == "--codepage" && value(o.database.codePage)) {
        } else if (arg == "-f" && value(o.script)) {
        } else if (arg == "--schema" && value(o.schemaTable)) {
        } else
            return std::nullopt;
    }
    o.operands.assign(argv + i, argv + argc);
    if (o.help) return o;
    // One kind of run at a time, with the operands it takes.
    const int kinds = o.moveLast + o.tables + o.schemaTable.has_value() + o.script.has_value();
    const std::size_t wanted = o.moveLast ? 2 : kinds ? 1 : o.operands.size() == 2 ? 2 : 1;
    if (kinds > 1 || o.operands.size() != wanted || (o.keepGoing && wanted == 2)) return std::nullopt;
    return o;
}

// Runs a script statement by statement; `name` is how failures name it. 0, or 1 when one failed.
int runScript(brindlesql::Session& session, std::istream& in, const std::string& name, bool keepGoing) {
    brindlesql::StatementSplitter splitter;
    bool failed = false;
    auto run = [&](const brindlesql::ScriptStatement& st) {
        if (session.run(st.text, name + ":" + std::to_string(st.line) + ": ")) return true;
        failed = true;
        return keepGoing;
    };
    std::string line;
    while (std::getline(in, line))
        if (auto statement = splitter.feed(line); statement && !run(*statement)) return 1;
    if (in.bad()) {
        std::fprintf(stderr, "brindle-sql: %s: cannot be read\n", name.c_str());
        return 1;
    }
    if (auto statement = splitter.finish()) run(*statement);
    return failed ? 1 : 0;
}

int runSchema(engine::Database& db, const std::string& table) {
    const brindlesql::Schema schema = brindlesql::schemaOf(db, table);
    std::printf("%s;\n", schema.statement.c_str());
    for (const auto& note : schema.inexact)
        std::fprintf(stderr, "brindle-sql: warning: %s\n", note.c_str());
    return schema.inexact.empty() ? 0 : 3;
}

int runMoveLast(engine::Database& db, const std::string& source) {
    auto rs = db.openRecordset(source);
    if (rs->fetch(0)) rs->moveLast();
    std::printf("%lld\n", static_cast<long long>(rs->recordCount()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options) return usage(false);
    if (options->help) return usage(true);
    const Options& o = *options;

    std::ifstream file;
    if (o.script && *o.script != "-") {
        file.open(*o.script, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "brindle-sql: %s: %s\n", o.script->c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::unique_ptr<engine::Database> db;
    std::unique_ptr<brindlesql::Session> session;
    try {
        db = std::make_unique<engine::Database>(o.operands[0], o.database);
        session = std::make_unique<brindlesql::Session>(*db, o.settings);
        if (o.moveLast) {
            const int code = runMoveLast(*db, o.operands[1]);
            session->warn();
            return code;
        }
        if (o.schemaTable) {
            const int code = runSchema(*db, *o.schemaTable);
            session->warn();
            return code;
        }
    } catch (const std::exception& e) {
        if (session) session->warn();
        brindlesql::reportFailure(e);
        return 1;
    }
    if (o.tables) return brindlesql::listTables(*session) ? 0 : 1;
    if (o.operands.size() == 2) return session->run(o.operands[1]) ? 0 : 1;
    if (o.script && *o.script != "-") return runScript(*session, file, *o.script, o.keepGoing);
    if (!o.script && isatty(STDIN_FILENO)) return brindlesql::runInteractive(*session);
    return runScript(*session, std::cin, "stdin", o.keepGoing);
}
