#include "support/Sqlite.h"

#include "engine/Functions.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace testsupport {

SqliteRunner::SqliteRunner() {
    EXPECT_EQ(sqlite3_open(":memory:", &m_db), SQLITE_OK);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    engine::registerDialect(m_db);
}

SqliteRunner::~SqliteRunner() {
    sqlite3_close(m_db);
}

int SqliteRunner::exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "") << "\n" << sql;
    sqlite3_free(message);
    return sqlite3_changes(m_db);
}

void SqliteRunner::each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(m_db) << "\n" << sql;
        return;
    }
    m_names.clear();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i)
        m_names.push_back(sqlite3_column_name(stmt, i));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        row(stmt);
    EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(m_db) << "\n" << sql;
    sqlite3_finalize(stmt);
}

SqliteRunner::Rows SqliteRunner::rows(const std::string& sql) {
    Rows result;
    each(sql, [&](sqlite3_stmt* stmt) {
        auto& row = result.emplace_back();
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            row.push_back(text ? text : "NULL");
        }
    });
    return result;
}

std::vector<std::string> SqliteRunner::lines(const std::string& sql) {
    std::vector<std::string> result;
    each(sql, [&](sqlite3_stmt* stmt) {
        std::string line;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (i > 0) line += '|';
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
                line += "<null>";
            } else if (sqlite3_column_type(stmt, i) == SQLITE_FLOAT) {
                char buffer[40];
                std::snprintf(buffer, sizeof buffer, "%.15g", sqlite3_column_double(stmt, i));
                line += buffer;
            } else {
                line += reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            }
        }
        result.push_back(line);
    });
    return result;
}

std::vector<std::string> SqliteRunner::column(const std::string& sql) {
    std::vector<std::string> values;
    for (const auto& row : rows(sql))
        values.push_back(row.at(0));
    return values;
}

std::string SqliteRunner::one(const std::string& sql) {
    const Rows r = rows(sql);
    return r.size() == 1 && r[0].size() == 1 ? r[0][0] : "(not one value)";
}

std::string SqliteRunner::error(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return sqlite3_errmsg(m_db);
    std::string message = "<no error>";
    while (true) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) continue;
        if (rc != SQLITE_DONE) message = sqlite3_errmsg(m_db);
        break;
    }
    sqlite3_finalize(stmt);
    return message;
}

} // namespace testsupport
