// The dialect's Format: named formats, number patterns (0 # . , % E+), date patterns, text patterns.
//
// The output does not depend on the system's regional settings: the decimal point is '.', the
// thousands separator ',', day and month names are English, "Short Date" is yyyy-mm-dd, times are
// 24-hour unless the pattern asks for AM/PM, and "Currency" is "#,##0.00" without a currency symbol.
#include "engine/Collation.h"
#include "engine/FunctionsSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace engine::functions {

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return out;
}

// Splits a pattern at ';' outside quotes and backslash escapes.
std::vector<std::string> splitSections(std::string_view format) {
    std::vector<std::string> sections(1);
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char ch = format[i];
        if (ch == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += ch;
        if (ch == '\\' && i + 1 < format.size()) {
            sections.back() += format[++i];
        } else if (ch == '"') {
            while (++i < format.size()) {
                sections.back() += format[i];
                if (format[i] == '"') break;
            }
        }
    }
    return sections;
}

// ---- Numbers --------------------------------------------------------------------------------------

// The decimal digits of x >= 0: digits d1 d2 ... with value d1.d2d3... x 10^exp10.
struct Decimal {
    std::string digits;
    int exp10 = 0;
};

Decimal decimalOf(double x) {
    Decimal d;
    if (x == 0.0) {
        d.digits = "0";
        return d;
    }
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.14e", x); // 15 significant digits, as the classic engine
    const std::string s = buffer;
    const std::size_t e = s.find('e');
    d.digits = s.substr(0, 1) + s.substr(2, e - 2);
    d.exp10 = std::atoi(s.c_str() + e + 1);
    return d;
}

// Keeps `keep` significant digits, rounding half away from zero; a carry raises exp10.
void roundTo(Decimal& d, int keep) {
    if (d.digits == "0") return;
    if (keep < 0) {
        d.digits = "0";
        d.exp10 = 0;
        return;
    }
    if (keep >= static_cast<int>(d.digits.size())) return;
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (!up) {
        if (d.digits.empty()) d = Decimal{"0", 0};
        return;
    }
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
        d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i >= 0)
        ++d.digits[static_cast<std::size_t>(i)];
    else {
        d.digits.insert(d.digits.begin(), '1');
        ++d.exp10;
    }
}

struct NumberElement {
    enum Kind { Literal, IntDigit, FracDigit, Point, ExpMark, ExpDigit } kind;
    std::string text;
};

struct NumberPattern {
    std::vector<NumberElement> elements;
    int intCount = 0;
    int intForced = 0; // integer places always shown: from the first '0' on
    int fracCount = 0;
    int fracForced = 0; // decimals always shown: up to the last '0'
    int expCount = 0;
    int expForced = 0;
    bool thousands = false;
    int scale = 0; // each ',' right of the last integer placeholder divides by 1000
    int percents = 0;
    bool exponent = false;
    bool exponentPlus = false;
};

NumberPattern parseNumberPattern(std::string_view s) {
    NumberPattern p;
    enum { Integer, Fraction, Exponent } region = Integer;
    int pendingCommas = 0;
    int firstZero = -1;
    auto literal = [&](std::string_view text) {
        if (!p.elements.empty() && p.elements.back().kind == NumberElement::Literal)
            p.elements.back().text += text;
        else
            p.elements.push_back({NumberElement::Literal, std::string(text)});
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch == '"') {
            const std::size_t end = s.find('"', i + 1);
            literal(s.substr(i + 1, (end == std::string_view::npos ? s.size() : end) - i - 1));
            i = end == std::string_view::npos ? s.size() : end;
        } else if (ch == '\\' && i + 1 < s.size()) {
            literal(s.substr(++i, 1));
        } else if (ch == '0' || ch == '#') {
            if (region == Integer) {
                if (pendingCommas > 0 && p.intCount > 0) p.thousands = true;
                pendingCommas = 0;
                if (ch == '0' && firstZero < 0) firstZero = p.intCount;
                ++p.intCount;
                p.elements.push_back({NumberElement::IntDigit, {}});
            } else if (region == Fraction) {
                ++p.fracCount;
                if (ch == '0') p.fracForced = p.fracCount;
                p.elements.push_back({NumberElement::FracDigit, {}});
            } else {
                ++p.expCount;
                p.expForced += ch == '0';
                p.elements.push_back({NumberElement::ExpDigit, {}});
            }
        } else if (ch == '.' && region == Integer) {
            if (p.intCount > 0) p.scale += pendingCommas;
            pendingCommas = 0;
            region = Fraction;
            p.elements.push_back({NumberElement::Point, {}});
        } else if (ch == ',' && region == Integer) {
            ++pendingCommas;
        } else if ((ch == 'E' || ch == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-') &&
                   region != Exponent) {
            if (region == Integer && p.intCount > 0) p.scale += pendingCommas;
            pendingCommas = 0;
            p.exponent = true;
            p.exponentPlus = s[i + 1] == '+';
            region = Exponent;
            p.elements.push_back({NumberElement::ExpMark, std::string(1, ch)});
            ++i;
        } else {
            if (ch == '%') ++p.percents;
            literal(s.substr(i, 1));
        }
    }
    if (region == Integer && p.intCount > 0) p.scale += pendingCommas;
    p.intForced = firstZero < 0 ? 0 : p.intCount - firstZero;
    return p;
}

