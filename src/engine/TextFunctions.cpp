// The dialect's text functions: Len, Left, Mid, InStr, InStrRev, Replace, StrComp, StrConv, LCase,
// Trim, Str, Val, Chr, Asc, ... and LIKE.
#include "engine/Collation.h"
#include "engine/FunctionsSupport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace engine::functions {

namespace {

// Byte offset of the character at index chars (clamped to the end of the text).
std::size_t offsetOf(std::string_view text, std::int64_t chars) {
    std::size_t pos = 0;
    for (std::int64_t i = 0; i < chars && pos < text.size(); ++i) {
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            ++pos;
        else
            decodeUtf8(text, pos);
    }
    return pos;
}

std::int64_t lengthArgument(Call& c, int i) {
    if (c.isNull(i)) c.invalidUseOfNull();
    const std::int64_t n = c.whole(i);
    if (n < 0) c.invalidArgument();
    return n;
}

void fnLen(Call& c) {
    if (c.isNull(0)) return c.setNull();
    c.setInteger(static_cast<std::int64_t>(countCodePoints(c.text(0))));
}

void fnLeft(Call& c) {
    const std::int64_t n = lengthArgument(c, 1);
    if (c.isNull(0)) return c.setNull();
    const std::string s = c.text(0);
    c.setText(std::string_view(s).substr(0, offsetOf(s, n)));
}

void fnRight(Call& c) {
    const std::int64_t n = lengthArgument(c, 1);
    if (c.isNull(0)) return c.setNull();
    const std::string s = c.text(0);
    const auto length = static_cast<std::int64_t>(countCodePoints(s));
    c.setText(n >= length ? std::string_view(s) : std::string_view(s).substr(offsetOf(s, length - n)));
}

void fnMid(Call& c) {
    if (c.isNull(1)) c.invalidUseOfNull();
    const std::int64_t start = c.whole(1);
    if (start < 1) c.invalidArgument();
    const std::int64_t length = c.count() > 2 ? lengthArgument(c, 2) : -1;
    if (c.isNull(0)) return c.setNull();
    const std::string s = c.text(0);
    const std::size_t from = offsetOf(s, start - 1);
    const std::string_view rest = std::string_view(s).substr(from);
    c.setText(length < 0 ? rest : rest.substr(0, offsetOf(rest, length)));
}

std::vector<char32_t> codePoints(std::string_view text, bool fold) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = decodeUtf8(text, pos);
        out.push_back(fold ? foldCase(cp) : cp);
    }
    return out;
}

// InStr([start,] s1, s2 [, compare]): compare 0 is binary; 1 (text) and 2 (database), and the
// default, ignore case as the engine's comparisons do.
void fnInStr(Call& c) {
    int first = 0;
    std::int64_t start = 1;
    bool fold = true;
    if (c.count() >= 3) {
        if (c.isNull(0)) c.invalidUseOfNull();
        start = c.whole(0);
        if (start < 1) c.invalidArgument();
        first = 1;
        if (c.count() == 4 && !c.isNull(3)) {
            const std::int64_t mode = c.whole(3);
            if (mode < 0 || mode > 2) c.invalidArgument();
            fold = mode != 0;
        }
    }
    if (c.isNull(first) || c.isNull(first + 1)) return c.setNull();
    const std::vector<char32_t> haystack = codePoints(c.text(first), fold);
    const std::vector<char32_t> needle = codePoints(c.text(first + 1), fold);
    const auto length = static_cast<std::int64_t>(haystack.size());
    if (haystack.empty() || start > length) return c.setInteger(0);
    if (needle.empty()) return c.setInteger(start);
    const auto needleLength = static_cast<std::int64_t>(needle.size());
    for (std::int64_t i = start - 1; i + needleLength <= length; ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + i)) return c.setInteger(i + 1);
    }
    c.setInteger(0);
}

void fnLCase(Call& c) {
    if (c.isNull(0)) return c.setNull();
    c.setText(lowerText(c.text(0)));
}

void fnUCase(Call& c) {
    if (c.isNull(0)) return c.setNull();
    c.setText(upperText(c.text(0)));
}

