// The interactive prompt of brindle-sql, on libedit's readline interface.
#include "Interactive.h"

#include "Catalog.h"
#include "Script.h"

#include <cstdio>
#include <cstdlib>
#include <editline/readline.h>
#include <memory>
#include <sstream>

namespace brindlesql {

namespace {

const char* const kHelp = ".tables           the tables of the folder\n"
                          ".schema TABLE     the CREATE TABLE statement of a table\n"
                          ".mode FORMAT      aligned, csv, tsv, json or markdown\n"
                          ".header on|off    the line of column names\n"
                          ".quit             leave (so does the end of input, Ctrl+D)\n"
                          "Statements end with ';' at the end of a line.\n";

// Runs a dot command; false for .quit.
bool dotCommand(Session& session, const std::string& line) {
    std::istringstream words(line);
    std::string command, argument, extra;
    words >> command >> argument >> extra;
    // Says how the command is written; the prompt goes on.
    auto misused = [](const char* usage) {
        std::fprintf(stderr, "brindle-sql: usage: %s\n", usage);
        return true;
    };
    if (command == ".quit" || command == ".exit") return false;
    if (command == ".help") {
        std::fputs(kHelp, stdout);
    } else if (command == ".tables") {
        listTables(session);
    } else if (command == ".schema") {
        // The rest of the line is the name: names may hold blanks.
        std::string name = line.substr(line.find(".schema") + 7);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name.empty()) return misused(".schema TABLE");
        try {
            const Schema schema = schemaOf(session.database(), name);
            std::printf("%s;\n", schema.statement.c_str());
            for (const auto& note : schema.inexact)
                std::fprintf(stderr, "brindle-sql: warning: %s\n", note.c_str());
        } catch (const std::exception& e) {
            std::fflush(stdout);
            session.warn();
            reportFailure(e);
            return true;
        }
        std::fflush(stdout);
        session.warn();
    } else if (command == ".mode") {
        const auto format = formatNamed(argument);
        if (!format || !extra.empty()) return misused(".mode aligned|csv|tsv|json|markdown");
        session.settings().format = *format;
    } else if (command == ".header") {
        if ((argument != "on" && argument != "off") || !extra.empty()) return misused(".header on|off");
        session.settings().header = argument == "on";
    } else {
        std::fprintf(stderr, "brindle-sql: unknown command %s (.help lists them)\n", command.c_str());
    }
    std::fflush(stdout);
    return true;
}

} // namespace

int runInteractive(Session& session) {
    StatementSplitter splitter;
    while (true) {
        std::unique_ptr<char, decltype(&std::free)> read(
            readline(splitter.pending() ? "   ...> " : "brindle> "), &std::free);
        if (!read) break; // end of input
        const std::string line = read.get();
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos) add_history(line.c_str());
        if (!splitter.pending() && first != std::string::npos && line[first] == '.') {
            if (!dotCommand(session, line.substr(first))) return 0;
            continue;
        }
        if (auto statement = splitter.feed(line)) session.run(statement->text);
    }
    std::fputc('\n', stdout);
    if (auto statement = splitter.finish()) session.run(statement->text);
    return 0;
}

} // namespace brindlesql