// Formats x >= 0 with one section; allZero tells whether every digit shown is 0.
std::string renderNumber(double x, const NumberPattern& p, bool& allZero) {
    if (p.intCount == 0 && p.fracCount == 0 && p.expCount == 0 && p.percents == 0) {
        // No digit placeholder (nor %): the section is its literal text alone ("\Y\e\s;\N\o").
        std::string out;
        for (const NumberElement& e : p.elements)
            out += e.kind == NumberElement::Point ? std::string(".") : e.text;
        allZero = false;
        return out;
    }
    x *= std::pow(100.0, p.percents);
    x /= std::pow(1000.0, p.scale);
    Decimal d = decimalOf(x);
    std::string integer;
    std::string fraction;
    int exponent = 0;
    if (p.exponent) {
        const int places = std::max(p.intCount, 1);
        roundTo(d, places + p.fracCount);
        if (d.digits != "0") exponent = d.exp10 - (places - 1);
        d.digits.resize(static_cast<std::size_t>(places + p.fracCount), '0');
        integer = d.digits.substr(0, static_cast<std::size_t>(places));
        fraction = d.digits.substr(static_cast<std::size_t>(places));
        while (integer.size() > 1 && integer[0] == '0')
            integer.erase(0, 1);
    } else {
        roundTo(d, d.exp10 + 1 + p.fracCount);
        if (d.digits == "0") {
            fraction.assign(static_cast<std::size_t>(p.fracCount), '0');
        } else if (d.exp10 >= 0) {
            std::string all = d.digits;
            if (all.size() < static_cast<std::size_t>(d.exp10 + 1))
                all.resize(static_cast<std::size_t>(d.exp10 + 1), '0');
            integer = all.substr(0, static_cast<std::size_t>(d.exp10 + 1));
            fraction = all.substr(static_cast<std::size_t>(d.exp10 + 1));
        } else {
            fraction = std::string(static_cast<std::size_t>(-d.exp10 - 1), '0') + d.digits;
        }
        fraction.resize(static_cast<std::size_t>(p.fracCount), '0');
    }
    allZero = integer.find_first_not_of('0') == std::string::npos &&
              fraction.find_first_not_of('0') == std::string::npos;
    while (static_cast<int>(fraction.size()) > p.fracForced && !fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (integer == "0" && !p.exponent) integer.clear();
    if (static_cast<int>(integer.size()) < p.intForced)
        integer.insert(0, static_cast<std::size_t>(p.intForced) - integer.size(), '0');

    std::string expDigits = std::to_string(std::abs(exponent));
    if (static_cast<int>(expDigits.size()) < p.expForced)
        expDigits.insert(0, static_cast<std::size_t>(p.expForced) - expDigits.size(), '0');
    if (p.expForced == 0 && exponent == 0) expDigits.clear();

    std::string out;
    // Digits fill the placeholders from the right; digits beyond them go with the first one.
    auto emitDigits = [&](const std::string& digits, int placeholders, int index, bool group) {
        const int offset = static_cast<int>(digits.size()) - placeholders;
        for (int j = index == 0 ? 0 : index + offset; j <= index + offset; ++j) {
            if (j < 0) continue;
            out += digits[static_cast<std::size_t>(j)];
            const int remaining = static_cast<int>(digits.size()) - 1 - j;
            if (group && remaining > 0 && remaining % 3 == 0) out += ',';
        }
    };
    int intIndex = 0;
    int fracIndex = 0;
    int expIndex = 0;
    bool integerShown = false;
    for (const NumberElement& e : p.elements) {
        switch (e.kind) {
        case NumberElement::Literal:
            out += e.text;
            break;
        case NumberElement::IntDigit:
            emitDigits(integer, p.intCount, intIndex++, p.thousands);
            integerShown = true;
            break;
        case NumberElement::Point:
            if (!integerShown) out += integer; // a pattern such as ".00" still shows the whole part
            integerShown = true;
            out += '.';
            break;
        case NumberElement::FracDigit:
            if (fracIndex < static_cast<int>(fraction.size()))
                out += fraction[static_cast<std::size_t>(fracIndex)];
            ++fracIndex;
            break;
        case NumberElement::ExpMark:
            if (!integerShown) out += integer;
            integerShown = true;
            out += e.text;
            if (exponent < 0)
                out += '-';
            else if (p.exponentPlus)
                out += '+';
            break;
        case NumberElement::ExpDigit:
            emitDigits(expDigits, p.expCount, expIndex++, false);
            break;
        }
    }
    if (!integerShown) out = integer + out;
    return out;
}

std::string formatNumber(double v, const std::vector<std::string>& sections) {
    std::size_t index = 0;
    bool minus = false;
    if (v < 0 && sections.size() > 1 && !sections[1].empty()) {
        index = 1;
        v = -v;
    } else if (v < 0) {
        minus = true;
        v = -v;
    } else if (v == 0 && sections.size() > 2 && !sections[2].empty()) {
        index = 2;
    }
    if (sections[index].empty()) return (minus ? "-" : "") + realText(v); // an empty section: as is
    bool allZero = false;
    const std::string text = renderNumber(v, parseNumberPattern(sections[index]), allZero);
    return minus && !allZero ? "-" + text : text;
}

// ---- Dates ------------------------------------------------------------------------------------------

std::string two(int v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", v);
    return buffer;
}

// True when the next date token after position i (skipping literals) is s or ss.
bool secondsFollow(std::string_view s, std::size_t i) {
    for (; i < s.size(); ++i) {
        const char ch = static_cast<char>(s[i] | 0x20);
        if (ch == 's') return true;
        if (ch >= 'a' && ch <= 'z') return false;
    }
    return false;
}

std::string formatDate(const DateTime& d, std::string_view s, int firstDay, int firstWeek) {
    int year, month, day;
    civilFromDays(d.days, year, month, day);
    const int hour = d.seconds / 3600;
    const int minute = d.seconds / 60 % 60;
    const int second = d.seconds % 60;
    const std::string lowered = asciiLower(s);
    const bool twelveHour = lowered.find("am/pm") != std::string::npos ||
                            lowered.find("a/p") != std::string::npos ||
                            lowered.find("ampm") != std::string::npos;
    std::string out;
    bool afterHour = false;
    for (std::size_t i = 0; i < s.size();) {
        const char ch = s[i];
        const char lower = static_cast<char>(ch | 0x20);
        if (ch == '"') {
            const std::size_t end = s.find('"', i + 1);
            out += s.substr(i + 1, (end == std::string_view::npos ? s.size() : end) - i - 1);
            i = end == std::string_view::npos ? s.size() : end + 1;
            continue;
        }
        if (ch == '\\' && i + 1 < s.size()) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        if (lowered.compare(i, 5, "am/pm") == 0 || lowered.compare(i, 3, "a/p") == 0) {
            const std::size_t length = lowered.compare(i, 5, "am/pm") == 0 ? 5 : 3;
            const bool pm = hour >= 12;
            const std::size_t at = pm ? (length == 5 ? 3 : 2) : 0;
            out += s.substr(i + at, length == 5 ? 2 : 1);
            i += length;
            continue;
        }
        if (lowered.compare(i, 4, "ampm") == 0) {
            out += hour >= 12 ? "PM" : "AM";
            i += 4;
            continue;
        }
        std::size_t run = 1;
        if (std::string_view("dmyhnswqct").find(lower) != std::string_view::npos)
            while (i + run < s.size() && static_cast<char>(s[i + run] | 0x20) == lower)
                ++run;
        else {
            out += ch;
            afterHour = afterHour && (ch == ':' || ch == ' ');
            ++i;
            continue;
        }
        const int n = static_cast<int>(run);
        bool isHour = false;
        switch (lower) {
        case 'd':
            if (n == 1)
                out += std::to_string(day);
            else if (n == 2)
                out += two(day);
            else if (n == 3)
                out += std::string(kDays[weekdayOf(d.days, 1) - 1]).substr(0, 3);
            else if (n == 4)
                out += kDays[weekdayOf(d.days, 1) - 1];
            else if (n == 5)
                out += formatDate(d, "yyyy-mm-dd", firstDay, firstWeek);
            else
                out += formatDate(d, "dddd, mmmm d, yyyy", firstDay, firstWeek);
            break;
        case 'm':
            if (n <= 2 && (afterHour || secondsFollow(s, i + run)))
                out += n == 1 ? std::to_string(minute) : two(minute);
            else if (n == 1)
                out += std::to_string(month);
            else if (n == 2)
                out += two(month);
            else if (n == 3)
                out += std::string(kMonths[month - 1]).substr(0, 3);
            else
                out += kMonths[month - 1];
            break;
        case 'y':
            if (n == 1)
                out += std::to_string(d.days - daysFromCivil(year, 1, 1) + 1);
            else if (n == 2)
                out += two(year % 100);
            else
                out += std::to_string(year);
            break;
        case 'h': {
            int h = hour;
            if (twelveHour) h = hour % 12 == 0 ? 12 : hour % 12;
            out += n == 1 ? std::to_string(h) : two(h);
            isHour = true;
            break;
        }
        case 'n':
            out += n == 1 ? std::to_string(minute) : two(minute);
            break;
        case 's':
            out += n == 1 ? std::to_string(second) : two(second);
            break;
        case 'w':
            out += std::to_string(n == 1 ? weekdayOf(d.days, firstDay)
                                         : weekOfYear(d.days, firstDay, firstWeek));
            break;
        case 'q':
            out += std::to_string((month - 1) / 3 + 1);
            break;
        case 'c':
            out += dateText(d);
            break;
        case 't':
            if (n >= 5)
                out += formatDate(d, "hh:nn:ss", firstDay, firstWeek);
            else
                out += s.substr(i, run);
            break;
        }
        afterHour = isHour;
        i += run;
    }
    return out;
}

enum class PatternKind { Number, Date, Text };

// Digit placeholders make a number pattern; else @ or & a text pattern; else date letters (and
// ttttt, the time) a date pattern. Literal text alone counts as a number pattern.
PatternKind classify(std::string_view s) {
    bool date = false;
    bool text = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch == '"') {
            const std::size_t end = s.find('"', i + 1);
            i = end == std::string_view::npos ? s.size() : end;
        } else if (ch == '\\') {
            ++i;
        } else if (ch == '0' || ch == '#') {
            return PatternKind::Number;
        } else {
            text = text || ch == '@' || ch == '&' || ch == '<' || ch == '>';
            date = date || std::string_view("dmyhnswqcDMYHNSWQC").find(ch) != std::string_view::npos ||
                   asciiLower(s.substr(i, 5)) == "ttttt";
        }
    }
    return text ? PatternKind::Text : date ? PatternKind::Date : PatternKind::Number;
}

