// The recursive-descent parser behind translate(): statements, selects and expressions of the dialect.
#pragma once

#include "engine/Dialect.h"
#include "engine/SqlLexer.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::sql {

// What the translator knows of an expression's value, enough to pick SQLite operators.
enum class ValueType { Unknown, Number, Text, Date, Null };

// How an expression yields a truth value. SQLite's comparisons give 1/0 where the dialect's give
// -1/0, so a truth value used as a value is converted; as a condition it is used as it is.
enum class Truth {
    None,    // not a truth value
    ZeroOne, // SQLite truth value: 1, 0 or NULL
    NonZero, // a function result: non-zero is true
};

struct Expr {
    std::string sql; // self-delimiting SQLite text (parenthesised unless atomic)
    ValueType type = ValueType::Unknown;
    Truth truth = Truth::None;
    bool column = false;                // a field reference, which carries its column's collation
    std::optional<double> numberValue;  // a number literal, possibly negated
    std::optional<std::string> dateIso; // a #date# literal
};

std::string quoteIdentifier(std::string_view name);
std::string quoteString(std::string_view value);
// A table name as written, without a ".dbf" ending.
std::string stripDbf(std::string_view name);
// Renders the text of a #date# literal; nullopt when it is not a date.
std::optional<std::string> dateLiteral(std::string_view text);

class Parser {
public:
    explicit Parser(std::string_view statement, FieldKindOf kindOf = {});
    Translation parse();

private:
    // Tokens.
    const Token& peek(std::size_t ahead = 0) const;
    const Token& next();
    bool atWord(std::string_view keyword, std::size_t ahead = 0) const { return peek(ahead).isWord(keyword); }
    bool atSymbol(std::string_view s, std::size_t ahead = 0) const { return peek(ahead).isSymbol(s); }
    bool acceptWord(std::string_view keyword);
    bool acceptSymbol(std::string_view s);
    bool atReserved(std::size_t ahead = 0) const;
    bool atEnd() const { return peek().kind == TokenKind::End || atSymbol(";"); }
    std::string sourceText(std::size_t fromToken, std::size_t toToken) const; // [from, to)

    // Errors.
    [[noreturn]] void fail(int number, const std::string& description) const;
    [[noreturn]] void expressionError(const std::string& what = "Syntax error") const;
    [[noreturn]] void missingOperator() const { expressionError("Syntax error (missing operator)"); }
    [[noreturn]] void notSupported(const std::string& construct) const;

    // Tables.
    std::string tableReference(const std::string& written); // records it, returns the SQLite name
    std::string tableName(int errorNumber, const std::string& description); // a table name as written
    std::string fieldName(int errorNumber, const std::string& description);

    // Data changes (Dialect.cpp) and definitions (DialectDdl.cpp).
    Translation insertStatement();
    Translation updateStatement();
    Translation deleteStatement();
    Translation createStatement();
    Translation alterStatement();
    Translation dropStatement();
    Translation crosstabStatement(); // DialectSelect.cpp
    ColumnDef columnDefinition(int errorNumber, const std::string& description);
    void expectEnd();

    // Selects (DialectSelect.cpp).
    struct SelectCore;
    // A whole select with UNION members, ORDER BY and TOP. into, when given, receives an INTO target.
    std::string selectStatement(std::string* into);
    SelectCore selectCore(std::string* into);
    std::string selectList();
    std::string fromClause(int& sources);
    std::string joinedSources(int& sources);
    std::string tableSource(int& sources);
    // " ORDER BY ..."; keys, when given, receives each key's SQL; byPosition is set when a key is a number.
    std::string orderByClause(std::vector<std::string>* keys = nullptr, bool* byPosition = nullptr);
    std::string alias();

    // Expressions (DialectExpr.cpp). clause* set the text that errors quote.
    Expr clauseExpression();
    std::string clauseValue() { return value(clauseExpression()); }
    std::string clauseCondition() { return condition(clauseExpression()); }
    Expr expression(); // Imp, the loosest operator
    Expr eqvLevel();
    Expr xorLevel();
    Expr orLevel();
    Expr andLevel();
    Expr notLevel();
    Expr comparison();
    Expr concatenation();
    Expr additive();
    Expr modulo();
    Expr integerDivision();
    Expr multiplicative();
    Expr unary();
    Expr power();
    Expr primary();
    Expr functionCall(const Token& name);
    Expr fieldReference();
    Expr subquery(); // at "(" SELECT
    Expr inList(const Expr& left, bool negated);
    Expr between(const Expr& left, bool negated);
    std::vector<Expr> arguments();
    static std::string value(const Expr& e);
    static std::string condition(const Expr& e) { return e.sql; }
    static std::string collated(const Expr& e);

    // Counts the nesting of expressions and subqueries: a statement nested deeper than anyone writes
    // ("((((...") is refused instead of exhausting the stack of this recursive parser.
    class Nesting {
    public:
        explicit Nesting(Parser& parser);
        ~Nesting() { --m_parser.m_depth; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

    private:
        Parser& m_parser;
    };
    int m_depth = 0;
    bool m_pivotFilter = false; // aggregates are followed by kPivotFilter (a crosstab's value)
    bool m_crosstab = false;    // PIVOT may end the select's clauses
    int m_selects = 0;          // selects being parsed: 1 while in the statement's own, more in a subquery
    std::vector<std::pair<std::string, std::string>>
        m_aliasSql; // the statement's own aliases, with their SQL

    std::string m_text;
    std::vector<Token> m_tokens;
    FieldKindOf m_kindOf;
    std::size_t m_pos = 0;
    std::size_t m_clauseStart = 0; // first token of the expression errors quote
    Translation m_statement;
};

} // namespace engine::sql
