// The SQL dialect front: one statement of the classic desktop dialect in, SQLite SQL (or a DDL description)
// out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

enum class StatementKind {
    Select,
    SelectInto,
    Insert,
    Update,
    Delete,
    CreateTable,
    AlterAddColumn,
    AlterDropColumn,
    DropTable,
};

// A field of CREATE TABLE or ALTER TABLE ... ADD, already mapped to a dBASE III field:
// C (length 1-254), N (length <= 20, decimals), D, L or M.
struct ColumnDef {
    std::string name; // as written, without brackets
    char dbfType = 'C';
    std::uint32_t length = 0;
    std::uint8_t decimals = 0;
};

// TRANSFORM aggregate SELECT rows ... GROUP BY rows PIVOT expression [IN (values)]: a column for each
// value of the pivot expression (the values listed, or every value found, in order), holding the
// aggregate over the rows of the group with that value. composeCrosstab() makes the select.
struct Crosstab {
    std::string rows;               // the select list before the value columns
    std::string value;              // the aggregate; each aggregate call followed by kPivotFilter
    std::string pivot;              // the pivot expression
    std::string from;               // " FROM ... WHERE ..."
    std::string groups;             // " GROUP BY ... HAVING ..."
    std::string order;              // " ORDER BY ...", or empty
    std::vector<std::string> fixed; // IN (...): the values as SQL literals, in order
};
inline constexpr std::string_view kPivotFilter = " FILTER (WHERE \x01)";

// The kind of value a computed column of a select holds, as the expression says; Unknown where only the
// values can tell (a field inside Max or IIf).
enum class ComputedKind { Unknown, Number, Text, Date };

struct Translation {
    StatementKind kind = StatementKind::Select;
    // SQLite text: the select for Select and SelectInto (without INTO), the DML for Insert, Update
    // and Delete; empty for the DDL kinds.
    std::string sql;
    // The table written: INSERT/UPDATE/DELETE target, the INTO table, the DDL table. As written,
    // without brackets and without a ".dbf" ending.
    std::string target;
    // Every table the statement reads or writes, as written (without brackets and ".dbf"), once each
    // (compared without regard to ASCII case), in order of appearance. Includes target, also for
    // SelectInto and CreateTable, where it normally does not exist yet. In sql every table is the
    // double-quoted lower-cased (ASCII) name: "sales 2024".
    std::vector<std::string> tables;
    // Field names the statement uses (as written, without a table) and the names it gives (aliases of
    // columns and tables): when SQLite refuses the statement, they tell which name is unknown.
    std::vector<std::string> fields;
    std::vector<std::string> aliases;
    // Select with TOP n and ORDER BY: rows after the n-th that sort equal to it belong to the result too.
    // tiesSql is the select with its ORDER BY keys as its last tieKeys columns, ordered, without LIMIT
    // (sql itself takes n rows); empty where ties are not told apart (TOP n PERCENT, DISTINCT, a union,
    // ORDER BY a column's position).
    std::int64_t top = 0;
    std::string tiesSql;
    int tieKeys = 0;
    // Select: a crosstab, whose sql is made when it runs (see composeCrosstab).
    std::optional<Crosstab> crosstab;
    // Select: the kind of each computed column of the result, by its name (alias or Expr1000...).
    std::map<std::string, ComputedKind> computedKinds;
    std::vector<ColumnDef> columns;       // CreateTable, AlterAddColumn
    std::vector<std::string> dropColumns; // AlterDropColumn
};

// Translates one statement; an optional ';' and blanks may follow it. Throws engine::Error with a
// number of Error.h and a description naming the construct at fault, e.g. "Syntax error in query
// expression 'a ='.", "TRANSFORM ... PIVOT (a crosstab query) is not supported.", "Characters found after end
// of SQL statement." for a second statement.
//
// The SQL produced relies on the connection having the DBTEXT collation (kTextCollation), the
// dlg_* functions and operators of registerDialect(); and on
// double-quoted strings not being taken as text (SQLITE_DBCONFIG_DQS_DML off), so that a misspelt
// field name is an error rather than a string. Conventions of the emitted SQL:
// - True -1, False 0; comparisons in a select list give -1 / 0 as well;
// - #date# literals (U.S. month/day/year, or year first when it has four digits; two-digit years
//   00-29 are 20xx, 30-99 19xx) become 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM:SS', or 'HH:MM:SS' for a
//   time alone (the time of day 0, as Time() gives it); a time of 00:00:00 is left out;
// - select-list expressions without a name are named Expr1000, Expr1001, ... as the classic
//   engine names them.
// What the translator may know of a field named in a statement: the kind of value it holds (Unknown
// where no table of the statement has it, or its tables disagree). With it a date field is a date in
// every operator and aggregate, and a computed column's kind never depends on its values.
using FieldKindOf = std::function<ComputedKind(std::string_view field)>;

Translation translate(std::string_view classicSql, const FieldKindOf& kindOf = {});

} // namespace engine
