// Helpers of the engine tests: tables written for a test, results as text, errors caught, dbfread's
// reading of a table.
#pragma once

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "support/InteropDump.h"
#include "support/Outside.h"
#include "support/TempDir.h"
#include "xbase/Table.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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

// The engine error an action raises; number -1 when it raised none, -2 for an exception of another kind.
inline engine::Error errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const engine::Error& e) {
        return e;
    } catch (const std::exception& e) {
        return engine::Error(-2, std::string("not an engine error: ") + e.what());
    }
    return engine::Error(-1, "(no error)");
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A table written through the file layer, independent of the engine under test.
inline void writeTable(const std::filesystem::path& path, const std::vector<xbase::FieldSpec>& fields,
                       const std::vector<std::vector<engine::Value>>& rows,
                       const std::string& codePage = "CP1252") {
    auto table = xbase::Table::create(path, fields, codePage);
    for (const auto& row : rows) {
        auto record = table->blankRecord();
        for (std::size_t i = 0; i < row.size(); ++i)
            table->encode(record, i, row[i]);
        table->appendRecord(record);
    }
    table->sync();
}

// ---- dbfread's reading, in the canonical form of tests/interop/canon.py ----

using testsupport::Cell;
using testsupport::Dump;
using testsupport::parseDump;

// dbfread's reading of a table; a missing python3-dbfread fails the test with the package name.
inline Dump dbfread(const std::filesystem::path& table, const std::string& encoding = "cp1252") {
    const auto r = testsupport::runPython("dbfread_dump.py", {table.string(), encoding});
    if (r.exitCode != 0)
        throw std::runtime_error("dbfread_dump.py failed (" + std::to_string(r.exitCode) + "): " + r.err);
    return parseDump(r.out);
}

// A dump's records as "kind:text" cells, for comparisons with readable failures.
inline Rows cells(const Dump& d) {
    Rows rows;
    for (const auto& record : d.records) {
        std::vector<std::string> row;
        for (const auto& c : record)
            row.push_back(c.kind + ":" + c.text);
        rows.push_back(row);
    }
    return rows;
}

// Every file of a folder with its bytes, to prove that nothing changed.
inline std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            files.emplace_back(entry.path().filename().string(), testsupport::readFile(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// The names of the files of a folder that differ between two snapshots (a readable failure, not megabytes).
inline std::string changedFiles(const std::vector<std::pair<std::string, std::string>>& before,
                                const std::vector<std::pair<std::string, std::string>>& after) {
    std::string out;
    for (const auto& file : after) {
        const std::string& name = file.first;
        const std::string& bytes = file.second;
        auto it = std::find_if(before.begin(), before.end(), [&](const auto& f) { return f.first == name; });
        if (it == before.end())
            out += name + " (new) ";
        else if (it->second != bytes)
            out += name + " (changed) ";
    }
    for (const auto& file : before)
        if (std::none_of(after.begin(), after.end(), [&](const auto& f) { return f.first == file.first; }))
            out += file.first + " (gone) ";
    return out;
}

// Runs statements on a folder in a child process and returns its pid. The child's exit code is 0 when
// all ran, 1 after a "locked" error, 2 after any other.
inline pid_t runInChild(const std::filesystem::path& folder, std::vector<std::string> statements,
                        std::chrono::milliseconds lockWait = std::chrono::seconds(20)) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            engine::Database db(folder, {.lockWait = lockWait});
            for (const auto& statement : statements)
                db.execute(statement);
        } catch (const engine::Error& e) {
            code = e.number() == engine::CouldNotUpdateLocked ? 1 : 2;
            if (code == 2) std::fprintf(stderr, "child: %s\n", e.what());
        } catch (...) {
            code = 2;
        }
        ::_exit(code);
    }
    return pid;
}

// Waits for a child; its exit code, or 100 + the signal that ended it.
inline int exitCode(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

} // namespace enginetest
