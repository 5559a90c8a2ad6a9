// The dialect's dates: parsing date text, serial numbers, Year ... DatePart, DateAdd, DateDiff, CDate.
#include "engine/FunctionsSupport.h"
#include "xbase/Ascii.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace engine::functions {

namespace {

constexpr std::int64_t kUnixEpochDay = 25569; // 1970-01-01 as a day number from 1899-12-30
constexpr int kSecondsPerDay = 86400;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

const char* const kMonthNames[12] = {"january", "february", "march",     "april",   "may",      "june",
                                     "july",    "august",   "september", "october", "november", "december"};
const char* const kDayNames[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                  "thursday", "friday", "saturday"};

std::string lower(std::string_view s) {
    return xbase::ascii::lower(s);
}

// A month name or its abbreviation of at least three letters ("Mar", "Sept"); 0 when none.
int monthFromWord(std::string_view word) {
    const std::string w = lower(word);
    if (w.size() < 3) return 0;
    for (int i = 0; i < 12; ++i)
        if (std::string_view(kMonthNames[i]).substr(0, w.size()) == w) return i + 1;
    return 0;
}

bool isDayName(std::string_view word) {
    const std::string w = lower(word);
    if (w.size() < 3) return false;
    for (const char* name : kDayNames)
        if (std::string_view(name).substr(0, w.size()) == w) return true;
    return false;
}

int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int expandYear(int year, int digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

DateTime localNow() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return {daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
            local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
}

struct Token {
    enum Kind { Number, Word, Separator } kind;
    std::string_view text;
    int value = 0;
};

std::vector<Token> tokenize(std::string_view s, bool& ok) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    ok = true;
    while (i < s.size()) {
        const auto ch = static_cast<unsigned char>(s[i]);
        std::size_t j = i + 1;
        if (std::isdigit(ch)) {
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                ++j;
            if (j - i > 9) ok = false;
            int value = 0;
            for (std::size_t k = i; k < j && ok; ++k)
                value = value * 10 + (s[k] - '0');
            tokens.push_back({Token::Number, s.substr(i, j - i), value});
        } else if (std::isalpha(ch)) {
            while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j])))
                ++j;
            tokens.push_back({Token::Word, s.substr(i, j - i)});
        } else if (ch == ' ' || ch == ',' || ch == '-' || ch == '/' || ch == '.' || ch == ':' || ch == '\t') {
            if (ch != ' ' && ch != '\t') tokens.push_back({Token::Separator, s.substr(i, 1)});
        } else {
            ok = false;
        }
        i = j;
    }
    return tokens;
}

bool isSeparator(const Token& t, char c) {
    return t.kind == Token::Separator && t.text[0] == c;
}

// Takes h:mm[:ss[.fff]] [AM|PM|A|P] out of the tokens; false when a time is there but invalid.
bool takeTime(std::vector<Token>& tokens, int& seconds, bool& found) {
    found = false;
    for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Number || !isSeparator(tokens[i + 1], ':') ||
            tokens[i + 2].kind != Token::Number)
            continue;
        int hour = tokens[i].value;
        const int minute = tokens[i + 2].value;
        int second = 0;
        std::size_t end = i + 3;
        if (end + 1 < tokens.size() && isSeparator(tokens[end], ':') &&
            tokens[end + 1].kind == Token::Number) {
            second = tokens[end + 1].value;
            end += 2;
            if (end + 1 < tokens.size() && isSeparator(tokens[end], '.') &&
                tokens[end + 1].kind == Token::Number)
                end += 2; // fractions of a second are dropped
        }
        if (end < tokens.size() && tokens[end].kind == Token::Word) {
            const std::string w = lower(tokens[end].text);
            if (w == "am" || w == "a" || w == "pm" || w == "p") {
                if (hour < 0 || hour > 12) return false;
                if (hour == 12) hour = 0;
                if (w[0] == 'p') hour += 12;
                ++end;
            }
        }
        if (hour > 23 || minute > 59 || second > 59) return false;
        seconds = hour * 3600 + minute * 60 + second;
        found = true;
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
        return true;
    }
    return true;
}

bool makeDate(int year, int yearDigits, int month, int day, std::int64_t& days) {
    year = expandYear(year, yearDigits);
    if (!validYear(year) || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    days = daysFromCivil(year, month, day);
    return true;
}

} // namespace

bool validYear(int year) {
    return year >= 100 && year <= 9999;
}

std::int64_t daysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1899-12-30.
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + kUnixEpochDay;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    const std::int64_t z = days - kUnixEpochDay + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int weekdayOf(std::int64_t days, int firstDay) {
    // Day 0 (1899-12-30) was a Saturday, the 7th day of a week that starts on Sunday.
    const std::int64_t x = days + 6 - (firstDay - 1);
    return static_cast<int>(x - floorDiv(x, 7) * 7) + 1;
}