// ---- Text -------------------------------------------------------------------------------------------

// @ shows a character or a space, & a character or nothing; < and > change case; ! fills from the
// left instead of the right.
std::string formatText(const std::string& value, std::string_view s) {
    bool lowerAll = false, upperAll = false, fromLeft = false;
    int placeholders = 0;
    for (char ch : s) {
        lowerAll = lowerAll || ch == '<';
        upperAll = upperAll || ch == '>';
        fromLeft = fromLeft || ch == '!';
        placeholders += ch == '@' || ch == '&';
    }
    const std::string text = lowerAll ? lowerText(value) : upperAll ? upperText(value) : value;
    if (placeholders == 0) return text;
    std::vector<std::string> chars;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        decodeUtf8(text, pos);
        chars.push_back(text.substr(start, pos - start));
    }
    const int count = static_cast<int>(chars.size());
    const int offset = fromLeft ? 0 : count - placeholders;
    std::string out;
    int k = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch == '<' || ch == '>' || ch == '!') continue;
        if (ch == '"') {
            const std::size_t end = s.find('"', i + 1);
            out += s.substr(i + 1, (end == std::string_view::npos ? s.size() : end) - i - 1);
            i = end == std::string_view::npos ? s.size() : end;
        } else if (ch == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (ch == '@' || ch == '&') {
            const int src = k + offset;
            if (k == 0 && offset > 0)
                for (int j = 0; j < offset; ++j)
                    out += chars[static_cast<std::size_t>(j)];
            if (src >= 0 && src < count)
                out += chars[static_cast<std::size_t>(src)];
            else if (ch == '@')
                out += ' ';
            if (fromLeft && k == placeholders - 1)
                for (int j = src + 1; j < count; ++j)
                    out += chars[static_cast<std::size_t>(j)];
            ++k;
        } else {
            out += ch;
        }
    }
    return out;
}

