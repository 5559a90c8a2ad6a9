// Data definition of the dialect: CREATE TABLE, ALTER TABLE ADD/DROP, DROP TABLE, with the classic
// field types mapped to dBASE III fields.
#include "engine/DialectParser.h"
#include "engine/Error.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace engine::sql {

namespace {

const char* const kCreateError = "Syntax error in CREATE TABLE statement.";
const char* const kAlterError = "Syntax error in ALTER TABLE statement.";
const char* const kDropError = "Syntax error in DROP TABLE or DROP INDEX.";

bool isTypeName(std::string_view word, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return equalsIgnoreCase(word, n); });
}

// dBASE III keeps field names of at most 10 ASCII letters, digits and '_', starting with a letter.
void checkFieldName(const std::string& name) {
    if (name.size() > 10)
        throw Error(InvalidName,
                    "'" + name +
                        "' is not a valid field name: a dBASE field name has at most 10 characters.");
    const bool letterFirst = !name.empty() && std::isalpha(static_cast<unsigned char>(name[0]));
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
    if (!letterFirst || !plain)
        throw Error(InvalidName, "'" + name +
                                     "' is not a valid field name: a dBASE field name holds only letters, "
                                     "digits and '_', and begins with a letter.");
}

} // namespace

// A field: name, type [(size[, scale])], then NOT NULL / NULL / WITH COMPRESSION, which a dBASE
// field has no use for. Widths of numeric types hold the whole range of the classic type where
// dBASE can (N is at most 20 wide, sign and point included); floating types get N(20,6).
ColumnDef Parser::columnDefinition(int errorNumber, const std::string& description) {
    ColumnDef def;
    def.name = fieldName(errorNumber, description);
    checkFieldName(def.name);
    for (const ColumnDef& other : m_statement.columns)
        if (equalsIgnoreCase(other.name, def.name))
            fail(FieldDefinedTwice, "Field '" + def.name + "' is defined more than once.");

    if (peek().kind != TokenKind::Word) fail(errorNumber, description);
    const std::string type = next().text;
    std::vector<long> size;
    if (acceptSymbol("(")) {
        do {
            if (peek().kind != TokenKind::Number ||
                peek().text.find_first_not_of("0123456789") != std::string::npos)
                fail(errorNumber, description);
            size.push_back(std::strtol(next().text.c_str(), nullptr, 10));
        } while (size.size() < 2 && acceptSymbol(","));
        if (!acceptSymbol(")")) fail(errorNumber, description);
    }
    while (true) {
        if (acceptWord("not")) {
            if (!acceptWord("null")) fail(errorNumber, description);
        } else if (acceptWord("null")) {
        } else if (acceptWord("with")) {
            if (!acceptWord("compression") && !acceptWord("comp")) fail(errorNumber, description);
        } else if (atWord("constraint") || atWord("primary") || atWord("unique") || atWord("references")) {
            notSupported("CONSTRAINT (a key or index)");
        } else if (atWord("default")) {
            notSupported("DEFAULT values of fields");
        } else {
            break;
        }
    }

    const std::string field = "Field '" + def.name + "': ";
    auto noSize = [&]() {
        if (!size.empty()) fail(errorNumber, field + type + " takes no size. " + description);
    };
    auto number = [&](std::uint32_t length, std::uint8_t decimals) {
        noSize();
        def.dbfType = 'N';
        def.length = length;
        def.decimals = decimals;
    };
    if (isTypeName(type,
                   {"text", "char", "varchar", "character", "string", "alphanumeric", "nchar", "nvarchar"})) {
        if (size.size() > 1) fail(errorNumber, description);
        const long n = size.empty() ? 255 : size[0];
        if (n < 1 || n > 255)
            fail(InvalidArgument,
                 field + type + "(" + std::to_string(n) +
                     ") does not fit a dBASE character field, which holds 1 to 254 characters.");
        // The classic default and maximum, 255, is one more than dBASE holds; a value that long is
        // refused when written, never cut.
        def.dbfType = 'C';
        def.length = static_cast<std::uint32_t>(std::min(n, 254L));
    } else if (isTypeName(type, {"memo", "longtext", "longchar", "note", "ntext"})) {
        noSize();
        def.dbfType = 'M';
        def.length = 10;
    } else if (isTypeName(type, {"byte", "tinyint", "integer1"})) {
        number(4, 0);
    } else if (isTypeName(type, {"short", "smallint", "integer2"})) {
        number(6, 0); // -32768
    } else if (isTypeName(type, {"long", "int", "integer", "integer4"})) {
        number(11, 0); // -2147483648
    } else if (isTypeName(type, {"single", "real", "float4", "ieeesingle", "double", "float", "float8",
                                 "ieeedouble", "number"})) {
        number(20, 6);
    } else if (isTypeName(type, {"currency", "money"})) {
        number(20, 4);
    } else if (isTypeName(type, {"numeric", "decimal", "dec"})) {
        const long precision = size.empty() ? 18 : size[0];
        const long scale = size.size() > 1 ? size[1] : 0;
        // Room for the sign and, with decimals, the point: NUMERIC(p,s) is N(p+2,s).
        const long width = precision + 1 + (scale > 0 ? 1 : 0);
        if (precision < 1 || scale > precision || width > 20)
            fail(InvalidArgument,
                 field + "NUMERIC(" + std::to_string(precision) + "," + std::to_string(scale) +
                     ") does not fit a dBASE numeric field, which holds at most 19 digits, or "
                     "18 with decimals.");
        def.dbfType = 'N';
        def.length = static_cast<std::uint32_t>(width);
        def.decimals = static_cast<std::uint8_t>(scale);
    } else if (isTypeName(type, {"datetime", "date", "time", "timestamp"})) {
        noSize();
        def.dbfType = 'D'; // dBASE III dates hold no time of day
        def.length = 8;
    } else if (isTypeName(type, {"yesno", "bit", "logical", "logical1", "boolean"})) {
        noSize();
        def.dbfType = 'L';
        def.length = 1;
    } else if (isTypeName(type, {"counter", "autoincrement", "identity"})) {
        fail(NotSupported, field + type +
                               " (auto-numbered) fields are not supported: dBASE III tables have none; "
                               "use LONG.");
    } else if (isTypeName(type, {"binary", "varbinary", "longbinary", "oleobject", "general", "image", "guid",
                                 "uniqueidentifier"})) {
        fail(NotSupported, field + "the field type " + type + " is not supported.");
    } else {
        fail(errorNumber, field + "unknown field type '" + type + "'. " + description);
    }
    return def;
}

