// translate(): the statements of the dialect (SELECT, INSERT, UPDATE, DELETE and the DDL) for SQLite.
#include "engine/Dialect.h"

#include "engine/DialectParser.h"
#include "engine/Error.h"

#include <algorithm>

namespace engine {

Translation translate(std::string_view classicSql, const FieldKindOf& kindOf) {
    return sql::Parser(classicSql, kindOf).parse();
}

namespace sql {

namespace {

// Words that end or join clauses and so cannot stand unbracketed as a field, table or alias.
const char* const kReserved[] = {
    "select", "from",    "where", "group", "by",    "having",   "order",       "union",  "into",
    "and",    "or",      "not",   "xor",   "eqv",   "imp",      "mod",         "like",   "is",
    "in",     "between", "null",  "true",  "false", "as",       "on",          "join",   "inner",
    "left",   "right",   "outer", "full",  "cross", "distinct", "distinctrow", "top",    "asc",
    "desc",   "exists",  "all",   "any",   "some",  "values",   "set",         "insert", "update",
    "delete", "create",  "alter", "drop",  "table", "percent",  "transform",   "pivot",
};

const char* const kInsertError = "Syntax error in INSERT INTO statement.";
const char* const kUpdateError = "Syntax error in UPDATE statement.";

} // namespace

Parser::Parser(std::string_view statement, FieldKindOf kindOf)
    : m_text(statement), m_tokens(tokenize(statement)), m_kindOf(std::move(kindOf)) {}

// Reaching text the lexer could not read reports it.
const Token& Parser::peek(std::size_t ahead) const {
    const Token& t = m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)];
    if (t.kind == TokenKind::Error) throw Error(t.error, t.text);
    return t;
}

const Token& Parser::next() {
    const Token& t = peek();
    if (m_pos + 1 < m_tokens.size()) ++m_pos;
    return t;
}

bool Parser::acceptWord(std::string_view keyword) {
    if (!atWord(keyword)) return false;
    next();
    return true;
}

bool Parser::acceptSymbol(std::string_view s) {
    if (!atSymbol(s)) return false;
    next();
    return true;
}

bool Parser::atReserved(std::size_t ahead) const {
    const Token& t = peek(ahead);
    if (t.kind != TokenKind::Word) return false;
    return std::any_of(std::begin(kReserved), std::end(kReserved),
                       [&](const char* w) { return t.isWord(w); });
}

std::string Parser::sourceText(std::size_t fromToken, std::size_t toToken) const {
    if (toToken <= fromToken) return "";
    const std::size_t begin = m_tokens[fromToken].begin;
    return m_text.substr(begin, m_tokens[toToken - 1].end - begin);
}

Parser::Nesting::Nesting(Parser& parser) : m_parser(parser) {
    if (++m_parser.m_depth > 100) {
        --m_parser.m_depth;
        throw Error(QueryTooComplex, "Query is too complex: it nests more than 100 levels deep.");
    }
}

void Parser::fail(int number, const std::string& description) const {
    throw Error(number, description);
}

void Parser::notSupported(const std::string& construct) const {
    throw Error(NotSupported, construct + " is not supported.");
}

// Quotes the expression being parsed as far as its clause goes: to the next comma, closing
// parenthesis or clause word at its own level.
void Parser::expressionError(const std::string& what) const {
    std::size_t end = m_clauseStart;
    int depth = 0;
    for (std::size_t i = m_clauseStart; i < m_tokens.size(); ++i) {
        const Token& t = m_tokens[i];
        if (t.kind == TokenKind::End || t.kind == TokenKind::Error || t.isSymbol(";")) break;
        if (t.isSymbol("(")) {
            ++depth;
        } else if (t.isSymbol(")")) {
            if (depth-- == 0) break;
        } else if (depth == 0 && i > m_clauseStart &&
                   (t.isSymbol(",") || t.isWord("from") || t.isWord("where") || t.isWord("group") ||
                    t.isWord("having") || t.isWord("order") || t.isWord("union") || t.isWord("into") ||
                    t.isWord("inner") || t.isWord("on") || t.isWord("join") ||
                    ((t.isWord("left") || t.isWord("right")) && !m_tokens[i + 1].isSymbol("(")))) {
            break;
        }
        end = i + 1;
    }
    if (end <= m_clauseStart) {
        if (m_clauseStart > 0 && m_tokens[m_clauseStart].kind == TokenKind::End)
            fail(SyntaxErrorInExpression, what + " in query expression: an expression is missing after '" +
                                              m_tokens[m_clauseStart - 1].text + "'.");
        end = std::min(m_pos + 1, m_tokens.size() - 1);
    }
    fail(SyntaxErrorInExpression, what + " in query expression '" + sourceText(m_clauseStart, end) + "'.");
}

