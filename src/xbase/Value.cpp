// Calendar arithmetic for the date-like field types (D, T, @).
#include "xbase/Value.h"

namespace xbase {

bool isValidDate(const Date& d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int limit = days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    return d.day <= limit;
}

// Proleptic Gregorian calendar (Fliegel and Van Flandern).
std::int64_t julianDay(const Date& d) {
    const std::int64_t a = (14 - d.month) / 12;
    const std::int64_t y = d.year + 4800 - a;
    const std::int64_t m = d.month + 12 * a - 3;
    return d.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

Date dateFromJulianDay(std::int64_t jdn) {
    const std::int64_t a = jdn + 32044;
    const std::int64_t b = (4 * a + 3) / 146097;
    const std::int64_t c = a - 146097 * b / 4;
    const std::int64_t d = (4 * c + 3) / 1461;
    const std::int64_t e = c - 1461 * d / 4;
    const std::int64_t m = (5 * e + 2) / 153;
    Date out;
    out.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    out.month = static_cast<int>(m + 3 - 12 * (m / 10));
    out.year = static_cast<int>(100 * b + d - 4800 + m / 10);
    return out;
}

} // namespace xbase