Translation Parser::createStatement() {
    next(); // CREATE
    if (atWord("index") || atWord("unique"))
        fail(NotSupported, "CREATE INDEX is not supported: indexes are not maintained.");
    if (atWord("temporary") || atWord("temp")) notSupported("CREATE TEMPORARY TABLE");
    if (atWord("view") || atWord("procedure") || atWord("user") || atWord("group"))
        notSupported("CREATE " + asciiUpper(peek().text));
    if (!acceptWord("table")) fail(SyntaxErrorInCreateTable, kCreateError);
    m_statement.kind = StatementKind::CreateTable;
    m_statement.target = tableName(SyntaxErrorInCreateTable, kCreateError);
    tableReference(m_statement.target);
    if (!acceptSymbol("(")) fail(SyntaxErrorInCreateTable, kCreateError);
    do {
        if (atWord("constraint")) notSupported("CONSTRAINT (a key or index)");
        m_statement.columns.push_back(columnDefinition(SyntaxErrorInCreateTable, kCreateError));
    } while (acceptSymbol(","));
    if (!acceptSymbol(")")) fail(SyntaxErrorInCreateTable, kCreateError);
    expectEnd();
    return m_statement;
}

Translation Parser::alterStatement() {
    next(); // ALTER
    if (!acceptWord("table")) fail(SyntaxErrorInAlterTable, kAlterError);
    m_statement.target = tableName(SyntaxErrorInAlterTable, kAlterError);
    tableReference(m_statement.target);
    if (atWord("alter")) notSupported("ALTER TABLE ... ALTER COLUMN");
    const bool add = acceptWord("add");
    if (!add && !acceptWord("drop")) fail(SyntaxErrorInAlterTable, kAlterError);
    m_statement.kind = add ? StatementKind::AlterAddColumn : StatementKind::AlterDropColumn;
    do {
        if (atWord("constraint") || atWord("primary") || atWord("unique") || atWord("foreign"))
            notSupported("CONSTRAINT (a key or index)");
        acceptWord("column");
        if (add) {
            m_statement.columns.push_back(columnDefinition(SyntaxErrorInAlterTable, kAlterError));
        } else {
            const std::string name = fieldName(SyntaxErrorInAlterTable, kAlterError);
            m_statement.dropColumns.push_back(name);
        }
    } while (acceptSymbol(","));
    expectEnd();
    return m_statement;
}

Translation Parser::dropStatement() {
    next(); // DROP
    if (atWord("index")) fail(NotSupported, "DROP INDEX is not supported: indexes are not maintained.");
    if (atWord("view") || atWord("procedure") || atWord("user") || atWord("group"))
        notSupported("DROP " + asciiUpper(peek().text));
    if (!acceptWord("table")) fail(SyntaxErrorInDropTable, kDropError);
    m_statement.kind = StatementKind::DropTable;
    m_statement.target = tableName(SyntaxErrorInDropTable, kDropError);
    tableReference(m_statement.target);
    expectEnd();
    return m_statement;
}

} // namespace engine::sql
