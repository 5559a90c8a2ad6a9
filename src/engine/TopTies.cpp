// TOP n with its ties: rows after the n-th are kept while their sort keys equal the n-th's.
#include "engine/TopTies.h"

#include "engine/Collation.h"

#include <cstring>
#include <string_view>

namespace engine {

namespace {

// Ties are looked for this many rows beyond the n-th before the select is run again with more.
constexpr std::int64_t kMargin = 64;

std::string_view textOf(sqlite3_value* v) {
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return {data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

// Equal as ORDER BY sorts them: Nulls together, numbers by value, text without regard to case (the
// keys carry the text collation), bytes exactly.
bool sortEqual(sqlite3_value* a, sqlite3_value* b) {
    const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    const bool numberA = ta == SQLITE_INTEGER || ta == SQLITE_FLOAT,
               numberB = tb == SQLITE_INTEGER || tb == SQLITE_FLOAT;
    if (numberA && numberB) {
        if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER)
            return sqlite3_value_int64(a) == sqlite3_value_int64(b);
        return sqlite3_value_double(a) == sqlite3_value_double(b);
    }
    if (ta != tb) return false;
    switch (ta) {
    case SQLITE_NULL:
        return true;
    case SQLITE_TEXT:
        return compareText(textOf(a), textOf(b)) == 0;
    default: {
        const int n = sqlite3_value_bytes(a);
        return n == sqlite3_value_bytes(b) &&
               (n == 0 || std::memcmp(sqlite3_value_blob(a), sqlite3_value_blob(b), std::size_t(n)) == 0);
    }
    }
}

} // namespace

TopTies::TopTies(const Translation& st) : m_sql(st.sql) {
    if (st.tiesSql.empty() || st.top <= 0) return;
    m_top = st.top;
    m_keys = st.tieKeys;
    m_base = st.tiesSql;
    m_limit = m_top + kMargin;
    m_sql = m_base + " LIMIT " + std::to_string(m_limit);
}

TopTies::~TopTies() {
    forget();
}

void TopTies::forget() {
    for (sqlite3_value* v : m_last)
        sqlite3_value_free(v);
    m_last.clear();
}

bool TopTies::keep(sqlite3_stmt* s, std::int64_t index) {
    if (!active() || index < m_top - 1) return true;
    const int first = sqlite3_column_count(s) - m_keys;
    if (index == m_top - 1) {
        forget();
        for (int k = 0; k < m_keys; ++k)
            m_last.push_back(sqlite3_value_dup(sqlite3_column_value(s, first + k)));
        return true;
    }
    for (int k = 0; k < m_keys; ++k) {
        sqlite3_value* key = m_last[static_cast<std::size_t>(k)];
        if (!key || !sortEqual(key, sqlite3_column_value(s, first + k))) return false;
    }
    return true;
}

bool TopTies::retry(std::int64_t read) {
    if (!active() || read < m_limit) return false;
    m_limit = m_top + 4 * (m_limit - m_top);
    m_sql = m_base + " LIMIT " + std::to_string(m_limit);
    forget();
    return true;
}

} // namespace engine
