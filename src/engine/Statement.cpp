// Prepared statements that finalise themselves and report through the database.
#include "engine/Statement.h"

#include "engine/Database.h"

#include <sqlite3.h>
#include <utility>

namespace engine {

Statement::Statement(Database& db, const std::string& sql) : m_db(&db) {
    const int rc =
        sqlite3_prepare_v2(db.connection(), sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.raise(rc);
    }
}

std::optional<Statement> Statement::tryPrepare(Database& db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.connection(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        return std::nullopt;
    }
    return Statement(db, stmt);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_db->raise(rc);
}

std::int64_t Statement::run() {
    while (step()) {
    }
    return sqlite3_changes64(m_db->connection());
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
}

void Statement::bind(int index, const Value& value) {
    bindValue(m_stmt, index, value);
}

void Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

} // namespace engine