std::optional<DateTime> dateFromSerial(double serial) {
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6) return std::nullopt;
    DateTime d;
    d.days = static_cast<std::int64_t>(std::trunc(serial));
    const double fraction = std::fabs(serial - static_cast<double>(d.days));
    d.seconds = static_cast<int>(std::llround(fraction * kSecondsPerDay));
    if (d.seconds >= kSecondsPerDay) {
        d.seconds -= kSecondsPerDay;
        ++d.days;
    }
    int y, m, dd;
    civilFromDays(d.days, y, m, dd);
    if (!validYear(y)) return std::nullopt;
    return d;
}

double serialFromDate(const DateTime& d) {
    const double fraction = static_cast<double>(d.seconds) / kSecondsPerDay;
    return d.days >= 0 ? static_cast<double>(d.days) + fraction : static_cast<double>(d.days) - fraction;
}

std::string dateText(const DateTime& d) {
    char buffer[40];
    const int h = d.seconds / 3600;
    const int n = d.seconds / 60 % 60;
    const int s = d.seconds % 60;
    if (d.days == 0 && d.seconds != 0) {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, n, s);
        return buffer;
    }
    int year, month, day;
    civilFromDays(d.days, year, month, day);
    if (d.seconds == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, n, s);
    return buffer;
}

std::optional<DateTime> parseDate(std::string_view text) {
    bool ok = true;
    std::vector<Token> tokens = tokenize(text, ok);
    if (!ok || tokens.empty()) return std::nullopt;
    // ISO's 'T' between date and time is a separator.
    for (Token& t : tokens)
        if (t.kind == Token::Word && (t.text == "T" || t.text == "t")) t = {Token::Separator, " "};
    DateTime result;
    bool hasTime = false;
    if (!takeTime(tokens, result.seconds, hasTime)) return std::nullopt;

    std::vector<Token> items;
    bool slash = false;
    int dots = 0;
    for (const Token& t : tokens) {
        if (t.kind == Token::Separator) {
            slash = slash || t.text[0] == '/' || t.text[0] == '-';
            dots += t.text[0] == '.';
            if (t.text[0] == ':') return std::nullopt;
            continue;
        }
        if (t.kind == Token::Word) {
            if (isDayName(t.text)) continue;
            if (monthFromWord(t.text) == 0) return std::nullopt;
        }
        items.push_back(t);
    }
    if (items.empty()) {
        if (!hasTime) return std::nullopt;
        result.days = 0;
        return result;
    }
    auto digits = [](const Token& t) { return static_cast<int>(t.text.size()); };
    int monthAt = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].kind == Token::Word) {
            if (monthAt >= 0) return std::nullopt;
            monthAt = static_cast<int>(i);
        }
    // Forms without a year ("3/1", "Mar 1") take the current one.
    const auto currentYear = [] {
        int year, month, day;
        civilFromDays(localNow().days, year, month, day);
        return year;
    };
    bool valid = false;
    if (items.size() == 3) {
        const Token &a = items[0], &b = items[1], &c = items[2];
        if (monthAt == 0)
            valid = makeDate(c.value, digits(c), monthFromWord(a.text), b.value, result.days);
        else if (monthAt == 1)
            valid = makeDate(c.value, digits(c), monthFromWord(b.text), a.value, result.days);
        else if (monthAt < 0 && digits(a) >= 3)
            valid = makeDate(a.value, digits(a), b.value, c.value, result.days);
        else if (monthAt < 0 && dots > 0 && !slash)
            // 31.12.2024: dotted dates are day first wherever they are written.
            valid = makeDate(c.value, digits(c), b.value, a.value, result.days);
        else if (monthAt < 0)
            // U.S. order m/d/y; a first number that cannot be a month is taken as the day.
            valid = makeDate(c.value, digits(c), a.value, b.value, result.days) ||
                    (a.value > 12 && makeDate(c.value, digits(c), b.value, a.value, result.days));
    } else if (items.size() == 2 && dots == 0) {
        const Token &a = items[0], &b = items[1];
        if (monthAt == 0 && (digits(b) >= 3 || b.value > 31))
            valid = makeDate(b.value, digits(b), monthFromWord(a.text), 1, result.days);
        else if (monthAt == 0)
            valid = makeDate(currentYear(), 4, monthFromWord(a.text), b.value, result.days);
        else if (monthAt == 1)
            valid = makeDate(currentYear(), 4, monthFromWord(b.text), a.value, result.days);
        else if (slash && digits(b) >= 3)
            valid = makeDate(b.value, digits(b), a.value, 1, result.days);
        else if (slash)
            valid = makeDate(currentYear(), 4, a.value, b.value, result.days);
    }
    if (!valid) return std::nullopt;
    return result;
}

