// Crosstabs: the pivot values are read first, then each becomes a column of the grouped select.
#include "engine/Crosstab.h"

#include "engine/Database.h"
#include "engine/DialectParser.h"
#include "engine/FunctionsSupport.h"
#include "engine/Statement.h"

#include <cstdio>
#include <sqlite3.h>

namespace engine {

namespace {

struct Heading {
    std::string condition; // the pivot expression's test for this value
    std::string name;      // the column's name
};

// The value's heading: its text as a number or text shows, "<>" for Null.
Heading headingOf(const std::string& pivot, sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return {"(" + pivot + ") IS NULL", "<>"};
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        functions::Number n;
        n.isInteger = sqlite3_value_type(v) == SQLITE_INTEGER;
        n.integer = sqlite3_value_int64(v);
        n.real = sqlite3_value_double(v);
        char exact[32];
        std::snprintf(exact, sizeof exact, "%.17g", n.real);
        return {"(" + pivot + ") = " + (n.isInteger ? std::to_string(n.integer) : std::string(exact)),
                functions::numberText(n)};
    }
    default: {
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(v));
        const std::string text(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
        return {"(" + pivot + ") = " + sql::quoteString(text), text};
    }
    }
}

std::string replaceAll(std::string text, std::string_view what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

} // namespace

std::string composeCrosstab(Database& db, const Crosstab& crosstab) {
    std::vector<Heading> headings;
    // The headings: the listed values in their order, else every value the rows have, sorted.
    std::string values;
    for (const auto& fixed : crosstab.fixed)
        values += (values.empty() ? "SELECT " : " UNION ALL SELECT ") + fixed;
    if (values.empty())
        values = "SELECT DISTINCT " + crosstab.pivot + " AS v" + crosstab.from + " ORDER BY 1";
    Statement select(db, values);
    while (select.step())
        headings.push_back(headingOf(crosstab.pivot, sqlite3_column_value(select.handle(), 0)));
    std::string sql = "SELECT " + crosstab.rows;
    const std::string filter(kPivotFilter);
    for (const Heading& h : headings) {
        const std::string column = replaceAll(crosstab.value, filter, " FILTER (WHERE " + h.condition + ")");
        sql += ", " + column + " AS " + sql::quoteIdentifier(h.name);
    }
    return sql + crosstab.from + crosstab.groups + crosstab.order;
}

} // namespace engine
