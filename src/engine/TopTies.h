// TOP n with ORDER BY returns the n-th row's ties as well: the readers of a result run the select with
// its sort keys as last columns and a margin of rows, and keep rows while they tie.
#pragma once

#include "engine/Dialect.h"

#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace engine {

class TopTies {
public:
    // Inactive for a statement whose TOP keeps no ties (see Translation::tiesSql).
    explicit TopTies(const Translation& st);
    ~TopTies();
    TopTies(const TopTies&) = delete;
    TopTies& operator=(const TopTies&) = delete;

    bool active() const { return m_keys > 0; }
    // Columns of the statement that belong to the result: all but the sort keys.
    int shownColumns(int columns) const { return columns - m_keys; }
    // The select to run for the current limit: the statement itself while inactive.
    const std::string& sql() const { return m_sql; }

    // Whether row `index` (0-based) of sql() belongs to the result: the first n rows do, and those after
    // that tie with the n-th. After the first row that does not, none does.
    bool keep(sqlite3_stmt* s, std::int64_t index);
    // After reading `read` rows of sql(), all of them kept: true when the rows may have been cut short
    // while still tying, and sql() is the select with a larger limit to read again from the start.
    bool retry(std::int64_t read);

private:
    void forget();

    std::int64_t m_top = 0;
    int m_keys = 0;
    std::string m_base;
    std::int64_t m_limit = 0;
    std::string m_sql;
    std::vector<sqlite3_value*> m_last; // the sort keys of the n-th row
};

} // namespace engine
