// Text without regard to case, as the dialect compares it: case mapping, the DBTEXT collation, LIKE.
#pragma once

#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The collation every text column and text comparison of the engine uses.
inline constexpr const char* kTextCollation = "DBTEXT";

// Reads the code point of UTF-8 text at pos and moves pos past it. A byte that does not start a
// well-formed sequence decodes on its own to 0xDC00 + byte, a value no valid text produces, so that
// malformed text still sorts consistently and survives appendUtf8 unchanged.
char32_t decodeUtf8(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t cp);
// Number of code points (characters) of UTF-8 text.
std::size_t countCodePoints(std::string_view text);

// Simple (one to one) Unicode case mappings for Latin, Greek and Cyrillic letters; other code
// points map to themselves. foldCase is the key of case-insensitive comparison.
char32_t foldCase(char32_t cp);
char32_t toLowerCase(char32_t cp);
char32_t toUpperCase(char32_t cp);
std::string lowerText(std::string_view text);
std::string upperText(std::string_view text);

// Compares two UTF-8 texts by their case-folded code points: <0, 0 or >0.
int compareFolded(std::string_view a, std::string_view b);
// The order of text everywhere in the engine (DBTEXT, ORDER BY, Min/Max, comparisons): the letters of
// the system locale's language in its order without regard to case (Č after C, Ł after L), ties broken
// by compareFolded; so text is equal exactly when it differs only in case.
int compareText(std::string_view a, std::string_view b);
// Orders text by another language than the system's ("de_DE", "sr_Latn", "" for the root order).
// Not while statements run.
void useTextOrder(const std::string& locale);

// Installs the DBTEXT collation on a connection; returns the SQLite result code.
int registerTextCollation(sqlite3* db);

// A LIKE pattern of the dialect, compiled once: * any run, ? one character, # one digit, [abc] [a-z]
// [!abc] one character of (not of) a list, [] nothing; % and _ are ordinary characters; letters match
// without regard to case. An escape character, when given, makes the next pattern character literal.
class LikePattern {
public:
    // Throws std::invalid_argument for an unclosed [ or a descending range such as [z-a].
    explicit LikePattern(std::string_view pattern, char32_t escape = 0);
    bool matches(std::string_view text) const;
    char32_t escape() const { return m_escape; }

private:
    enum class Kind : unsigned char { Literal, AnyRun, AnyOne, Digit, Set };
    struct Token {
        Kind kind;
        bool negated = false;
        char32_t literal = 0;     // folded
        std::size_t setBegin = 0; // index into m_ranges
        std::size_t setEnd = 0;
    };
    struct Range {
        char32_t low;
        char32_t high;
    };
    bool matchSet(const Token& token, char32_t cp) const;

    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;
    char32_t m_escape;
};

} // namespace engine