std::string Parser::tableReference(const std::string& written) {
    const std::string key = asciiLower(written);
    auto& tables = m_statement.tables;
    if (std::none_of(tables.begin(), tables.end(),
                     [&](const std::string& t) { return asciiLower(t) == key; }))
        tables.push_back(written);
    return quoteIdentifier(key);
}

// A table name: a word or [name], as a file name too (ORDERS.DBF, [sales 2024.dbf]).
std::string Parser::tableName(int errorNumber, const std::string& description) {
    const Token& t = peek();
    if (t.kind != TokenKind::Name && (t.kind != TokenKind::Word || atReserved()))
        fail(errorNumber, description);
    next();
    std::string name = stripDbf(t.text);
    if (atSymbol(".") && atWord("dbf", 1)) {
        next();
        next();
    }
    if (name.empty()) fail(errorNumber, description);
    return name;
}

// A field name, optionally qualified by its table (the qualifier is dropped).
std::string Parser::fieldName(int errorNumber, const std::string& description) {
    auto one = [&]() {
        const Token& t = peek();
        if (t.kind != TokenKind::Name && (t.kind != TokenKind::Word || atReserved()))
            fail(errorNumber, description);
        return next().text;
    };
    std::string name = one();
    if (acceptSymbol(".") || acceptSymbol("!")) name = one();
    return name;
}

void Parser::expectEnd() {
    acceptSymbol(";");
    if (peek().kind != TokenKind::End)
        fail(CharactersAfterEnd, "Characters found after end of SQL statement.");
}