// Trim removes spaces only, not tabs or line breaks.
template <bool Left, bool Right> void fnTrim(Call& c) {
    if (c.isNull(0)) return c.setNull();
    const std::string s = c.text(0);
    std::size_t begin = 0;
    std::size_t end = s.size();
    if (Left)
        while (begin < end && s[begin] == ' ')
            ++begin;
    if (Right)
        while (end > begin && s[end - 1] == ' ')
            --end;
    c.setText(std::string_view(s).substr(begin, end - begin));
}

// Str: a number with a leading space when it is not negative; text stays as it is.
void fnStr(Call& c) {
    if (c.isNull(0)) return c.setNull(); // Str$ refuses Null; the program's auto-fit relies on Str passing it
    if (c.type(0) == SQLITE_TEXT || c.type(0) == SQLITE_BLOB) return c.setArgument(0);
    const Number n = c.number(0);
    const std::string digits = numberText(n);
    c.setText(n.value() >= 0 ? " " + digits : digits);
}

// Val reads the leading number of a text, ignoring blanks, tabs and line feeds anywhere in it.
void fnVal(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    if (c.type(0) == SQLITE_INTEGER || c.type(0) == SQLITE_FLOAT) return c.setArgument(0);
    std::string s;
    for (char ch : c.text(0))
        if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r') s += ch;
    // Hex and octal read as far as their digits go.
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'h' || s[1] == 'H' || s[1] == 'o' || s[1] == 'O')) {
        const bool hex = s[1] == 'h' || s[1] == 'H';
        std::size_t end = 2;
        while (end < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[end])) != 0
                                      : (s[end] >= '0' && s[end] <= '7')))
            ++end;
        if (end == 2) return c.setInteger(0);
        const auto n = parseNumber(std::string_view(s).substr(0, end));
        if (!n) c.overflow(); // more than 32 bits
        return c.setInteger(n->integer);
    }
    std::size_t end = 0;
    if (end < s.size() && (s[end] == '+' || s[end] == '-')) ++end;
    std::size_t digits = 0;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
        ++end, ++digits;
    if (end < s.size() && s[end] == '.') {
        ++end;
        while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])))
            ++end, ++digits;
    }
    if (digits == 0) return c.setInteger(0);
    if (end < s.size() && (s[end] == 'e' || s[end] == 'E' || s[end] == 'd' || s[end] == 'D')) {
        std::size_t exp = end + 1;
        if (exp < s.size() && (s[exp] == '+' || s[exp] == '-')) ++exp;
        if (exp < s.size() && std::isdigit(static_cast<unsigned char>(s[exp]))) {
            while (exp < s.size() && std::isdigit(static_cast<unsigned char>(s[exp])))
                ++exp;
            end = exp;
        }
    }
    const auto n = parseNumber(std::string_view(s).substr(0, end));
    if (!n) return c.setInteger(0);
    if (n->isInteger) return c.setInteger(n->integer);
    c.setWhole(n->real);
}

void fnSpace(Call& c) {
    const std::int64_t n = lengthArgument(c, 0);
    if (n > sqlite3_limit(sqlite3_context_db_handle(c.context()), SQLITE_LIMIT_LENGTH, -1))
        return sqlite3_result_error_toobig(c.context());
    c.setText(std::string(static_cast<std::size_t>(n), ' '));
}

// Code page 1252 at 128-159; the rest of 0-255 is Latin-1. Undefined positions keep their C1 code.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t fromWindows1252(std::int64_t code) {
    return code >= 128 && code < 160 ? kWindows1252High[code - 128] : static_cast<char32_t>(code);
}

void fnChr(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::int64_t code = c.whole(0);
    if (code < 0 || code > 255) c.invalidArgument();
    std::string out;
    appendUtf8(out, fromWindows1252(code));
    c.setText(out);
}

// Asc answers the code page 1252 code of the first character; a character outside that code page
// gives its Unicode code point, which is more use than the '?' the classic function would give.
void fnAsc(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::string s = c.text(0);
    if (s.empty()) c.invalidArgument();
    std::size_t pos = 0;
    const char32_t cp = decodeUtf8(s, pos);
    for (int i = 0; i < 32; ++i)
        if (kWindows1252High[i] == cp) return c.setInteger(128 + i);
    c.setInteger(cp >= 0xDC80 && cp <= 0xDCFF ? cp - 0xDC00 : cp);
}

