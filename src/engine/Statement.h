// A prepared SQLite statement, owned from the moment it exists: finalised when it goes, its failures
// thrown through the database's one error channel.
#pragma once

#include "engine/Values.h"

#include <cstdint>
#include <optional>
#include <string>

struct sqlite3_stmt;

namespace engine {

class Database;

class Statement {
public:
    // Prepares SQLite text; throws the engine error for text SQLite refuses.
    Statement(Database& db, const std::string& sql);
    // Prepares it, or nothing when SQLite refuses it: for a form that is only worth trying.
    static std::optional<Statement> tryPrepare(Database& db, const std::string& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // One step: true with a row to read, false at the end. Throws the engine error of a failed step.
    bool step();
    // Steps to the end; returns the number of records the statement changed.
    std::int64_t run();
    // Ready to step again from the start, with the same bindings.
    void reset();
    // Binds parameter `index` (from 1) to a value as the table layer writes it.
    void bind(int index, const Value& value);
    void bind(int index, std::int64_t value);

    sqlite3_stmt* handle() const { return m_stmt; }
    int columnCount() const;

private:
    Statement(Database& db, sqlite3_stmt* stmt) : m_db(&db), m_stmt(stmt) {}

    Database* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace engine
