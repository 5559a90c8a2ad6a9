// Character tables of the code-page layer: code pages glibc's iconv lacks, and the small Unicode
// classification that code-page detection uses to judge whether decoded bytes look like words.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace xbase::cptables {

// The upper half (0x80-0xFF) of a DOS or Macintosh code page iconv has no codec for, by canonical
// name ("CP620" Mazovia, "CP895" Kamenicky, "MAC-GREEK"); the lower half is ASCII. nullptr otherwise.
const std::array<char16_t, 128>* builtinHighHalf(std::string_view canonicalName);

// A 7-bit national page: the ASCII bytes it gives other characters, by canonical name ("YUSCII",
// JUS I.B1.002: @[\]^`{|}~ are ŽŠĐĆČžšđćč); the upper half is undefined. Empty for other pages.
std::span<const std::pair<std::uint8_t, char16_t>> sevenBitReplacements(std::string_view canonicalName);

// The code pages a user can choose from, by canonical name, with the words that say what they are for.
struct KnownPage {
    const char* name;
    const char* description;
};
std::span<const KnownPage> knownPages();

// The name this layer uses for a code page, whatever spelling came from a header, a .cpg file
// or a caller: "cp1252", "1252", "windows-1252" and "WIN1252" are all "CP1252".
std::string canonicalName(std::string_view name);

// Language driver ids (header byte 29) and the code page each stands for. Of the ids sharing a
// code page, the preferred one is written into new tables.
struct LanguageDriver {
    std::uint8_t id;
    const char* codePage;
    bool preferred;
};
std::span<const LanguageDriver> languageDrivers();

enum class Script { None, Latin, Greek, Cyrillic };

// Letters of the scripts single-byte dBASE code pages carry: ASCII, Latin-1 Supplement,
// Latin Extended-A, Greek and Cyrillic. Anything else (symbols, box drawing, ...) is not a letter.
bool isLetter(char32_t c);
bool isUpper(char32_t c);
bool isLower(char32_t c);
Script scriptOf(char32_t c);

// Letters real text in any language uses so seldom that reading a byte as one is weak evidence.
bool isRareLetter(char32_t c);
// The accented letters (lowercase) of each language written in the single-byte Latin pages, one
// string per language; Cyrillic and Greek letters count as one letter each, kCyrillic and kGreek,
// since only their script matters to detection.
constexpr char32_t kCyrillic = 0x400, kGreek = 0x370;
std::span<const std::u32string_view> alphabets();
// Lowercase of a Latin letter; other characters come back as they are.
char32_t toLower(char32_t c);

// Characters that do not occur next to letters in real text: box drawing, maths, fractions,
// spacing diacritics and the like. Ordinary punctuation, quotes and currency signs are not odd.
bool isOddSymbol(char32_t c);
bool isApostrophe(char32_t c);

} // namespace xbase::cptables
