// SELECT of the dialect: TOP, DISTINCTROW, INTO, FROM with nested joins and subqueries, UNION, ORDER BY.
#include "engine/Collation.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"

#include <cstdlib>

namespace engine::sql {

namespace {

const char* const kSelectError = "The SELECT statement includes a reserved word or an argument name that is "
                                 "misspelled or missing, or the punctuation is incorrect.";

ComputedKind computedKind(const Expr& e) {
    if (e.truth != Truth::None) return ComputedKind::Number;
    switch (e.type) {
    case ValueType::Number:
        return ComputedKind::Number;
    case ValueType::Text:
        return ComputedKind::Text;
    case ValueType::Date:
        return ComputedKind::Date;
    case ValueType::Unknown:
    case ValueType::Null:
        break;
    }
    return ComputedKind::Unknown;
}

} // namespace

struct Parser::SelectCore {
    std::string list;     // the select list as SQLite text
    std::string body;     // " FROM ... WHERE ... GROUP BY ... HAVING ..."
    std::string distinct; // "" or "DISTINCT "
    bool distinctRow = false;
    int sources = 0;           // tables and subqueries in FROM, joined ones included
    std::size_t fromWhere = 0; // body's length up to GROUP BY
    std::string top;           // TOP n as written, or empty
    bool percent = false;

