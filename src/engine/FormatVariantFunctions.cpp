// FormatNumber, FormatCurrency, FormatPercent and FormatDateTime: Format with a pattern made from
// their arguments.
//
// Like Format, they do not read regional settings: two decimals unless asked otherwise, a leading
// zero, digits grouped by ',' with '.' for the decimal point, a minus sign rather than parentheses,
// no currency symbol; dates as Format's Long Date, Short Date, Long Time and Short Time.
#include "engine/FunctionsSupport.h"

#include <string>
#include <vector>

namespace engine::functions {

namespace {

constexpr std::int64_t kUseDefault = -2;

// A Tristate argument: True (-1) or False (0); absent, Null or UseDefault (-2) give the default.
bool tristateArgument(Call& c, int i, bool fallback) {
    if (c.count() <= i || c.isNull(i)) return fallback;
    const std::int64_t v = c.whole(i);
    if (v == kUseDefault) return fallback;
    return v != 0;
}

// FormatNumber(x [, digits [, leadingZero [, parentheses [, group]]]]) and its kin; percent
// shows x times 100 followed by '%'.
template <bool Percent> void formatNumberLike(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const double v = c.real(0);
    std::int64_t digits = 2;
    if (c.count() > 1 && !c.isNull(1)) {
        digits = c.whole(1);
        if (digits == -1) digits = 2;
        if (digits < 0 || digits > 99) c.invalidArgument();
    }
    const bool leadingZero = tristateArgument(c, 2, true) || digits == 0;
    const bool parentheses = tristateArgument(c, 3, false);
    const bool group = tristateArgument(c, 4, true);
    std::string pattern = group ? (leadingZero ? "#,##0" : "#,###") : (leadingZero ? "0" : "#");
    if (digits > 0) pattern += "." + std::string(static_cast<std::size_t>(digits), '0');
    if (Percent) pattern += '%';
    std::vector<std::string> sections{pattern};
    if (parentheses) sections.push_back("(" + pattern + ")");
    c.setText(formatNumberSections(v, sections));
}

// FormatDateTime(d [, namedFormat]): 0 the general date (the date, the time, or both), 1 the long
// date, 2 the short date, 3 the long time, 4 the short time.
void fnFormatDateTime(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    std::int64_t named = 0;
    if (c.count() > 1 && !c.isNull(1)) named = c.whole(1);
    if (named < 0 || named > 4) c.invalidArgument();
    const DateTime d = c.date(0);
    static const char* const kPatterns[] = {nullptr, "dddd, mmmm d, yyyy", "yyyy-mm-dd", "hh:nn:ss", "hh:nn"};
    c.setText(named == 0 ? dateText(d) : formatDatePattern(d, kPatterns[named]));
}

const Definition kFormatVariantFunctions[] = {
    {"formatnumber", 1, 5, formatNumberLike<false>, "FormatNumber", Result::Text, kPure},
    {"formatcurrency", 1, 5, formatNumberLike<false>, "FormatCurrency", Result::Text, kPure},
    {"formatpercent", 1, 5, formatNumberLike<true>, "FormatPercent", Result::Text, kPure},
    {"formatdatetime", 1, 2, fnFormatDateTime, "FormatDateTime", Result::Text, kPure},
};

} // namespace

std::span<const Definition> formatVariantFunctions() {
    return kFormatVariantFunctions;
}

} // namespace engine::functions