namespace {

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval intervalArgument(Call& c, int i) {
    if (c.isNull(i)) c.invalidUseOfNull();
    const std::string s = lower(c.text(i));
    if (s == "yyyy") return Interval::Year;
    if (s == "q") return Interval::Quarter;
    if (s == "m") return Interval::Month;
    if (s == "y") return Interval::DayOfYear;
    if (s == "d") return Interval::Day;
    if (s == "w") return Interval::Weekday;
    if (s == "ww") return Interval::Week;
    if (s == "h") return Interval::Hour;
    if (s == "n") return Interval::Minute;
    if (s == "s") return Interval::Second;
    Call::fail(std::string("Invalid interval '") + c.text(i) + "' in function " + c.name() +
               " (use yyyy, q, m, y, d, w, ww, h, n or s)");
}

template <int Part> void fnPart(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const DateTime d = c.date(0);
    int year, month, day;
    civilFromDays(d.days, year, month, day);
    const int values[] = {year, month, day, d.seconds / 3600, d.seconds / 60 % 60, d.seconds % 60};
    c.setInteger(values[Part]);
}

void fnWeekday(Call& c) {
    const int firstDay = firstDayArgument(c, 1);
    if (c.isNull(0)) return c.setNull();
    c.setInteger(weekdayOf(c.date(0).days, firstDay));
}

void fnDate(Call& c) {
    c.setDate({localNow().days, 0});
}
void fnNow(Call& c) {
    c.setDate(localNow());
}
void fnTime(Call& c) {
    c.setDate({0, localNow().seconds});
}

void fnCDate(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    c.setDate(c.date(0));
}

// Adding months keeps the day, or the last day of a shorter month (31 Jan + 1 month = 28/29 Feb).
void fnDateAdd(Call& c) {
    const Interval interval = intervalArgument(c, 0);
    if (c.isNull(1) || c.isNull(2)) return c.setNull();
    const std::int64_t n = c.whole(1);
    DateTime d = c.date(2);
    if (n > 100'000'000 || n < -100'000'000) c.invalidArgument();
    int year, month, day;
    civilFromDays(d.days, year, month, day);
    std::int64_t months = 0;
    std::int64_t seconds = 0;
    switch (interval) {
    case Interval::Year:
        months = 12 * n;
        break;
    case Interval::Quarter:
        months = 3 * n;
        break;
    case Interval::Month:
        months = n;
        break;
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday:
        seconds = n * kSecondsPerDay;
        break;
    case Interval::Week:
        seconds = 7 * n * kSecondsPerDay;
        break;
    case Interval::Hour:
        seconds = 3600 * n;
        break;
    case Interval::Minute:
        seconds = 60 * n;
        break;
    case Interval::Second:
        seconds = n;
        break;
    }
    if (months != 0) {
        const std::int64_t total = static_cast<std::int64_t>(year) * 12 + (month - 1) + months;
        const std::int64_t newYear = floorDiv(total, 12);
        if (newYear < 100 || newYear > 9999) c.invalidArgument();
        year = static_cast<int>(newYear);
        month = static_cast<int>(total - newYear * 12) + 1;
        d.days = daysFromCivil(year, month, std::min(day, daysInMonth(year, month)));
    }
    const std::int64_t instant = d.days * kSecondsPerDay + d.seconds + seconds;
    d.days = floorDiv(instant, kSecondsPerDay);
    d.seconds = static_cast<int>(instant - d.days * kSecondsPerDay);
    civilFromDays(d.days, year, month, day);
    if (!validYear(year)) c.invalidArgument();
    c.setDate(d);
}

// The first day of week 1 of a year: the week holding 1 January (firstWeek 1), the first week
// with four days of the year (2), or the first whole week (3).
std::int64_t firstWeekStart(int year, int firstDay, int firstWeek) {
    const std::int64_t jan1 = daysFromCivil(year, 1, 1);
    const int offset = weekdayOf(jan1, firstDay) - 1;
    const std::int64_t start = jan1 - offset;
    if (firstWeek == 2 && offset > 3) return start + 7;
    if (firstWeek == 3 && offset > 0) return start + 7;
    return start;
}

} // namespace

int weekOfYear(std::int64_t days, int firstDay, int firstWeek) {
    int year, month, day;
    civilFromDays(days, year, month, day);
    std::int64_t start = firstWeekStart(year, firstDay, firstWeek);
    if (days < start) {
        start = firstWeekStart(year - 1, firstDay, firstWeek);
    } else if (firstWeek != 1) {
        const std::int64_t next = firstWeekStart(year + 1, firstDay, firstWeek);
        if (days >= next) start = next;
    }
    return static_cast<int>((days - start) / 7 + 1);
}