    std::string text() const { return "SELECT " + distinct + list + body; }
    // LIMIT for TOP: n rows, or n percent of the rows rounded up.
    std::string limit() const {
        if (top.empty()) return "";
        if (!percent) return " LIMIT " + top;
        // n% of count, rounded up, in integers: with n = digits / 10^k, ceil(count * digits / (100 * 10^k)).
        std::string digits;
        std::string denominator = "100";
        const std::size_t point = top.find('.');
        if (point == std::string::npos) {
            digits = top;
        } else {
            // Six decimals are plenty and keep the product within 64-bit integers.
            const std::string fraction = top.substr(point + 1, 6);
            digits = top.substr(0, point) + fraction;
            denominator += std::string(fraction.size(), '0');
        }
        return " LIMIT (SELECT (COUNT(*) * " + digits + " + " + denominator + " - 1) / " + denominator +
               " FROM (" + text() + "))";
    }
};

std::string Parser::selectStatement(std::string* into) {
    const Nesting nesting(*this);
    ++m_selects;
    struct Leave {
        int& selects;
        ~Leave() { --selects; }
    } leave{m_selects};
    std::vector<SelectCore> cores;
    std::vector<std::string> operators;
    cores.push_back(selectCore(into));
    while (acceptWord("union")) {
        operators.push_back(acceptWord("all") ? " UNION ALL " : " UNION ");
        cores.push_back(selectCore(nullptr));
    }
    std::vector<std::string> keys;
    bool byPosition = false;
    const std::string order = atWord("order") ? orderByClause(&keys, &byPosition) : "";
    if (cores.size() == 1) {
        const SelectCore& core = cores[0];
        // TOP n keeps the rows that tie with the n-th; the readers tell them by the keys put last.
        if (m_selects == 1 && !core.top.empty() && !core.percent && !keys.empty() && !byPosition &&
            core.distinct.empty()) {
            m_statement.top = std::strtoll(core.top.c_str(), nullptr, 10);
            m_statement.tieKeys = static_cast<int>(keys.size());
            std::string hidden;
            for (std::size_t i = 0; i < keys.size(); ++i)
                hidden += ", " + keys[i] + " AS " + quoteIdentifier("__tie" + std::to_string(i + 1));
            m_statement.tiesSql = "SELECT " + core.list + hidden + core.body + order;
        }
        return core.text() + order + core.limit();
    }

    // TOP in a member of a union limits that member only; SQLite's LIMIT would apply to the whole.
    std::string sql;
    for (std::size_t i = 0; i < cores.size(); ++i) {
        if (i > 0) sql += operators[i - 1];
        const SelectCore& core = cores[i];
        sql += core.top.empty() ? core.text() : "SELECT * FROM (" + core.text() + core.limit() + ")";
    }
    return sql + order;
}

Parser::SelectCore Parser::selectCore(std::string* into) {
    if (!acceptWord("select")) fail(SyntaxErrorInSelect, kSelectError);
    SelectCore core;
    if (acceptWord("distinct"))
        core.distinct = "DISTINCT ";
    else if (acceptWord("distinctrow"))
        core.distinctRow = true;
    else
        acceptWord("all");
    if (acceptWord("top")) {
        const Token& n = next();
        core.percent = acceptWord("percent");
        const bool whole = n.text.find_first_not_of("0123456789") == std::string::npos;
        const bool decimal = n.text.find_first_not_of("0123456789.") == std::string::npos;
        if (n.kind != TokenKind::Number || !(whole || (core.percent && decimal)) ||
            (core.percent && std::strtod(n.text.c_str(), nullptr) > 100))
            fail(SyntaxErrorInSelect, "TOP needs a whole number of rows, or a percentage from 0 to 100: '" +
                                          sourceText(m_pos - (core.percent ? 2 : 1), m_pos) + "'.");
        core.top = n.text;
    }
    core.list = selectList();

    if (acceptWord("into")) {
        if (!into) fail(SyntaxErrorInSelect, "SELECT ... INTO is allowed only as a statement of its own.");
        *into = tableName(SyntaxErrorInSelect, kSelectError);
        tableReference(*into);
        if (atWord("in")) notSupported("SELECT ... INTO ... IN (a table of an external database)");
    }
    if (acceptWord("from")) {
        core.body = " FROM " + fromClause(core.sources);
        if (!atEnd() && !atSymbol(")") && !atWord("where") && !atWord("group") && !atWord("having") &&
            !atWord("order") && !atWord("union") && !(m_crosstab && atWord("pivot")))
            fail(SyntaxErrorInFrom, "Syntax error in FROM clause.");
    }
    auto checkClauseEnd = [this]() {
        if (!atEnd() && !atSymbol(")") && !atWord("group") && !atWord("having") && !atWord("order") &&
            !atWord("union") && !(m_crosstab && atWord("pivot")))
            missingOperator();
    };
    if (acceptWord("where")) {
        core.body += " WHERE " + clauseCondition();
        checkClauseEnd();
    }
    core.fromWhere = core.body.size();
    if (acceptWord("group")) {
        if (!acceptWord("by")) fail(SyntaxErrorInSelect, kSelectError);
        core.body += " GROUP BY ";
        do {
            const Expr e = clauseExpression();
            core.body += (core.body.back() == ' ' ? "" : ", ") + collated(e);
        } while (acceptSymbol(","));
        checkClauseEnd();
    }
    if (acceptWord("having")) {
        core.body += " HAVING " + clauseCondition();
        checkClauseEnd();
    }
    // DISTINCTROW drops duplicate source records. Over one table that changes nothing; over joins
    // DISTINCT is used, which also merges different records that show the same values.
    if (core.distinctRow && core.sources > 1) core.distinct = "DISTINCT ";
    return core;
}

std::string Parser::selectList() {
    if (atEnd() || atWord("from") || atWord("into") || atSymbol(",")) fail(SyntaxErrorInSelect, kSelectError);
    std::string list;
    int unnamed = 1000; // the classic engine names unnamed expressions Expr1000, Expr1001, ...
    do {
        if (!list.empty()) {
            if (atEnd() || atWord("from") || atWord("into")) fail(SyntaxErrorInSelect, kSelectError);
            list += ", ";
        }
        if (acceptSymbol("*")) {
            list += "*";
            continue;
        }
        const bool qualifiedStar = (peek().kind == TokenKind::Word || peek().kind == TokenKind::Name) &&
                                   (atSymbol(".", 1) || atSymbol("!", 1)) && atSymbol("*", 2);
        if (qualifiedStar) {
            list += quoteIdentifier(asciiLower(stripDbf(next().text))) + ".*";
            next();
            next();
            continue;
        }
        const Expr e = clauseExpression();
        list += value(e);
        std::string name;
        if (acceptWord("as")) {
            if (peek().kind != TokenKind::Name && (peek().kind != TokenKind::Word || atReserved()))
                expressionError();
            m_statement.aliases.push_back(next().text);
            name = m_statement.aliases.back();
        } else if (!e.column) {
            name = "Expr" + std::to_string(unnamed++);
        }
        if (!name.empty()) list += " AS " + quoteIdentifier(name);
        if (m_selects == 1 && !name.empty()) m_aliasSql.emplace_back(name, collated(e));
        // The statement's own columns (the first member's, in a union) take the kind of their expression.
        if (m_selects == 1 && !e.column && !name.empty())
            m_statement.computedKinds.emplace(name, computedKind(e));
        if (!atEnd() && !atSymbol(",") && !atSymbol(")") && !atWord("from") && !atWord("into") &&
            !atWord("union") && !atWord("order") && !atWord("where"))
            missingOperator();
    } while (acceptSymbol(","));
    return list;
}

std::string Parser::fromClause(int& sources) {
    std::string sql = joinedSources(sources);
    while (acceptSymbol(","))
        sql += ", " + joinedSources(sources);
    return sql;
}

std::string Parser::joinedSources(int& sources) {
    std::string sql = tableSource(sources);
    while (true) {
        std::string join;
        if (atWord("inner") && atWord("join", 1))
            join = " INNER JOIN ";
        else if (atWord("left") || atWord("right"))
            join = atWord("left") ? " LEFT JOIN " : " RIGHT JOIN ";
        else if (atWord("join"))
            join = " INNER JOIN ";
        else
            return sql;
        if (!atWord("join")) {
            next();
            acceptWord("outer");
        }
        if (!acceptWord("join")) fail(SyntaxErrorInJoin, "Syntax error in JOIN operation.");
        const std::string right = tableSource(sources);
        if (!acceptWord("on")) fail(SyntaxErrorInJoin, "Syntax error in JOIN operation.");
        sql += join + right + " ON " + clauseCondition();
    }
}

std::string Parser::tableSource(int& sources) {
    const Nesting nesting(*this);
    if (acceptSymbol("(")) {
        std::string sql;
        if (atWord("select")) {
            const std::size_t outerClause = m_clauseStart;
            sql = "(" + selectStatement(nullptr) + ")";
            m_clauseStart = outerClause;
            if (!acceptSymbol(")")) fail(SyntaxErrorInFrom, "Syntax error in FROM clause.");
            ++sources;
            return sql + alias();
        }
        // A table or a join in parentheses: "from (orders )", "from (a inner join b on ...) inner join c".
        const int before = sources;
        sql = fromClause(sources);
        if (!acceptSymbol(")")) fail(SyntaxErrorInFrom, "Syntax error in FROM clause.");
        if (sources == before + 1) return sql + alias();
        return "(" + sql + ")";
    }
    const std::string written = tableName(SyntaxErrorInFrom, "Syntax error in FROM clause.");
    if (atWord("in")) notSupported("FROM ... IN (a table of an external database)");
    ++sources;
    return tableReference(written) + alias();
}

// An optional alias after a table or subquery, with or without AS.
std::string Parser::alias() {
    const bool as = acceptWord("as");
    const Token& t = peek();
    if (t.kind == TokenKind::Name || (t.kind == TokenKind::Word && !atReserved())) {
        next();
        m_statement.aliases.push_back(t.text);
        return " AS " + quoteIdentifier(asciiLower(t.text));
    }
    if (as) fail(SyntaxErrorInFrom, "Syntax error in FROM clause.");
    return "";
}

std::string Parser::orderByClause(std::vector<std::string>* keys, bool* byPosition) {
    next(); // ORDER
    if (!acceptWord("by")) fail(SyntaxErrorInOrderBy, "Syntax error in ORDER BY clause.");
    std::string sql = " ORDER BY ";
    do {
        if (sql.back() != ' ') sql += ", ";
        const Expr e = clauseExpression();
        sql += collated(e);
        if (keys) {
            // A key that names a column of the result by its alias sorts by that column's expression.
            std::string key = collated(e);
            for (const auto& [alias, sql] : m_aliasSql)
                if (e.column && asciiLower(e.sql) == asciiLower(quoteIdentifier(alias))) key = sql;
            keys->push_back(key);
        }
        if (byPosition && e.numberValue) *byPosition = true;
        if (acceptWord("desc"))
            sql += " DESC";
        else if (acceptWord("asc"))
            sql += " ASC";
        if (!atEnd() && !atSymbol(",") && !atSymbol(")") && !(m_crosstab && atWord("pivot")))
            missingOperator();
    } while (acceptSymbol(","));
    return sql;
}

} // namespace engine::sql

