// Plumbing shared by the dialect's SQL functions: arguments, results, errors, numbers and dates.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace engine::functions {

// Thrown inside a function body; the trampoline reports it through sqlite3_result_error.
struct FunctionError {
    std::string message;
};

// A number as SQLite holds it; integers stay exact.
struct Number {
    bool isInteger = false;
    std::int64_t integer = 0;
    double real = 0.0;
    double value() const { return isInteger ? static_cast<double>(integer) : real; }
};

// A point in time: whole days since 1899-12-30 (day 0 of the classic date serial) and the seconds
// into that day. Unlike the serial, days before day 0 still count the time forward from midnight.
struct DateTime {
    std::int64_t days = 0;
    int seconds = 0;
};

// One call of a function: typed access to its arguments and the ways to answer.
class Call {
public:
    Call(sqlite3_context* context, int argc, sqlite3_value** argv, const char* name)
        : m_context(context), m_argc(argc), m_argv(argv), m_name(name) {}

    sqlite3_context* context() const { return m_context; }
    int count() const { return m_argc; }
    const char* name() const { return m_name; }
    sqlite3_value* value(int i) const { return m_argv[i]; }
    int type(int i) const { return sqlite3_value_type(m_argv[i]); }
    bool isNull(int i) const { return type(i) == SQLITE_NULL; }
    bool anyNull() const;

    // The classic run-time errors, naming this function.
    [[noreturn]] void invalidUseOfNull() const;
    [[noreturn]] void typeMismatch() const;
    [[noreturn]] void overflow() const;
    [[noreturn]] void invalidArgument() const;
    [[noreturn]] static void fail(const std::string& message);

    // Conversions of argument i; a Null argument throws invalidUseOfNull.
    std::string text(int i) const; // text as stored; numbers as CStr writes them
    Number number(int i) const;    // numbers; text reading as a number or a date; else type mismatch
    double real(int i) const { return number(i).value(); }
    std::int64_t whole(int i) const; // rounded half to even, as CLng rounds
    DateTime date(int i) const;      // dates as text, or a serial number

    void setNull() { sqlite3_result_null(m_context); }
    void setInteger(std::int64_t v) { sqlite3_result_int64(m_context, v); }
    void setReal(double v);
    void setWhole(double v); // an integer when v is whole and fits, else a real
    void setText(std::string_view v);
    void setBoolean(bool v) { setInteger(v ? -1 : 0); }
    void setDate(const DateTime& d);
    void setArgument(int i) { sqlite3_result_value(m_context, m_argv[i]); }

private:
    sqlite3_context* m_context;
    int m_argc;
    sqlite3_value** m_argv;
    const char* m_name;
};

using Body = void (*)(Call&);

// What the translator knows of a function's result before it runs.
enum class Result { Number, Text, Date, Unknown, FirstArgument };

// One function of the library: the one entry that both the translator's checks (is there such a
// function, with this many arguments, and of what kind is its result) and the registration with SQLite
// read. It is registered as dlg_<name> (or as sqlName where one is given) for every argument count
// from minArgs to maxArgs (-1: any count).
struct Definition {
    const char* name; // as users write it, lower case
    int minArgs;
    int maxArgs;
    Body body;
    const char* displayName; // the name its errors give
    Result result;
    int flags;
    // False for the helpers of operators (&, Mod, \, /, ^, +, -, Like) and of IsNull, which the
    // translator emits itself: no user calls them by name.
    bool callable = true;
    const char* sqlName = nullptr;
};

inline constexpr int kPure = SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
inline constexpr int kVolatile = SQLITE_INNOCUOUS; // the clock: not deterministic

// The library's tables, by area.
std::span<const Definition> numberFunctions();
std::span<const Definition> textFunctions();
std::span<const Definition> dateFunctions();
std::span<const Definition> formatFunction();
std::span<const Definition> formatVariantFunctions();
std::span<const Definition> conversionFunctions();
std::span<const Definition> serialDateFunctions();
std::span<const Definition> financialFunctions();
std::span<const Definition> operatorFunctions();

// A function users may call, as the translator needs to know it.
struct Signature {
    std::string sqlName;
    int minArgs = 0;
    int maxArgs = 0;
    Result result = Result::Unknown;
};
// The function of that name (lower case), scalar or aggregate; nullopt when the dialect has none.
// A trailing '$' asks for the form that answers text only: where the function passes Null through
// (Left, Mid, Str, Hex ...), its '$' form refuses Null with "Invalid use of Null"; other functions
// are the same with or without the '$'.
std::optional<Signature> findFunction(std::string_view name);

// Registers scalar functions; throws engine::Error naming the first that SQLite refused.
void registerScalars(sqlite3* db, std::span<const Definition> definitions);
void registerAggregates(sqlite3* db);
// The aggregates the dialect has beyond SQLite's Count, Sum, Avg, Min and Max.
std::optional<Signature> findAggregate(std::string_view name);

// Numbers as text the way CStr writes them: integers plainly, reals with up to 15 significant
// digits ("0.3", "1E+20", "1.5E-07").
std::string numberText(const Number& n);
std::string realText(double v);
// Reads text as the classic engine converts it to a number: blanks around, sign, digits with ','
// grouping, '.', exponent E or D, or &H / &O as a signed 16-bit or 32-bit value; nullopt when the
// whole text is not a number.
std::optional<Number> parseNumber(std::string_view text);
double roundHalfEven(double v);

// Format's engine for the functions that build their pattern themselves: a number in one to four
// ';' sections, a date in a date pattern.
std::string formatNumberSections(double v, const std::vector<std::string>& sections);
std::string formatDatePattern(const DateTime& d, std::string_view pattern);

// Dates. parseDate reads ISO text (2024-03-01, 2024-03-01 17:04:23), U.S. m/d/y text, month names
// (March 1, 2024; 1 Mar 2024; 01-Mar-24) and times (17:04, 5:04 PM); nullopt otherwise.
std::optional<DateTime> parseDate(std::string_view text);
// A serial number (days since 1899-12-30, fraction = time); nullopt outside years 100 to 9999.
std::optional<DateTime> dateFromSerial(double serial);
double serialFromDate(const DateTime& d);
// 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM:SS', or 'HH:MM:SS' for a time on day 0.
std::string dateText(const DateTime& d);
std::int64_t daysFromCivil(int year, int month, int day);
void civilFromDays(std::int64_t days, int& year, int& month, int& day);
// 1 to 7, counted from firstDay (1 = Sunday ... 7 = Saturday).
int weekdayOf(std::int64_t days, int firstDay);
// Week of the year; week 1 holds 1 January (firstWeek 1), or is the first week with four days of
// the year (2), or the first whole week (3).
int weekOfYear(std::int64_t days, int firstDay, int firstWeek);
// The optional first-day-of-week argument i: absent, Null and 0 mean Sunday; 1 = Sunday ... 7.
int firstDayArgument(Call& c, int i);
bool validYear(int year);

} // namespace engine::functions
