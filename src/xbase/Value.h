// A field value as the file layer hands it out: typed, decoded, Null where the file says so.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace xbase {

struct Null {
    auto operator<=>(const Null&) const = default;
};

struct Date {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    auto operator<=>(const Date&) const = default;
};

struct DateTime {
    Date date;
    std::int32_t msecOfDay = 0; // 0..86'399'999
    auto operator<=>(const DateTime&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// Text is UTF-8. Integers come from N/F fields without decimals, I and + fields; Reals from N/F with
// decimals, B, O and Y. Bytes are binary memo/general/picture/varbinary contents.
using Value = std::variant<Null, std::string, std::int64_t, double, bool, Date, DateTime, Bytes>;

inline bool isNull(const Value& v) {
    return std::holds_alternative<Null>(v);
}

// Calendar helpers shared by the date-like field types.
bool isValidDate(const Date& d);
std::int64_t julianDay(const Date& d); // Julian day number (1970-01-01 = 2'440'588)
Date dateFromJulianDay(std::int64_t jdn);

} // namespace xbase