Translation Parser::parse() {
    // PARAMETERS name type, ...; declares the parameters of the statement that follows. The program asks
    // for its own ~name~ parameters, so the declarations are read and set aside.
    if (acceptWord("parameters")) {
        while (peek().kind != TokenKind::End && !atSymbol(";"))
            next();
        if (!acceptSymbol(";") || peek().kind == TokenKind::End)
            fail(SyntaxErrorInQuery, "Syntax error in PARAMETERS clause: the declarations end with ';' "
                                     "and a statement follows.");
    }
    if (atSymbol("(") && atWord("select", 1)) { // a select in parentheses
        next();
        m_statement.sql = selectStatement(nullptr);
        if (!acceptSymbol(")")) fail(SyntaxErrorInSelect, "Missing ) after the parenthesised SELECT.");
        expectEnd();
        return m_statement;
    }
    if (atWord("select")) {
        std::string into;
        m_statement.sql = selectStatement(&into);
        if (atSymbol(")"))
            fail(SyntaxErrorInExpression,
                 "Extra ) in query expression '" + sourceText(m_clauseStart, m_pos + 1) + "'.");
        expectEnd();
        m_statement.kind = into.empty() ? StatementKind::Select : StatementKind::SelectInto;
        m_statement.target = into;
        return m_statement;
    }
    if (atWord("insert")) return insertStatement();
    if (atWord("update")) return updateStatement();
    if (atWord("delete")) return deleteStatement();
    if (atWord("create")) return createStatement();
    if (atWord("alter")) return alterStatement();
    if (atWord("drop")) return dropStatement();
    if (atWord("transform")) return crosstabStatement();
    if (atWord("procedure")) notSupported("PROCEDURE");
    fail(InvalidSqlStatement,
         "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
}

Translation Parser::insertStatement() {
    next(); // INSERT
    if (!acceptWord("into")) fail(SyntaxErrorInInsert, kInsertError);
    m_statement.kind = StatementKind::Insert;
    m_statement.target = tableName(SyntaxErrorInInsert, kInsertError);
    std::string sql = "INSERT INTO " + tableReference(m_statement.target);
    if (atWord("in")) notSupported("INSERT INTO ... IN (a table of an external database)");
    std::size_t fields = 0;
    if (acceptSymbol("(")) {
        sql += " (";
        do {
            m_statement.fields.push_back(fieldName(SyntaxErrorInInsert, kInsertError));
            sql += (fields++ ? ", " : "") + quoteIdentifier(m_statement.fields.back());
        } while (acceptSymbol(","));
        if (!acceptSymbol(")")) fail(SyntaxErrorInInsert, kInsertError);
        sql += ")";
    }
    if (acceptWord("values")) {
        if (!acceptSymbol("(")) fail(SyntaxErrorInInsert, kInsertError);
        std::size_t values = 0;
        sql += " VALUES (";
        do {
            sql += (values++ ? ", " : "") + clauseValue();
            if (!atSymbol(",") && !atSymbol(")")) missingOperator();
        } while (acceptSymbol(","));
        if (!acceptSymbol(")")) fail(SyntaxErrorInInsert, kInsertError);
        if (fields > 0 && fields != values)
            fail(ValueCountMismatch, "Number of query values and destination fields are not the same.");
        sql += ")";
    } else if (atWord("select")) {
        sql += " " + selectStatement(nullptr);
    } else {
        fail(SyntaxErrorInInsert, kInsertError);
    }
    expectEnd();
    m_statement.sql = sql;
    return m_statement;
}

Translation Parser::updateStatement() {
    next(); // UPDATE
    m_statement.kind = StatementKind::Update;
    m_statement.target = tableName(SyntaxErrorInUpdate, kUpdateError);
    std::string sql = "UPDATE " + tableReference(m_statement.target) + alias();
    if (atWord("inner") || atWord("left") || atWord("right") || atWord("join") || atSymbol(","))
        notSupported("UPDATE of joined tables");
    if (!acceptWord("set")) fail(SyntaxErrorInUpdate, kUpdateError);
    sql += " SET ";
    do {
        if (sql.back() != ' ') sql += ", ";
        m_statement.fields.push_back(fieldName(SyntaxErrorInUpdate, kUpdateError));
        sql += quoteIdentifier(m_statement.fields.back());
        if (!acceptSymbol("=")) fail(SyntaxErrorInUpdate, kUpdateError);
        sql += " = " + clauseValue();
        if (!atEnd() && !atSymbol(",") && !atWord("where")) missingOperator();
    } while (acceptSymbol(","));
    if (acceptWord("where")) {
        sql += " WHERE " + clauseCondition();
        if (!atEnd()) missingOperator();
    }
    expectEnd();
    m_statement.sql = sql;
    return m_statement;
}

// DELETE [*|table.*] FROM table [WHERE ...]: the records go, whatever the fields named before FROM.
Translation Parser::deleteStatement() {
    next(); // DELETE
    m_statement.kind = StatementKind::Delete;
    if (!acceptSymbol("*") && !atWord("from")) {
        if (peek().kind != TokenKind::Word && peek().kind != TokenKind::Name)
            fail(DeleteNeedsTable, "Specify the table containing the records you want to delete.");
        next();
        if (!(acceptSymbol(".") || acceptSymbol("!")) || !acceptSymbol("*"))
            fail(DeleteNeedsTable, "Specify the table containing the records you want to delete.");
    }
    if (!acceptWord("from"))
        fail(DeleteNeedsTable, "Specify the table containing the records you want to delete.");
    m_statement.target = tableName(SyntaxErrorInFrom, "Syntax error in FROM clause.");
    std::string sql = "DELETE FROM " + tableReference(m_statement.target) + alias();
    if (atWord("inner") || atWord("left") || atWord("right") || atWord("join") || atSymbol(","))
        notSupported("DELETE from joined tables");
    if (acceptWord("where")) {
        sql += " WHERE " + clauseCondition();
        if (!atEnd()) missingOperator();
    } else if (!atEnd()) {
        fail(SyntaxErrorInFrom, "Syntax error in FROM clause.");
    }
    expectEnd();
    m_statement.sql = sql;
    return m_statement;
}

} // namespace sql
} // namespace engine
