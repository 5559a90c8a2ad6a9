// One folder opened for a run of brindle-sql: statements run on it one by one, each reporting its own
// result, warnings and failure.
#pragma once

#include "Output.h"
#include "engine/Database.h"

#include <string>

namespace brindlesql {

struct Settings {
    Format format = Format::Aligned;
    bool header = true;
};

class Session {
public:
    Session(engine::Database& db, const Settings& settings) : m_db(db), m_settings(settings) {}

    // Runs one statement as its own atomic statement: a select prints its rows in the format of the
    // settings, any other statement the number of records it changed. A failure is reported on stderr
    // as "brindle-sql: <where>error NUMBER: TEXT" (where: "FILE:LINE: " or empty) and gives false.
    bool run(const std::string& statement, const std::string& where = {});
    // Prints on stderr what was wrong with the tables opened so far (damaged, memo file missing, a
    // change undone), each once.
    void warn();

    engine::Database& database() { return m_db; }
    Settings& settings() { return m_settings; }

private:
    engine::Database& m_db;
    Settings m_settings;
};

// Prints a failure as the other messages of brindle-sql do: "brindle-sql: <where>error NUMBER: TEXT",
// or without a number for a failure that is not the engine's.
void reportFailure(const std::exception& failure, const std::string& where = {});

} // namespace brindlesql
