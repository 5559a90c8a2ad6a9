// The SQL representation of dBASE values and back.
#include "engine/Values.h"

#include "xbase/Ascii.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace engine {

namespace {

// REAL(n): a number stored with n decimals, which is how it shows.
const char* realWithDecimals(int decimals) {
    static const char* const kTypes[] = {
        "REAL(0)", "REAL(1)", "REAL(2)",  "REAL(3)",  "REAL(4)",  "REAL(5)",  "REAL(6)",  "REAL(7)",
        "REAL(8)", "REAL(9)", "REAL(10)", "REAL(11)", "REAL(12)", "REAL(13)", "REAL(14)", "REAL(15)"};
    return kTypes[std::clamp(decimals, 0, 15)];
}

} // namespace

const char* declaredType(const xbase::Field& f) {
    switch (f.type) {
    case 'C':
    case 'V':
    case 0x1A: // UTF-16 text
    case 0x1B:
        return "TEXT COLLATE DBTEXT";
    case 'Q':
        return f.binary ? "BLOB" : "TEXT COLLATE DBTEXT"; // FoxPro's varbinary; elsewhere text
    case 'M':
        return "MEMOTEXT COLLATE DBTEXT";
    case 'N':
    case 'F':
        return f.decimals == 0 && f.length <= 18 ? "INTEGER" : realWithDecimals(f.decimals);
    case 'I':
    case '+':
        return f.decimals == 0 ? "INTEGER" : realWithDecimals(f.decimals);
    case 'Y':
        return realWithDecimals(4);
    case 'O':
        return "REAL";
    case 'B':
        return f.length == 8 ? "REAL" : "BLOB";
    case 'D':
        return "DATETEXT";
    case 'T':
    case '@':
        return "DATETIMETEXT";
    case 'L':
        return "BOOLINT";
    default:
        return "BLOB";
    }
}

FieldKind kindOfDeclaredType(const char* declared) {
    if (!declared) return FieldKind::Text;
    const std::string d(declared);
    if (d.rfind("MEMOTEXT", 0) == 0) return FieldKind::Memo;
    if (d.rfind("DATETIMETEXT", 0) == 0) return FieldKind::DateTime;
    if (d.rfind("DATETEXT", 0) == 0) return FieldKind::Date;
    if (d.rfind("BOOLINT", 0) == 0) return FieldKind::Logical;
    if (d.rfind("INTEGER", 0) == 0) return FieldKind::Integer;
    if (d.rfind("REAL", 0) == 0) return FieldKind::Real;
    if (d.rfind("BLOB", 0) == 0) return FieldKind::Binary;
    return FieldKind::Text;
}

FieldKind kindOfField(const xbase::Field& f) {
    return kindOfDeclaredType(declaredType(f));
}

int decimalsOfDeclaredType(const char* declared) {
    if (!declared || std::strncmp(declared, "REAL(", 5) != 0) return -1;
    return std::atoi(declared + 5);
}

const char* kindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::Text:
        return "Text";
    case FieldKind::Memo:
        return "Memo";
    case FieldKind::Integer:
        return "Long";
    case FieldKind::Real:
        return "Double";
    case FieldKind::Date:
        return "Date";
    case FieldKind::DateTime:
        return "DateTime";
    case FieldKind::Logical:
        return "Boolean";
    case FieldKind::Binary:
        return "Binary";
    }
    return "Text";
}

std::vector<std::string> columnNames(const xbase::Table& table) {
    std::vector<std::string> names;
    auto lower = [](const std::string& s) { return xbase::ascii::lower(s); };
    std::vector<std::string> seen;
    for (std::size_t i : table.visibleFields()) {
        std::string name = table.fields()[i].name;
        for (int n = 2; std::find(seen.begin(), seen.end(), lower(name)) != seen.end(); ++n)
            name = table.fields()[i].name + "_" + std::to_string(n);
        seen.push_back(lower(name));
        names.push_back(name);
    }
    return names;
}

std::string isoDate(const xbase::Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string isoDateTime(const xbase::DateTime& dt) {
    const int ms = dt.msecOfDay % 1000, s = dt.msecOfDay / 1000;
    char buf[40];
    if (ms)
        std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d.%03d", isoDate(dt.date).c_str(), s / 3600,
                      s / 60 % 60, s % 60, ms);
    else
        std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d", isoDate(dt.date).c_str(), s / 3600, s / 60 % 60,
                      s % 60);
    return buf;
}

