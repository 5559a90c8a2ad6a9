// The dialect's function library: registration, argument conversions, and the number functions.
#include "engine/Functions.h"

#include "engine/Collation.h"
#include "engine/Error.h"
#include "engine/FunctionsSupport.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string_view>

namespace engine {
namespace functions {

namespace {

constexpr double kInt64Limit = 9223372036854775808.0; // 2^63: whole reals below it fit an int64

extern "C" void callScalar(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const auto* definition = static_cast<const Definition*>(sqlite3_user_data(context));
    Call call(context, argc, argv, definition->displayName);
    try {
        definition->body(call);
    } catch (const FunctionError& e) {
        sqlite3_result_error(context, e.message.c_str(), -1);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

// The '$' form of a function that passes Null through: the same body, but a Null argument is an
// error, as the text the form promises cannot be Null.
extern "C" void callStringForm(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const auto* definition = static_cast<const Definition*>(sqlite3_user_data(context));
    const std::string name = std::string(definition->displayName) + "$";
    Call call(context, argc, argv, name.c_str());
    try {
        if (call.anyNull()) call.invalidUseOfNull();
        definition->body(call);
    } catch (const FunctionError& e) {
        sqlite3_result_error(context, e.message.c_str(), -1);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

// The functions with a '$' form that differs: those that answer Null for Null.
constexpr std::string_view kStringForms[] = {"chr",   "hex",   "lcase", "left", "ltrim",  "mid",  "oct",
                                             "right", "rtrim", "space", "str",  "string", "trim", "ucase"};

bool hasStringForm(const Definition& d) {
    if (!d.callable || d.sqlName) return false;
    for (std::string_view name : kStringForms)
        if (name == d.name) return true;
    return false;
}

std::string stringFormName(const Definition& d) {
    return std::string("dlg_") + d.name + "_s";
}

} // namespace

// ---- Call -------------------------------------------------------------------------------------

bool Call::anyNull() const {
    for (int i = 0; i < m_argc; ++i)
        if (isNull(i)) return true;
    return false;
}

void Call::invalidUseOfNull() const {
    fail(std::string("Invalid use of Null in function ") + m_name);
}
void Call::typeMismatch() const {
    fail(std::string("Type mismatch in function ") + m_name);
}
void Call::overflow() const {
    fail(std::string("Overflow in function ") + m_name);
}
void Call::invalidArgument() const {
    fail(std::string("Invalid procedure call or argument in function ") + m_name);
}
void Call::fail(const std::string& message) {
    throw FunctionError{message};
}

std::string Call::text(int i) const {
    switch (type(i)) {
    case SQLITE_NULL:
        invalidUseOfNull();
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_value_int64(m_argv[i]));
    case SQLITE_FLOAT:
        return realText(sqlite3_value_double(m_argv[i]));
    default: {
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(m_argv[i]));
        return std::string(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(m_argv[i])));
    }
    }
}

Number Call::number(int i) const {
    switch (type(i)) {
    case SQLITE_NULL:
        invalidUseOfNull();
    case SQLITE_INTEGER:
        return Number{true, sqlite3_value_int64(m_argv[i]), 0.0};
    case SQLITE_FLOAT:
        return Number{false, 0, sqlite3_value_double(m_argv[i])};
    case SQLITE_TEXT: {
        const std::string value = text(i);
        if (auto n = parseNumber(value)) return *n;
        // Dates are text here, while the classic engine computes with them as serial numbers.
        if (auto d = parseDate(value)) {
            if (d->seconds == 0) return Number{true, d->days, 0.0};
            return Number{false, 0, serialFromDate(*d)};
        }
        typeMismatch();
    }
    default:
        typeMismatch();
    }
}

std::int64_t Call::whole(int i) const {
    const Number n = number(i);
    if (n.isInteger) return n.integer;
    const double r = roundHalfEven(n.real);
    if (!(r > -kInt64Limit && r < kInt64Limit)) overflow();
    return static_cast<std::int64_t>(r);
}

DateTime Call::date(int i) const {
    switch (type(i)) {
    case SQLITE_NULL:
        invalidUseOfNull();
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        auto d = dateFromSerial(sqlite3_value_double(m_argv[i]));
        if (!d) overflow();
        return *d;
    }
    case SQLITE_TEXT: {
        const std::string value = text(i);
        if (auto d = parseDate(value)) return *d;
        if (auto n = parseNumber(value)) {
            auto d = dateFromSerial(n->value());
            if (!d) overflow();
            return *d;
        }
        typeMismatch();
    }
    default:
        typeMismatch();
    }
}

void Call::setReal(double v) {
    if (!std::isfinite(v)) overflow();
    sqlite3_result_double(m_context, v);
}

void Call::setWhole(double v) {
    if (std::isfinite(v) && v == std::floor(v) && v > -kInt64Limit && v < kInt64Limit)
        setInteger(static_cast<std::int64_t>(v));
    else
        setReal(v);
}

void Call::setText(std::string_view v) {
    sqlite3_result_text64(m_context, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Call::setDate(const DateTime& d) {
    setText(dateText(d));
}

void registerScalars(sqlite3* db, std::span<const Definition> definitions) {
    for (const Definition& d : definitions) {
        const std::string sqlName = d.sqlName ? d.sqlName : std::string("dlg_") + d.name;
        // Each count of arguments is a registration of its own; "any count" is one.
        const int first = d.maxArgs < 0 ? -1 : d.minArgs;
        const int last = d.maxArgs < 0 ? -1 : d.maxArgs;
        const bool stringForm = hasStringForm(d);
        for (int count = first; count <= last; ++count) {
            int rc = sqlite3_create_function_v2(db, sqlName.c_str(), count, SQLITE_UTF8 | d.flags,
                                                const_cast<Definition*>(&d), callScalar, nullptr, nullptr,
                                                nullptr);
            if (rc == SQLITE_OK && stringForm)
                rc = sqlite3_create_function_v2(db, stringFormName(d).c_str(), count, SQLITE_UTF8 | d.flags,
                                                const_cast<Definition*>(&d), callStringForm, nullptr, nullptr,
                                                nullptr);
            if (rc != SQLITE_OK)
                throw Error(InvalidOperation,
                            "Cannot install the SQL function " + sqlName + ": " + sqlite3_errmsg(db));
        }
    }
}

// ---- Numbers as text and text as numbers ------------------------------------------------------

std::string realText(double v) {
    if (v == 0.0) return "0"; // also -0
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    // As printf's %.15G (to_chars is specified so), without printf's multi-precision arithmetic.
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15).ptr;
    std::string text(buffer, end);
    if (const auto e = text.find('e'); e != std::string::npos) text[e] = 'E';
    return text;
}

std::string numberText(const Number& n) {
    return n.isInteger ? std::to_string(n.integer) : realText(n.real);
}

std::optional<Number> parseNumber(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    std::string_view s = text.substr(begin, end - begin);
    if (s.empty()) return std::nullopt;

    bool negative = false;
    std::size_t pos = 0;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        pos = 1;
    }
    if (pos + 1 < s.size() && s[pos] == '&') {
        const char kind = static_cast<char>(s[pos + 1] | 0x20);
        if (kind == 'h' || kind == 'o') {
            const int base = kind == 'h' ? 16 : 8;
            std::uint64_t value = 0;
            std::size_t digits = 0;
            for (std::size_t i = pos + 2; i < s.size(); ++i, ++digits) {
                const char c = static_cast<char>(s[i] | 0x20);
                int digit = -1;
                if (c >= '0' && c <= '9') digit = c - '0';
                if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
                if (digit < 0 || digit >= base) return std::nullopt;
                if (value > 0xFFFFFFFFu) return std::nullopt;
                value = value * base + digit;
            }
            if (digits == 0 || value > 0xFFFFFFFFu) return std::nullopt;
            // A value of up to four hex digits is a 16-bit Integer, of up to eight a 32-bit Long,
            // both signed: &HFFFF is -1, &H8000 -32768, &H10000 65536, &HFFFFFFFF -1 again.
            const std::int64_t v = value <= 0xFFFF
                                       ? static_cast<std::int16_t>(value)
                                       : static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
            return Number{true, negative ? -v : v, 0.0};
        }
    }

    // Plain decimal: copy the digits without grouping commas for strtod / strtoll.
    std::string clean = negative ? "-" : "";
    std::size_t intDigits = 0;
    std::size_t fracDigits = 0;
    bool isInteger = true;
    for (; pos < s.size() && ((s[pos] >= '0' && s[pos] <= '9') || s[pos] == ','); ++pos) {
        if (s[pos] == ',') {
            if (intDigits == 0 || pos + 1 >= s.size() || s[pos + 1] < '0' || s[pos + 1] > '9')
                return std::nullopt;
            continue;
        }
        clean += s[pos];
        ++intDigits;
    }
    if (pos < s.size() && s[pos] == '.') {
        isInteger = false;
        clean += '.';
        for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++fracDigits)
            clean += s[pos];
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E' || s[pos] == 'd' || s[pos] == 'D')) {
        isInteger = false;
        clean += 'e';
        ++pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) clean += s[pos++];
        std::size_t expDigits = 0;
        for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++expDigits)
            clean += s[pos];
        if (expDigits == 0) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    if (isInteger) {
        errno = 0;
        const long long v = std::strtoll(clean.c_str(), nullptr, 10);
        if (errno == 0) return Number{true, v, 0.0};
    }
    const double v = std::strtod(clean.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return Number{false, 0, v};
}

double roundHalfEven(double v) {
    const double floor = std::floor(v);
    const double fraction = v - floor;
    if (fraction > 0.5) return floor + 1.0;
    if (fraction < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

namespace {

// ---- Number functions -------------------------------------------------------------------------

void fnInt(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const Number n = c.number(0);
    if (n.isInteger) return c.setInteger(n.integer);
    c.setWhole(std::floor(n.real));
}

void fnFix(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const Number n = c.number(0);
    if (n.isInteger) return c.setInteger(n.integer);
    c.setWhole(std::trunc(n.real));
}

void fnAbs(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const Number n = c.number(0);
    if (n.isInteger && n.integer != std::numeric_limits<std::int64_t>::min())
        return c.setInteger(n.integer < 0 ? -n.integer : n.integer);
    c.setReal(std::fabs(n.value()));
}

void fnSgn(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const double v = c.real(0);
    c.setInteger(v > 0 ? 1 : (v < 0 ? -1 : 0));
}

void fnRound(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const Number n = c.number(0);
    std::int64_t digits = 0;
    if (c.count() > 1) {
        if (c.isNull(1)) c.invalidUseOfNull();
        digits = c.whole(1);
        if (digits < 0) c.invalidArgument();
    }
    if (n.isInteger) return c.setInteger(n.integer);
    if (digits == 0) return c.setWhole(roundHalfEven(n.real));
    const double scale = std::pow(10.0, static_cast<double>(std::min<std::int64_t>(digits, 300)));
    const double scaled = n.real * scale;
    // Beyond 2^52 a double has no fraction left to round.
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return c.setReal(n.real);
    c.setReal(roundHalfEven(scaled) / scale);
}

void convertWhole(Call& c, std::int64_t low, std::int64_t high) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t v = c.whole(0);
    if (v < low || v > high) c.overflow();
    c.setInteger(v);
}

void fnCInt(Call& c) {
    convertWhole(c, -32768, 32767);
}
void fnCLng(Call& c) {
    convertWhole(c, -2147483648LL, 2147483647LL);
}

void fnCDbl(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    c.setReal(c.real(0));
}

void fnCStr(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    if (c.type(0) == SQLITE_TEXT) return c.setArgument(0);
    c.setText(c.text(0));
}

void fnNz(Call& c) {
    if (!c.isNull(0)) return c.setArgument(0);
    if (c.count() > 1) return c.setArgument(1);
    c.setText("");
}

void fnIsNull(Call& c) {
    c.setBoolean(c.isNull(0));
}

// a & b: a Null operand counts as empty text unless every operand is Null.
void fnCat(Call& c) {
    bool allNull = true;
    std::string out;
    for (int i = 0; i < c.count(); ++i) {
        if (c.isNull(i)) continue;
        allNull = false;
        out += c.text(i);
    }
    if (allNull) return c.setNull();
    c.setText(out);
}

// Operands of Mod and \ are first rounded to whole numbers, half to even.
void wholeOperands(Call& c, std::int64_t& a, std::int64_t& b) {
    a = c.whole(0);
    b = c.whole(1);
    if (b == 0) Call::fail("Division by zero");
}

void fnMod(Call& c) {
    if (c.anyNull()) return c.setNull();
    std::int64_t a, b;
    wholeOperands(c, a, b);
    c.setInteger(b == -1 ? 0 : a % b);
}

void fnIntegerDivide(Call& c) {
    if (c.anyNull()) return c.setNull();
    std::int64_t a, b;
    wholeOperands(c, a, b);
    if (b == -1 && a == std::numeric_limits<std::int64_t>::min()) Call::fail("Overflow");
    c.setInteger(a / b);
}

void fnDivide(Call& c) {
    if (c.anyNull()) return c.setNull();
    const double a = c.real(0);
    const double b = c.real(1);
    if (b == 0.0) Call::fail("Division by zero");
    const double r = a / b;
    if (!std::isfinite(r)) Call::fail("Overflow");
    c.setReal(r);
}

void fnPower(Call& c) {
    if (c.anyNull()) return c.setNull();
    const double a = c.real(0);
    const double b = c.real(1);
    if (a == 0.0 && b < 0.0) Call::fail("Division by zero");
    if (a < 0.0 && b != std::floor(b))
        Call::fail("Invalid procedure call or argument: a negative number raised to a fractional power");
    const double r = std::pow(a, b);
    if (!std::isfinite(r)) Call::fail("Overflow");
    c.setReal(r);
}

// Sqr, Log, Exp, Atn, Sin, Cos, Tan: Null gives Null; outside their domain, the classic error.
template <double (*F)(double), bool (*Valid)(double)> void mathFunction(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const double x = c.real(0);
    if (!Valid(x)) c.invalidArgument();
    c.setReal(F(x)); // an infinite result (Exp(1000)) is an overflow
}

bool anyReal(double) {
    return true;
}
bool notNegative(double x) {
    return x >= 0;
}
bool positive(double x) {
    return x > 0;
}
double sqrtOf(double x) {
    return std::sqrt(x);
}
double logOf(double x) {
    return std::log(x);
}
double expOf(double x) {
    return std::exp(x);
}
double atanOf(double x) {
    return std::atan(x);
}
double sinOf(double x) {
    return std::sin(x);
}
double cosOf(double x) {
    return std::cos(x);
}
double tanOf(double x) {
    return std::tan(x);
}

const Definition kNumberFunctions[] = {
    {"sqr", 1, 1, mathFunction<sqrtOf, notNegative>, "Sqr", Result::Number, kPure},
    {"log", 1, 1, mathFunction<logOf, positive>, "Log", Result::Number, kPure},
    {"exp", 1, 1, mathFunction<expOf, anyReal>, "Exp", Result::Number, kPure},
    {"atn", 1, 1, mathFunction<atanOf, anyReal>, "Atn", Result::Number, kPure},
    {"sin", 1, 1, mathFunction<sinOf, anyReal>, "Sin", Result::Number, kPure},
    {"cos", 1, 1, mathFunction<cosOf, anyReal>, "Cos", Result::Number, kPure},
    {"tan", 1, 1, mathFunction<tanOf, anyReal>, "Tan", Result::Number, kPure},
    {"int", 1, 1, fnInt, "Int", Result::Number, kPure},
    {"fix", 1, 1, fnFix, "Fix", Result::Number, kPure},
    {"abs", 1, 1, fnAbs, "Abs", Result::Number, kPure},
    {"sgn", 1, 1, fnSgn, "Sgn", Result::Number, kPure},
    {"round", 1, 2, fnRound, "Round", Result::Number, kPure},
    {"cint", 1, 1, fnCInt, "CInt", Result::Number, kPure},
    {"clng", 1, 1, fnCLng, "CLng", Result::Number, kPure},
    {"cdbl", 1, 1, fnCDbl, "CDbl", Result::Number, kPure},
    {"cstr", 1, 1, fnCStr, "CStr", Result::Text, kPure},
    {"nz", 1, 2, fnNz, "Nz", Result::FirstArgument, kPure},
    {"isnull", 1, 1, fnIsNull, "IsNull", Result::Number, kPure, false},
    {"cat", 0, -1, fnCat, "&", Result::Text, kPure, false},
    {"mod", 2, 2, fnMod, "Mod", Result::Number, kPure, false},
    {"idiv", 2, 2, fnIntegerDivide, "\\", Result::Number, kPure, false},
    {"div", 2, 2, fnDivide, "/", Result::Number, kPure, false},
    {"pow", 2, 2, fnPower, "^", Result::Number, kPure, false},
};

} // namespace

std::span<const Definition> numberFunctions() {
    return kNumberFunctions;
}

// Every table of scalar functions; the operators' helpers are in it too, but no user calls them.
constexpr std::span<const Definition> (*kTables[])() = {
    numberFunctions,        textFunctions,       dateFunctions,      serialDateFunctions, formatFunction,
    formatVariantFunctions, conversionFunctions, financialFunctions, operatorFunctions};

std::optional<Signature> findFunction(std::string_view name) {
    const bool stringForm = name.size() > 1 && name.back() == '$';
    if (stringForm) name.remove_suffix(1);
    for (const auto table : kTables)
        for (const Definition& d : table())
            if (d.callable && name == d.name)
                return Signature{stringForm && hasStringForm(d) ? stringFormName(d)
                                                                : std::string("dlg_") + d.name,
                                 d.minArgs, d.maxArgs, d.result};
    return findAggregate(name);
}

} // namespace functions

void registerDialect(sqlite3* db) {
    if (registerTextCollation(db) != SQLITE_OK)
        throw Error(InvalidOperation,
                    std::string("Cannot install the text collation: ") + sqlite3_errmsg(db));
    for (const auto table : functions::kTables)
        functions::registerScalars(db, table());
    functions::registerAggregates(db);
}

} // namespace engine
