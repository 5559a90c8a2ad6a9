// The dialect's conversions and inspections: Hex, Oct, CBool, CByte, CCur, CDec, CSng, Choose,
// IsNumeric, IsDate, IsEmpty, VarType, TypeName.
//
// SQLite holds no Variant subtypes, so they are read off the stored value: an integer that fits 16
// bits is an Integer, one that fits 32 bits a Long, any other number a Double; text in the engine's
// own date form ('YYYY-MM-DD', 'YYYY-MM-DD HH:MM:SS', 'HH:MM:SS') is a Date, other text a String.
// Logical values are the integers -1 and 0 and so read as Integers.
#include "engine/FunctionsSupport.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace engine::functions {

namespace {

constexpr std::int64_t kIntegerMin = -32768;
constexpr std::int64_t kIntegerMax = 32767;
constexpr std::int64_t kLongMin = -2147483648LL;
constexpr std::int64_t kLongMax = 2147483647LL;

bool isDigitAt(std::string_view s, std::initializer_list<std::size_t> positions) {
    for (std::size_t i : positions)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Text exactly in the form the engine stores dates in.
bool isStoredDate(std::string_view s) {
    bool shape = false;
    if (s.size() == 8)
        shape = s[2] == ':' && s[5] == ':' && isDigitAt(s, {0, 1, 3, 4, 6, 7});
    else if (s.size() == 10 || s.size() == 19)
        shape = s[4] == '-' && s[7] == '-' && isDigitAt(s, {0, 1, 2, 3, 5, 6, 8, 9}) &&
                (s.size() == 10 ||
                 (s[10] == ' ' && s[13] == ':' && s[16] == ':' && isDigitAt(s, {11, 12, 14, 15, 17, 18})));
    return shape && parseDate(s).has_value();
}

enum VarType {
    vbNull = 1,
    vbInteger = 2,
    vbLong = 3,
    vbDouble = 5,
    vbDate = 7,
    vbString = 8,
    vbByteArray = 8192 + 17,
};

int varTypeOf(const Call& c, int i) {
    switch (c.type(i)) {
    case SQLITE_NULL:
        return vbNull;
    case SQLITE_INTEGER: {
        const std::int64_t v = sqlite3_value_int64(c.value(i));
        if (v >= kIntegerMin && v <= kIntegerMax) return vbInteger;
        return v >= kLongMin && v <= kLongMax ? vbLong : vbDouble;
    }
    case SQLITE_FLOAT:
        return vbDouble;
    case SQLITE_TEXT:
        return isStoredDate(c.text(i)) ? vbDate : vbString;
    default:
        return vbByteArray;
    }
}

// Hex and Oct: the digits of the number as a whole Long; a negative Integer shows its 16 bits, a
// negative Long its 32. Anything but an Integer is converted to a Long, rounding half to even.
template <int Radix> void radixText(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const std::int64_t v = c.whole(0);
    if (v < kLongMin || v > kLongMax) c.overflow();
    const std::uint64_t mask = varTypeOf(c, 0) == vbInteger ? 0xFFFF : 0xFFFFFFFF;
    auto u = static_cast<std::uint64_t>(v) & mask;
    std::string out;
    do {
        out.insert(out.begin(), "0123456789ABCDEF"[u % Radix]);
        u /= Radix;
    } while (u != 0);
    c.setText(out);
}

void fnCBool(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    if (c.type(0) == SQLITE_TEXT) {
        std::string s = c.text(0);
        const auto begin = s.find_first_not_of(' ');
        const auto end = s.find_last_not_of(' ');
        s = begin == std::string::npos ? std::string() : s.substr(begin, end - begin + 1);
        for (char& ch : s)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        if (s == "true") return c.setBoolean(true);
        if (s == "false") return c.setBoolean(false);
    }
    c.setBoolean(c.real(0) != 0);
}

void fnCByte(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t v = c.whole(0);
    if (v < 0 || v > 255) c.overflow();
    c.setInteger(v);
}

// Currency: four decimals, rounded half to even, within +-922,337,203,685,477.5807.
void fnCCur(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const Number n = c.number(0);
    constexpr double kLimit = 922337203685477.5808;
    if (n.isInteger) {
        if (n.integer <= -922337203685478LL || n.integer >= 922337203685478LL) c.overflow();
        return c.setInteger(n.integer);
    }
    if (!(std::fabs(n.real) < kLimit)) c.overflow();
    c.setWhole(roundHalfEven(n.real * 10000.0) / 10000.0);
}

// Decimal: the engine computes in doubles, so the value stays as it is within the Decimal range.
void fnCDec(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const Number n = c.number(0);
    if (n.isInteger) return c.setInteger(n.integer);
    if (!(std::fabs(n.real) <= 79228162514264337593543950335.0)) c.overflow();
    c.setReal(n.real);
}

// Single: the value rounded to single precision, kept as the seven significant digits a Single
// shows, so that CSng(1.1) is 1.1 and not 1.10000002384186.
void fnCSng(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const double v = c.real(0);
    if (std::fabs(v) > FLT_MAX) c.overflow();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(static_cast<float>(v)));
    c.setWhole(std::strtod(buffer, nullptr));
}

// Choose(index, v1, v2, ...): the index-th value; Null when the index, rounded, is out of range.
void fnChoose(Call& c) {
    if (c.count() < 2) c.invalidArgument();
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t index = c.whole(0);
    if (index < 1 || index >= c.count()) return c.setNull();
    c.setArgument(static_cast<int>(index));
}

void fnIsNumeric(Call& c) {
    switch (c.type(0)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return c.setBoolean(true);
    case SQLITE_TEXT:
        return c.setBoolean(parseNumber(c.text(0)).has_value());
    default:
        return c.setBoolean(false);
    }
}

// Only text can hold a date here; a number is not one, as the classic IsDate(45352) is False.
void fnIsDate(Call& c) {
    c.setBoolean(c.type(0) == SQLITE_TEXT && parseDate(c.text(0)).has_value());
}

// A value in a query is never Empty (an uninitialised Variant); Null is not Empty either.
void fnIsEmpty(Call& c) {
    c.setBoolean(false);
}

void fnVarType(Call& c) {
    c.setInteger(varTypeOf(c, 0));
}

void fnTypeName(Call& c) {
    switch (varTypeOf(c, 0)) {
    case vbNull:
        return c.setText("Null");
    case vbInteger:
        return c.setText("Integer");
    case vbLong:
        return c.setText("Long");
    case vbDouble:
        return c.setText("Double");
    case vbDate:
        return c.setText("Date");
    case vbString:
        return c.setText("String");
    default:
        return c.setText("Byte()");
    }
}

const Definition kConversionFunctions[] = {
    {"hex", 1, 1, radixText<16>, "Hex", Result::Text, kPure},
    {"oct", 1, 1, radixText<8>, "Oct", Result::Text, kPure},
    {"cbool", 1, 1, fnCBool, "CBool", Result::Number, kPure},
    {"cbyte", 1, 1, fnCByte, "CByte", Result::Number, kPure},
    {"ccur", 1, 1, fnCCur, "CCur", Result::Number, kPure},
    {"cdec", 1, 1, fnCDec, "CDec", Result::Number, kPure},
    {"csng", 1, 1, fnCSng, "CSng", Result::Number, kPure},
    {"choose", 2, -1, fnChoose, "Choose", Result::Unknown, kPure},
    {"isnumeric", 1, 1, fnIsNumeric, "IsNumeric", Result::Number, kPure},
    {"isdate", 1, 1, fnIsDate, "IsDate", Result::Number, kPure},
    {"isempty", 1, 1, fnIsEmpty, "IsEmpty", Result::Number, kPure},
    {"vartype", 1, 1, fnVarType, "VarType", Result::Number, kPure},
    {"typename", 1, 1, fnTypeName, "TypeName", Result::Text, kPure},
};

} // namespace

std::span<const Definition> conversionFunctions() {
    return kConversionFunctions;
}

} // namespace engine::functions