namespace engine::sql {

// TRANSFORM aggregate SELECT ... GROUP BY ... [ORDER BY ...] PIVOT expression [IN (values)] [ORDER BY ...]
Translation Parser::crosstabStatement() {
    next(); // TRANSFORM
    const char* const kCrosstabError = "Syntax error in TRANSFORM statement.";
    m_pivotFilter = true;
    const Expr aggregate = clauseExpression();
    m_pivotFilter = false;
    if (aggregate.sql.find(kPivotFilter) == std::string::npos)
        fail(SyntaxErrorInQuery,
             "TRANSFORM needs an aggregate function (Sum, Count, Avg, ...) for the values.");
    // A name for the values names nothing: the columns are named by the pivot values.
    if (acceptWord("as") &&
        (peek().kind == TokenKind::Name || (peek().kind == TokenKind::Word && !atReserved())))
        next();
    if (!atWord("select")) fail(SyntaxErrorInQuery, kCrosstabError);
    ++m_selects;
    m_crosstab = true;
    SelectCore core = selectCore(nullptr);
    --m_selects;
    if (!core.distinct.empty() || !core.top.empty()) fail(SyntaxErrorInQuery, kCrosstabError);
    Crosstab crosstab;
    if (atWord("order")) crosstab.order = orderByClause();
    m_crosstab = false;
    if (!acceptWord("pivot"))
        fail(SyntaxErrorInQuery, "TRANSFORM needs a PIVOT clause naming the column headings.");
    // The pivot expression ends before IN, which here lists the headings rather than testing a value.
    m_clauseStart = m_pos;
    crosstab.pivot = collated(concatenation());
    if (acceptWord("in")) {
        if (!acceptSymbol("(")) fail(SyntaxErrorInQuery, kCrosstabError);
        do {
            const Expr fixed = expression();
            if (!fixed.numberValue && fixed.type != ValueType::Text && !fixed.dateIso)
                fail(SyntaxErrorInQuery, "The values after PIVOT ... IN are constants.");
            crosstab.fixed.push_back(value(fixed));
        } while (acceptSymbol(","));
        if (!acceptSymbol(")")) fail(SyntaxErrorInQuery, kCrosstabError);
    }
    if (atWord("order") && crosstab.order.empty()) crosstab.order = orderByClause();
    expectEnd();
    crosstab.rows = core.list;
    crosstab.value = value(aggregate);
    crosstab.from = core.body.substr(0, core.fromWhere);
    crosstab.groups = core.body.substr(core.fromWhere);
    m_statement.kind = StatementKind::Select;
    m_statement.crosstab = std::move(crosstab);
    return m_statement;
}

} // namespace engine::sql