// String(n, c): n copies of the first character of c, or of Chr(c Mod 256) when c is a number.
void fnString(Call& c) {
    const std::int64_t n = lengthArgument(c, 0);
    if (c.isNull(1)) return c.setNull();
    std::string unit;
    if (c.type(1) == SQLITE_INTEGER || c.type(1) == SQLITE_FLOAT) {
        const std::int64_t code = c.whole(1) % 256;
        if (code < 0) c.invalidArgument();
        appendUtf8(unit, fromWindows1252(code));
    } else {
        const std::string s = c.text(1);
        if (s.empty()) c.invalidArgument();
        unit = s.substr(0, offsetOf(s, 1));
    }
    const std::int64_t limit = sqlite3_limit(sqlite3_context_db_handle(c.context()), SQLITE_LIMIT_LENGTH, -1);
    if (n * static_cast<std::int64_t>(unit.size()) > limit) return sqlite3_result_error_toobig(c.context());
    std::string out;
    out.reserve(static_cast<std::size_t>(n) * unit.size());
    for (std::int64_t i = 0; i < n; ++i)
        out += unit;
    c.setText(out);
}

// The compare argument i of InStrRev, Replace and StrComp: 0 is binary; 1 (text), 2 (database), -1
// (the module's option) and an absent or Null argument ignore case, as the engine's comparisons do.
bool foldsCase(Call& c, int i) {
    if (c.count() <= i || c.isNull(i)) return true;
    const std::int64_t mode = c.whole(i);
    if (mode < -1 || mode > 2) c.invalidArgument();
    return mode != 0;
}

// InStrRev(s1, s2 [, start [, compare]]): the last position of s2 in s1 that ends by start (-1: the
// end); Null when either text is Null.
void fnInStrRev(Call& c) {
    std::int64_t start = -1;
    if (c.count() > 2) {
        if (c.isNull(2)) c.invalidUseOfNull();
        start = c.whole(2);
        if (start == 0 || start < -1) c.invalidArgument();
    }
    const bool fold = foldsCase(c, 3);
    if (c.isNull(0) || c.isNull(1)) return c.setNull();
    const std::vector<char32_t> haystack = codePoints(c.text(0), fold);
    const std::vector<char32_t> needle = codePoints(c.text(1), fold);
    const auto length = static_cast<std::int64_t>(haystack.size());
    if (start == -1) start = length;
    if (length == 0 || start > length) return c.setInteger(0);
    if (needle.empty()) return c.setInteger(start);
    for (std::int64_t i = start - static_cast<std::int64_t>(needle.size()); i >= 0; --i)
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + i)) return c.setInteger(i + 1);
    c.setInteger(0);
}

// Replace(s, find, with [, start [, count [, compare]]]): the text from start on, with count (-1:
// every) occurrences of find replaced. Its arguments are text and whole numbers, never Null.
void fnReplace(Call& c) {
    if (c.anyNull()) c.invalidUseOfNull();
    const std::int64_t start = c.count() > 3 ? c.whole(3) : 1;
    const std::int64_t count = c.count() > 4 ? c.whole(4) : -1;
    if (start < 1 || count < -1) c.invalidArgument();
    const bool fold = foldsCase(c, 5);
    const std::string s = c.text(0);
    const std::string find = c.text(1);
    const std::string with = c.text(2);
    const std::string_view rest = std::string_view(s).substr(offsetOf(s, start - 1));
    if (find.empty() || count == 0) return c.setText(rest);
    // The code points of the rest, with the byte offset each starts at.
    std::vector<char32_t> text;
    std::vector<std::size_t> offsets;
    for (std::size_t pos = 0; pos < rest.size();) {
        offsets.push_back(pos);
        const char32_t cp = decodeUtf8(rest, pos);
        text.push_back(fold ? foldCase(cp) : cp);
    }
    offsets.push_back(rest.size());
    const std::vector<char32_t> needle = codePoints(find, fold);
    std::string out;
    std::size_t copied = 0; // code points of text already in out
    std::int64_t done = 0;
    for (std::size_t i = 0; i + needle.size() <= text.size() && (count < 0 || done < count);) {
        if (!std::equal(needle.begin(), needle.end(), text.begin() + static_cast<std::ptrdiff_t>(i))) {
            ++i;
            continue;
        }
        out.append(rest.substr(offsets[copied], offsets[i] - offsets[copied]));
        out += with;
        i += needle.size();
        copied = i;
        ++done;
    }
    out.append(rest.substr(offsets[copied]));
    c.setText(out);
}

