// Helpers of the engine tests: results as text, statements run by another process. They bring the
// kit of tests/support along.
#pragma once

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "support/Children.h"
#include "support/Errors.h"
#include "support/Files.h"
#include "support/Outside.h"
#include "support/Tables.h"
#include "support/TempDir.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace enginetest {

using Rows = std::vector<std::vector<std::string>>;

// One value as text: Null is "NULL", logical values True/False, dates ISO, numbers shortest decimal.
inline std::string show(const engine::Value& v) {
    if (xbase::isNull(v)) return "NULL";
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[64];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, end);
    }
    if (auto b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (auto d = std::get_if<xbase::Date>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
        return buf;
    }
    if (auto t = std::get_if<xbase::DateTime>(&v)) {
        char buf[48];
        const int s = t->msecOfDay / 1000;
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t->date.year, t->date.month,
                      t->date.day, s / 3600, s / 60 % 60, s % 60);
        return buf;
    }
    return "<bytes>";
}

// Every row of a recordset from the first, as text.
inline Rows rowsOf(engine::Recordset& rs) {
    Rows rows;
    if (rs.eof() && rs.bof()) return rows;
    try {
        rs.moveFirst();
    } catch (const engine::Error&) {
        return rows; // empty
    }
    while (!rs.eof()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < rs.fieldCount(); ++i)
            row.push_back(show(rs.value(i)));
        rows.push_back(row);
        rs.moveNext();
    }
    return rows;
}

inline Rows query(engine::Database& db, const std::string& select) {
    auto rs = db.openRecordset(select);
    return rowsOf(*rs);
}

// The values of one column of a select, in order.
inline std::vector<std::string> column(engine::Database& db, const std::string& select) {
    std::vector<std::string> out;
    for (const auto& row : query(db, select))
        out.push_back(row.at(0));
    return out;
}

inline std::string one(engine::Database& db, const std::string& select) {
    const Rows r = query(db, select);
    if (r.size() != 1 || r[0].size() != 1) return "<" + std::to_string(r.size()) + " rows>";
    return r[0][0];
}

// Runs statements on a folder in a child process and returns its pid. The child's exit code is 0 when
// all ran, 1 after a "locked" error, 2 after any other.
inline pid_t runInChild(const std::filesystem::path& folder, std::vector<std::string> statements,
                        std::chrono::milliseconds lockWait = std::chrono::seconds(20)) {
    return testsupport::forkChild([folder, statements, lockWait] {
        try {
            engine::Database db(folder, {.lockWait = lockWait});
            for (const auto& statement : statements)
                db.execute(statement);
        } catch (const engine::Error& e) {
            if (e.number() == engine::CouldNotUpdateLocked) return 1;
            std::fprintf(stderr, "child: %s\n", e.what());
            return 2;
        }
        return 0;
    });
}

} // namespace enginetest