int firstDayArgument(Call& c, int i) {
    if (c.count() <= i || c.isNull(i)) return 1;
    const std::int64_t v = c.whole(i);
    if (v < 0 || v > 7) c.invalidArgument();
    return v == 0 ? 1 : static_cast<int>(v);
}

namespace {

void fnDatePart(Call& c) {
    const Interval interval = intervalArgument(c, 0);
    const int firstDay = firstDayArgument(c, 2);
    int firstWeek = 1;
    if (c.count() > 3 && !c.isNull(3)) {
        const std::int64_t v = c.whole(3);
        if (v < 0 || v > 3) c.invalidArgument();
        firstWeek = v == 0 ? 1 : static_cast<int>(v);
    }
    if (c.isNull(1)) return c.setNull();
    const DateTime d = c.date(1);
    int year, month, day;
    civilFromDays(d.days, year, month, day);
    switch (interval) {
    case Interval::Year:
        return c.setInteger(year);
    case Interval::Quarter:
        return c.setInteger((month - 1) / 3 + 1);
    case Interval::Month:
        return c.setInteger(month);
    case Interval::DayOfYear:
        return c.setInteger(d.days - daysFromCivil(year, 1, 1) + 1);
    case Interval::Day:
        return c.setInteger(day);
    case Interval::Weekday:
        return c.setInteger(weekdayOf(d.days, firstDay));
    case Interval::Week:
        return c.setInteger(weekOfYear(d.days, firstDay, firstWeek));
    case Interval::Hour:
        return c.setInteger(d.seconds / 3600);
    case Interval::Minute:
        return c.setInteger(d.seconds / 60 % 60);
    case Interval::Second:
        return c.setInteger(d.seconds % 60);
    }
}

// DateDiff counts the boundaries of the interval crossed between the two dates.
void fnDateDiff(Call& c) {
    const Interval interval = intervalArgument(c, 0);
    const int firstDay = firstDayArgument(c, 3);
    if (c.isNull(1) || c.isNull(2)) return c.setNull();
    const DateTime a = c.date(1);
    const DateTime b = c.date(2);
    int y1, m1, d1, y2, m2, d2;
    civilFromDays(a.days, y1, m1, d1);
    civilFromDays(b.days, y2, m2, d2);
    const std::int64_t ta = a.days * kSecondsPerDay + a.seconds;
    const std::int64_t tb = b.days * kSecondsPerDay + b.seconds;
    const auto weekIndex = [&](std::int64_t days) { return floorDiv(days + 6 - (firstDay - 1), 7); };
    switch (interval) {
    case Interval::Year:
        return c.setInteger(y2 - y1);
    case Interval::Quarter:
        return c.setInteger((y2 * 4 + (m2 - 1) / 3) - (y1 * 4 + (m1 - 1) / 3));
    case Interval::Month:
        return c.setInteger((y2 * 12 + m2) - (y1 * 12 + m1));
    case Interval::DayOfYear:
    case Interval::Day:
        return c.setInteger(b.days - a.days);
    case Interval::Weekday:
        return c.setInteger((b.days - a.days) / 7);
    case Interval::Week:
        return c.setInteger(weekIndex(b.days) - weekIndex(a.days));
    case Interval::Hour:
        return c.setInteger(floorDiv(tb, 3600) - floorDiv(ta, 3600));
    case Interval::Minute:
        return c.setInteger(floorDiv(tb, 60) - floorDiv(ta, 60));
    case Interval::Second:
        return c.setInteger(tb - ta);
    }
}

const Definition kDateFunctions[] = {
    {"year", 1, 1, fnPart<0>, "Year", Result::Number, kPure},
    {"month", 1, 1, fnPart<1>, "Month", Result::Number, kPure},
    {"day", 1, 1, fnPart<2>, "Day", Result::Number, kPure},
    {"hour", 1, 1, fnPart<3>, "Hour", Result::Number, kPure},
    {"minute", 1, 1, fnPart<4>, "Minute", Result::Number, kPure},
    {"second", 1, 1, fnPart<5>, "Second", Result::Number, kPure},
    {"weekday", 1, 2, fnWeekday, "Weekday", Result::Number, kPure},
    {"date", 0, 0, fnDate, "Date", Result::Date, kVolatile},
    {"now", 0, 0, fnNow, "Now", Result::Date, kVolatile},
    {"time", 0, 0, fnTime, "Time", Result::Date, kVolatile},
    {"cdate", 1, 1, fnCDate, "CDate", Result::Date, kPure},
    {"dateadd", 3, 3, fnDateAdd, "DateAdd", Result::Date, kPure},
    {"datediff", 3, 5, fnDateDiff, "DateDiff", Result::Number, kPure},
    {"datepart", 2, 4, fnDatePart, "DatePart", Result::Number, kPure},
};

} // namespace

std::span<const Definition> dateFunctions() {
    return kDateFunctions;
}

} // namespace engine::functions