// StrComp(a, b [, compare]): -1, 0 or 1 as a sorts before, with or after b; Null when either is.
void fnStrComp(Call& c) {
    const bool fold = foldsCase(c, 2);
    if (c.isNull(0) || c.isNull(1)) return c.setNull();
    const std::string a = c.text(0);
    const std::string b = c.text(1);
    // UTF-8 bytes sort as their code points do.
    const int order = fold ? compareText(a, b) : a.compare(b);
    c.setInteger(order < 0 ? -1 : (order > 0 ? 1 : 0));
}

// StrConv(s, conversion): 1 upper case, 2 lower case, 3 the first letter of each word upper and
// the rest lower. The wide, narrow, kana and Unicode conversions have no meaning for this text.
void fnStrConv(Call& c) {
    if (c.isNull(1)) c.invalidUseOfNull();
    const std::int64_t conversion = c.whole(1);
    if (conversion < 1 || conversion > 3) c.invalidArgument();
    if (c.isNull(0)) return c.setNull();
    const std::string s = c.text(0);
    if (conversion == 1) return c.setText(upperText(s));
    if (conversion == 2) return c.setText(lowerText(s));
    std::string out;
    bool wordStart = true;
    for (std::size_t pos = 0; pos < s.size();) {
        const char32_t cp = decodeUtf8(s, pos);
        // Words are separated by blanks and control characters 0 and 9 to 13 only, so "jean-luc"
        // becomes "Jean-luc".
        const bool separator = cp == ' ' || cp == 0 || (cp >= 9 && cp <= 13);
        appendUtf8(out, separator ? cp : (wordStart ? toUpperCase(cp) : toLowerCase(cp)));
        wordStart = separator;
    }
    c.setText(out);
}

void fnStrReverse(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::vector<char32_t> chars = codePoints(c.text(0), false);
    std::string out;
    for (auto it = chars.rbegin(); it != chars.rend(); ++it)
        appendUtf8(out, *it);
    c.setText(out);
}

// AscW: the UTF-16 code of the first character as the classic signed 16-bit Integer, so that
// characters from U+8000 on are negative and one beyond U+FFFF gives its first surrogate. A byte
// that was not valid text gives its own value, as with Asc.
void fnAscW(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    const std::string s = c.text(0);
    if (s.empty()) c.invalidArgument();
    std::size_t pos = 0;
    char32_t cp = decodeUtf8(s, pos);
    if (cp >= 0xDC80 && cp <= 0xDCFF) return c.setInteger(cp - 0xDC00);
    if (cp > 0xFFFF) cp = 0xD800 + ((cp - 0x10000) >> 10);
    c.setInteger(static_cast<std::int16_t>(static_cast<std::uint16_t>(cp)));
}

// ChrW(n): the character of UTF-16 code n, -32768 to 65535 (negative codes count from 65536). A
// lone surrogate cannot be held in the engine's UTF-8 text and is refused.
void fnChrW(Call& c) {
    if (c.isNull(0)) c.invalidUseOfNull();
    std::int64_t code = c.whole(0);
    if (code < -32768 || code > 65535) c.invalidArgument();
    if (code < 0) code += 65536;
    if (code >= 0xD800 && code <= 0xDFFF) c.invalidArgument();
    std::string out;
    appendUtf8(out, static_cast<char32_t>(code));
    c.setText(out);
}