bool parseIso(std::string_view text, xbase::DateTime& out, bool& hasTime) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0, used = 0;
    const std::string t(text);
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3 || used != 10) return false;
    hasTime = false;
    if (t.size() > 10) {
        if ((t[10] != ' ' && t[10] != 'T') || std::sscanf(t.c_str() + 11, "%2d:%2d:%2d", &h, &mi, &s) != 3)
            return false;
        if (t.size() > 19 && t[19] == '.') ms = std::atoi(t.c_str() + 20);
        hasTime = true;
    }
    out.date = {y, mo, d};
    out.msecOfDay = ((h * 60 + mi) * 60 + s) * 1000 + ms;
    return xbase::isValidDate(out.date) && h < 24 && mi < 60 && s < 60;
}

void resultValue(sqlite3_context* cx, const Value& v) {
    if (auto s = std::get_if<std::string>(&v))
        sqlite3_result_text(cx, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else if (auto i = std::get_if<std::int64_t>(&v))
        sqlite3_result_int64(cx, *i);
    else if (auto d = std::get_if<double>(&v))
        sqlite3_result_double(cx, *d);
    else if (auto b = std::get_if<bool>(&v))
        sqlite3_result_int(cx, *b ? -1 : 0);
    else if (auto dt = std::get_if<xbase::Date>(&v)) {
        const std::string text = isoDate(*dt);
        sqlite3_result_text(cx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else if (auto t = std::get_if<xbase::DateTime>(&v)) {
        const std::string text = isoDateTime(*t);
        sqlite3_result_text(cx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else if (auto bytes = std::get_if<xbase::Bytes>(&v))
        sqlite3_result_blob(cx, bytes->data(), static_cast<int>(bytes->size()), SQLITE_TRANSIENT);
    else
        sqlite3_result_null(cx);
}

void bindValue(sqlite3_stmt* stmt, int i, const Value& v) {
    if (auto s = std::get_if<std::string>(&v))
        sqlite3_bind_text(stmt, i, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else if (auto n = std::get_if<std::int64_t>(&v))
        sqlite3_bind_int64(stmt, i, *n);
    else if (auto d = std::get_if<double>(&v))
        sqlite3_bind_double(stmt, i, *d);
    else if (auto b = std::get_if<bool>(&v))
        sqlite3_bind_int(stmt, i, *b ? -1 : 0);
    else if (auto dt = std::get_if<xbase::Date>(&v))
        sqlite3_bind_text(stmt, i, isoDate(*dt).c_str(), -1, SQLITE_TRANSIENT);
    else if (auto t = std::get_if<xbase::DateTime>(&v))
        sqlite3_bind_text(stmt, i, isoDateTime(*t).c_str(), -1, SQLITE_TRANSIENT);
    else if (auto bytes = std::get_if<xbase::Bytes>(&v))
        sqlite3_bind_blob(stmt, i, bytes->data(), static_cast<int>(bytes->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(stmt, i);
}

Value fromSqlite(sqlite3_value* v, FieldKind kind) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return xbase::Null{};
    case SQLITE_INTEGER: {
        const sqlite3_int64 n = sqlite3_value_int64(v);
        if (kind == FieldKind::Logical) return n != 0;
        if (kind == FieldKind::Real) return static_cast<double>(n);
        return static_cast<std::int64_t>(n);
    }
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_BLOB: {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_value_blob(v));
        return xbase::Bytes(p, p + sqlite3_value_bytes(v));
    }
    default: {
        std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                         static_cast<std::size_t>(sqlite3_value_bytes(v)));
        if (kind == FieldKind::Date || kind == FieldKind::DateTime) {
            xbase::DateTime dt;
            bool hasTime = false;
            if (parseIso(text, dt, hasTime)) {
                if (kind == FieldKind::Date && !hasTime) return dt.date;
                return dt;
            }
        }
        return text;
    }
    }
}

Value columnValue(sqlite3_stmt* stmt, int column, FieldKind kind) {
    return fromSqlite(sqlite3_column_value(stmt, column), kind);
}

} // namespace engine
