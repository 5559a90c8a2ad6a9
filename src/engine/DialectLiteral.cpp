// Literals and names of the dialect as SQLite text: quoted names and strings, #date# literals.
#include "engine/DialectParser.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace engine::sql {

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string quoteString(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string stripDbf(std::string_view name) {
    if (name.size() > 4 && equalsIgnoreCase(name.substr(name.size() - 4), ".dbf")) name.remove_suffix(4);
    return std::string(name);
}

namespace {

struct DatePart {
    enum Kind { Number, Word, Colon } kind = Number;
    int value = 0;
    int digits = 0;
    std::string word; // lower case
};

int monthOf(const std::string& word) {
    static const char* const names[] = {"january",   "february", "march",    "april",
                                        "may",       "june",     "july",     "august",
                                        "september", "october",  "november", "december"};
    if (word.size() < 3) return 0;
    for (int m = 0; m < 12; ++m)
        if (std::string_view(names[m]).substr(0, word.size()) == word) return m + 1;
    return word == "sept" ? 9 : 0;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

int currentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

// Two-digit years follow the classic window: 00-29 are 2000-2029, 30-99 are 1930-1999.
int fullYear(const DatePart& p) {
    if (p.digits <= 2) return p.value < 30 ? 2000 + p.value : 1900 + p.value;
    return p.value;
}

std::optional<std::vector<DatePart>> splitDate(std::string_view text) {
    std::vector<DatePart> parts;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            DatePart p;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                if (++p.digits > 4) return std::nullopt;
                p.value = p.value * 10 + (text[i++] - '0');
            }
            parts.push_back(p);
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            DatePart p;
            p.kind = DatePart::Word;
            while (i < text.size() &&
                   ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z')))
                p.word += static_cast<char>(text[i++] | 0x20);
            parts.push_back(p);
        } else if (c == ':') {
            DatePart colon;
            colon.kind = DatePart::Colon;
            parts.push_back(colon);
            ++i;
        } else if (c == ' ' || c == '/' || c == '-' || c == '.' || c == ',' || c == '\t') {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return parts;
}

} // namespace

std::optional<std::string> dateLiteral(std::string_view text) {
    const auto split = splitDate(text);
    if (!split) return std::nullopt;
    const std::vector<DatePart>& parts = *split;

    std::vector<DatePart> numbers;
    int month = 0;
    bool hasTime = false;
    int hour = 0, minute = 0, second = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const DatePart& p = parts[i];
        const bool startsTime = p.kind == DatePart::Number && i + 1 < parts.size() &&
                                (parts[i + 1].kind == DatePart::Colon ||
                                 (parts[i + 1].kind == DatePart::Word &&
                                  (parts[i + 1].word == "am" || parts[i + 1].word == "pm")));
        if (startsTime) {
            if (hasTime) return std::nullopt;
            hasTime = true;
            hour = p.value;
            if (parts[i + 1].kind == DatePart::Colon) {
                if (i + 2 >= parts.size() || parts[i + 2].kind != DatePart::Number) return std::nullopt;
                minute = parts[i + 2].value;
                i += 2;
                if (i + 2 < parts.size() && parts[i + 1].kind == DatePart::Colon &&
                    parts[i + 2].kind == DatePart::Number) {
                    second = parts[i + 2].value;
                    i += 2;
                }
            }
            if (i + 1 < parts.size() && parts[i + 1].kind == DatePart::Word) {
                const std::string& w = parts[i + 1].word;
                if (w != "am" && w != "pm" && w != "a" && w != "p") return std::nullopt;
                if (hour < 1 || hour > 12) return std::nullopt;
                if (hour == 12) hour = 0;
                if (w[0] == 'p') hour += 12;
                ++i;
            }
            if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
        } else if (p.kind == DatePart::Number) {
            numbers.push_back(p);
        } else if (p.kind == DatePart::Word && month == 0 && monthOf(p.word) != 0) {
            month = monthOf(p.word);
        } else {
            return std::nullopt;
        }
    }

    int year = 0, day = 0;
    const bool hasDate = month != 0 || !numbers.empty();
    if (month != 0) {
        auto isYear = [](const DatePart& p) { return p.digits >= 3 || p.value > 31; };
        if (numbers.size() == 2) {
            const bool yearFirst = isYear(numbers[0]);
            year = fullYear(yearFirst ? numbers[0] : numbers[1]);
            day = (yearFirst ? numbers[1] : numbers[0]).value;
        } else if (numbers.size() == 1) {
            if (isYear(numbers[0])) {
                year = fullYear(numbers[0]);
                day = 1;
            } else {
                year = currentYear();
                day = numbers[0].value;
            }
        } else {
            return std::nullopt;
        }
    } else if (numbers.size() == 3) {
        if (numbers[0].digits >= 3) { // year first: 2024-01-31
            year = numbers[0].value;
            month = numbers[1].value;
            day = numbers[2].value;
        } else { // U.S. order whatever the locale: 5/10/96 is May 10, 1996; 13/5/2020 can only be day first
            month = numbers[0].value;
            day = numbers[1].value;
            year = fullYear(numbers[2]);
            if (month > 12 && day <= 12) std::swap(month, day);
        }
    } else if (numbers.size() == 2) {
        month = numbers[0].value;
        if (numbers[1].digits >= 3 || numbers[1].value > 31) {
            year = fullYear(numbers[1]);
            day = 1;
        } else {
            year = currentYear();
            day = numbers[1].value;
        }
    } else if (!numbers.empty() || !hasTime) {
        return std::nullopt;
    }

    char buffer[32];
    if (!hasDate) { // a time alone is a time of day 0, 1899-12-30, written as Time() writes it
        if (hour == 0 && minute == 0 && second == 0) return std::string("1899-12-30");
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", hour, minute, second);
        return std::string(buffer);
    }
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    if (hour == 0 && minute == 0 && second == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                      second);
    return std::string(buffer);
}

} // namespace engine::sql