// value LIKE pattern. The compiled pattern is kept with the statement while the pattern argument
// stays the same (a literal, as it nearly always is).
void like(Call& c, int valueArg, int patternArg, int escapeArg) {
    if (c.isNull(valueArg) || c.isNull(patternArg)) return c.setNull();
    char32_t escape = 0;
    if (escapeArg >= 0) {
        if (c.isNull(escapeArg)) return c.setNull();
        const std::string e = c.text(escapeArg);
        std::size_t pos = 0;
        if (!e.empty()) escape = decodeUtf8(e, pos);
        if (e.empty() || pos != e.size()) Call::fail("ESCAPE expression must be a single character");
    }
    sqlite3_context* context = c.context();
    auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(context, patternArg));
    std::unique_ptr<LikePattern> compiled;
    if (!cached || cached->escape() != escape) {
        try {
            compiled = std::make_unique<LikePattern>(c.text(patternArg), escape);
        } catch (const std::invalid_argument& e) {
            Call::fail(e.what());
        }
        cached = compiled.get();
    }
    bool result = false;
    if (c.type(valueArg) == SQLITE_TEXT) {
        const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(c.value(valueArg)));
        const auto size = static_cast<std::size_t>(sqlite3_value_bytes(c.value(valueArg)));
        result = cached->matches(std::string_view(data ? data : "", size));
    } else {
        result = cached->matches(c.text(valueArg));
    }
    c.setBoolean(result);
    if (compiled) {
        sqlite3_set_auxdata(context, patternArg, compiled.release(),
                            [](void* p) { delete static_cast<LikePattern*>(p); });
    }
}

void fnDialectLike(Call& c) {
    like(c, 0, 1, -1);
}
void fnSqliteLike(Call& c) {
    like(c, 1, 0, c.count() > 2 ? 2 : -1);
}

const Definition kTextFunctions[] = {
    {"len", 1, 1, fnLen, "Len", Result::Number, kPure},
    {"left", 2, 2, fnLeft, "Left", Result::Text, kPure},
    {"right", 2, 2, fnRight, "Right", Result::Text, kPure},
    {"mid", 2, 3, fnMid, "Mid", Result::Text, kPure},
    {"instr", 2, 4, fnInStr, "InStr", Result::Number, kPure},
    {"lcase", 1, 1, fnLCase, "LCase", Result::Text, kPure},
    {"ucase", 1, 1, fnUCase, "UCase", Result::Text, kPure},
    {"trim", 1, 1, fnTrim<true, true>, "Trim", Result::Text, kPure},
    {"ltrim", 1, 1, fnTrim<true, false>, "LTrim", Result::Text, kPure},
    {"rtrim", 1, 1, fnTrim<false, true>, "RTrim", Result::Text, kPure},
    {"str", 1, 1, fnStr, "Str", Result::Text, kPure},
    {"val", 1, 1, fnVal, "Val", Result::Number, kPure},
    {"space", 1, 1, fnSpace, "Space", Result::Text, kPure},
    {"string", 2, 2, fnString, "String", Result::Text, kPure},
    {"chr", 1, 1, fnChr, "Chr", Result::Text, kPure},
    {"asc", 1, 1, fnAsc, "Asc", Result::Number, kPure},
    {"ascw", 1, 1, fnAscW, "AscW", Result::Number, kPure},
    {"chrw", 1, 1, fnChrW, "ChrW", Result::Text, kPure},
    {"instrrev", 2, 4, fnInStrRev, "InStrRev", Result::Number, kPure},
    {"replace", 3, 6, fnReplace, "Replace", Result::Text, kPure},
    {"strcomp", 2, 3, fnStrComp, "StrComp", Result::Number, kPure},
    {"strconv", 2, 3, fnStrConv, "StrConv", Result::Text, kPure},
    {"strreverse", 1, 1, fnStrReverse, "StrReverse", Result::Text, kPure},
    {"like", 2, 2, fnDialectLike, "Like", Result::Number, kPure, false},
    // SQLite's own LIKE operator follows the dialect's patterns too.
    {"like", 2, 3, fnSqliteLike, "Like", Result::Number, kPure, false, "like"},
};

} // namespace

std::span<const Definition> textFunctions() {
    return kTextFunctions;
}

} // namespace engine::functions
