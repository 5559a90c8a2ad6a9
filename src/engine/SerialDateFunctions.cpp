// Dates built from their parts or taken out of text: DateSerial, TimeSerial, DateValue, TimeValue,
// MonthName, WeekdayName.
#include "engine/FunctionsSupport.h"

#include <string>

namespace engine::functions {

namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

// Argument i as the classic Integer parameter: rounded half to even, within 16 bits.
std::int64_t integerArgument(Call& c, int i) {
    if (c.isNull(i)) c.invalidUseOfNull();
    const std::int64_t v = c.whole(i);
    if (v < -32768 || v > 32767) c.overflow();
    return v;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// DateSerial(year, month, day): months and days beyond their range carry into the next (or back
// into the previous) month and year, so month 14 is February of the next year and day 0 the last
// day of the month before. Years 0 to 29 are 2000 to 2029, 30 to 99 are 1930 to 1999.
void fnDateSerial(Call& c) {
    std::int64_t year = integerArgument(c, 0);
    const std::int64_t month = integerArgument(c, 1);
    const std::int64_t day = integerArgument(c, 2);
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    const std::int64_t months = year * 12 + (month - 1);
    const std::int64_t y = floorDiv(months, 12);
    const int m = static_cast<int>(months - y * 12) + 1;
    if (y < 0 || y > 10000) c.invalidArgument();
    const std::int64_t days = daysFromCivil(static_cast<int>(y), m, 1) + (day - 1);
    int resultYear, resultMonth, resultDay;
    civilFromDays(days, resultYear, resultMonth, resultDay);
    if (!validYear(resultYear)) c.invalidArgument();
    c.setDate({days, 0});
}

// TimeSerial(hour, minute, second): the time of that many seconds after midnight of day 0. Beyond
// a day it carries into the following days; before midnight it is the serial's negative fraction,
// which as a date is that time counted back (TimeSerial(-1, 0, 0) shows 01:00:00).
void fnTimeSerial(Call& c) {
    const std::int64_t seconds =
        integerArgument(c, 0) * 3600 + integerArgument(c, 1) * 60 + integerArgument(c, 2);
    const auto d = dateFromSerial(static_cast<double>(seconds) / 86400.0);
    if (!d) c.overflow();
    c.setDate(*d);
}

// DateValue and TimeValue read text (or a date) and keep only its date or its time.
DateTime textDate(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    if (c.type(0) != SQLITE_TEXT) c.typeMismatch();
    const auto d = parseDate(c.text(0));
    if (!d) c.typeMismatch();
    return *d;
}

void fnDateValue(Call& c) {
    c.setDate({textDate(c).days, 0});
}

void fnTimeValue(Call& c) {
    c.setDate({0, textDate(c).seconds});
}

bool abbreviateArgument(Call& c, int i) {
    return c.count() > i && !c.isNull(i) && c.real(i) != 0;
}

void fnMonthName(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t month = c.whole(0);
    if (month < 1 || month > 12) c.invalidArgument();
    const std::string name = kMonthNames[month - 1];
    c.setText(abbreviateArgument(c, 1) ? name.substr(0, 3) : name);
}

// WeekdayName(n [, abbreviate [, firstDayOfWeek]]): day n of a week that starts on firstDayOfWeek
// (1 = Sunday, the default, ... 7 = Saturday).
void fnWeekdayName(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t n = c.whole(0);
    if (n < 1 || n > 7) c.invalidArgument();
    const int firstDay = firstDayArgument(c, 2);
    const std::string name = kDayNames[(n - 1 + firstDay - 1) % 7];
    c.setText(abbreviateArgument(c, 1) ? name.substr(0, 3) : name);
}

const Definition kSerialDateFunctions[] = {
    {"dateserial", 3, 3, fnDateSerial, "DateSerial", Result::Date, kPure},
    {"timeserial", 3, 3, fnTimeSerial, "TimeSerial", Result::Date, kPure},
    {"datevalue", 1, 1, fnDateValue, "DateValue", Result::Date, kPure},
    {"timevalue", 1, 1, fnTimeValue, "TimeValue", Result::Date, kPure},
    {"monthname", 1, 2, fnMonthName, "MonthName", Result::Text, kPure},
    {"weekdayname", 1, 3, fnWeekdayName, "WeekdayName", Result::Text, kPure},
};

} // namespace

std::span<const Definition> serialDateFunctions() {
    return kSerialDateFunctions;
}

} // namespace engine::functions
