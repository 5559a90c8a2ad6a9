// An in-memory SQLite database set up as the engine sets up a folder, for the tests of the dialect's
// translated statements and of its function library, without any files.
#pragma once

#include <functional>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace testsupport {

class SqliteRunner {
public:
    using Rows = std::vector<std::vector<std::string>>;

    // The dialect's functions, operators and DBTEXT collation; double-quoted names are never read as
    // strings.
    SqliteRunner();
    ~SqliteRunner();
    SqliteRunner(const SqliteRunner&) = delete;
    SqliteRunner& operator=(const SqliteRunner&) = delete;

    sqlite3* handle() const { return m_db; }
    // Runs statements that must succeed; the number of rows the last one changed.
    int exec(const std::string& sql);
    // Every row of a query, values as SQLite gives them as text, Null as "NULL".
    Rows rows(const std::string& sql);
    // Every row of a query as one line, values joined by '|', Null as "<null>", reals as %.15g.
    std::vector<std::string> lines(const std::string& sql);
    // The column names of the last query.
    const std::vector<std::string>& names() const { return m_names; }
    // The first column of every row.
    std::vector<std::string> column(const std::string& sql);
    // The one value of a query; "(not one value)" otherwise.
    std::string one(const std::string& sql);
    // The message of a statement that must fail; "<no error>" when it does not.
    std::string error(const std::string& sql);

private:
    // Steps through a query, handing the statement to `row` at each row.
    void each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row);

    sqlite3* m_db = nullptr;
    std::vector<std::string> m_names;
};

} // namespace testsupport