// ---- Format -----------------------------------------------------------------------------------------

struct NamedFormat {
    const char* name;
    const char* pattern; // nullptr: handled in code
    bool date;
};

const NamedFormat kNamedFormats[] = {
    {"general number", nullptr, false},
    {"currency", "#,##0.00", false},
    {"fixed", "0.00", false},
    {"standard", "#,##0.00", false},
    {"percent", "0.00%", false},
    {"scientific", "0.00E+00", false},
    {"yes/no", nullptr, false},
    {"true/false", nullptr, false},
    {"on/off", nullptr, false},
    {"general date", nullptr, true},
    {"long date", "dddd, mmmm d, yyyy", true},
    {"medium date", "dd-mmm-yy", true},
    {"short date", "yyyy-mm-dd", true},
    {"long time", "hh:nn:ss", true},
    {"medium time", "hh:nn AM/PM", true},
    {"short time", "hh:nn", true},
};

void fnFormat(Call& c) {
    const std::string format = c.count() > 1 && !c.isNull(1) ? c.text(1) : std::string();
    const int firstDay = firstDayArgument(c, 2);
    int firstWeek = 1;
    if (c.count() > 3 && !c.isNull(3)) {
        const std::int64_t v = c.whole(3);
        if (v < 0 || v > 3) c.invalidArgument();
        firstWeek = v == 0 ? 1 : static_cast<int>(v);
    }
    const std::vector<std::string> sections = splitSections(format);
    if (c.isNull(0)) {
        // A fourth section is what Null shows; otherwise Null stays Null.
        if (sections.size() > 3) return c.setText(formatNumber(0, {sections[3]}));
        return c.setNull();
    }
    std::optional<Number> number;
    std::optional<DateTime> date;
    if (c.type(0) == SQLITE_INTEGER || c.type(0) == SQLITE_FLOAT) {
        number = c.number(0);
    } else {
        const std::string text = c.text(0);
        number = parseNumber(text);
        if (!number) date = parseDate(text);
    }
    if (format.empty()) {
        if (number) return c.setText(numberText(*number));
        return c.setText(date ? dateText(*date) : c.text(0));
    }
    const auto toDate = [&]() -> std::optional<DateTime> {
        if (date) return date;
        if (number) return dateFromSerial(number->value());
        return std::nullopt;
    };
    const auto toNumber = [&]() -> std::optional<double> {
        if (number) return number->value();
        if (date) return serialFromDate(*date);
        return std::nullopt;
    };
    const std::string name = asciiLower(format);
    for (const NamedFormat& named : kNamedFormats) {
        if (name != named.name) continue;
        if (named.date) {
            const auto d = toDate();
            if (!d) return c.setText(c.text(0));
            return c.setText(named.pattern ? formatDate(*d, named.pattern, firstDay, firstWeek)
                                           : dateText(*d));
        }
        const auto v = toNumber();
        if (!v) return c.setText(c.text(0));
        if (named.pattern) return c.setText(formatNumber(*v, {named.pattern}));
        if (name == "general number") return c.setText(number ? numberText(*number) : realText(*v));
        if (name == "yes/no") return c.setText(*v != 0 ? "Yes" : "No");
        if (name == "true/false") return c.setText(*v != 0 ? "True" : "False");
        return c.setText(*v != 0 ? "On" : "Off");
    }
    const PatternKind kind = classify(sections[0]);
    if (kind == PatternKind::Text) return c.setText(formatText(c.text(0), sections[0]));
    if (kind == PatternKind::Date) {
        const auto d = toDate();
        if (!d) return c.setText(formatText(c.text(0), sections[0]));
        return c.setText(formatDate(*d, sections[0], firstDay, firstWeek));
    }
    const auto v = toNumber();
    if (!v) return c.setText(formatText(c.text(0), sections[0]));
    c.setText(formatNumber(*v, sections));
}

const Definition kFormatFunction[] = {
    {"format", 1, 4, fnFormat, "Format", Result::Text, kPure},
};

} // namespace

std::string formatNumberSections(double v, const std::vector<std::string>& sections) {
    return formatNumber(v, sections);
}

std::string formatDatePattern(const DateTime& d, std::string_view pattern) {
    return formatDate(d, pattern, 1, 1);
}

std::span<const Definition> formatFunction() {
    return kFormatFunction;
}

} // namespace engine::functions
