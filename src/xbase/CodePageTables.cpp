// Tables of the code-page layer: names and driver ids, the pages iconv lacks, letter classification.
#include "xbase/CodePageTables.h"

#include "xbase/Ascii.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <string_view>

namespace xbase::cptables {

namespace {

// Mazovia: CP437 with the Polish letters in place of some Western ones at fixed positions.
// Kamenicky: CP437 with the Czech and Slovak letters in 0x80-0xAF.
// Mac Greek: Apple's Greek Macintosh page.
// clang-format off
constexpr std::array<char16_t, 128> kMazovia = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr std::array<char16_t, 128> kKamenicky = {
    0x010C, 0x00FC, 0x00E9, 0x010F, 0x00E4, 0x010E, 0x0164, 0x010D,
    0x011B, 0x011A, 0x0139, 0x00CD, 0x013E, 0x013A, 0x00C4, 0x00C1,
    0x00C9, 0x017E, 0x017D, 0x00F4, 0x00F6, 0x00D3, 0x016F, 0x00DA,
    0x00FD, 0x00D6, 0x00DC, 0x0160, 0x013D, 0x00DD, 0x0158, 0x0165,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0148, 0x0147, 0x016E, 0x00D4,
    0x0161, 0x0159, 0x0155, 0x0154, 0x00BC, 0x00A7, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr std::array<char16_t, 128> kMacGreek = {
    0x00C4, 0x00B9, 0x00B2, 0x00C9, 0x00B3, 0x00D6, 0x00DC, 0x0385,
    0x00E0, 0x00E2, 0x00E4, 0x0384, 0x00A8, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00A3, 0x2122, 0x00EE, 0x00EF, 0x2022, 0x00BD,
    0x2030, 0x00F4, 0x00F6, 0x00A6, 0x20AC, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x0393, 0x0394, 0x0398, 0x039B, 0x039E, 0x03A0, 0x00DF,
    0x00AE, 0x00A9, 0x03A3, 0x03AA, 0x00A7, 0x2260, 0x00B0, 0x00B7,
    0x0391, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x0392, 0x0395, 0x0396,
    0x0397, 0x0399, 0x039A, 0x039C, 0x03A6, 0x03AB, 0x03A8, 0x03A9,
    0x03AC, 0x039D, 0x00AC, 0x039F, 0x03A1, 0x2248, 0x03A4, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x03A5, 0x03A7, 0x0386, 0x0388, 0x0153,
    0x2013, 0x2015, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x0389,
    0x038A, 0x038C, 0x038E, 0x03AD, 0x03AE, 0x03AF, 0x03CC, 0x038F,
    0x03CD, 0x03B1, 0x03B2, 0x03C8, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03BE, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03CE, 0x03C1, 0x03C3, 0x03C4, 0x03B8, 0x03C9, 0x03C2,
    0x03C7, 0x03C5, 0x03B6, 0x03CA, 0x03CB, 0x0390, 0x03B0, 0x00AD,
};
// clang-format on

// Language driver ids as dBASE, FoxPro and Visual FoxPro assign them. Of the ids sharing a code
// page, the preferred one is the "MS-DOS" or "Windows" id that every reader maps.
constexpr LanguageDriver kDrivers[] = {
    {0x01, "CP437", true},
    {0x09, "CP437", false},
    {0x0B, "CP437", false},
    {0x0D, "CP437", false},
    {0x0F, "CP437", false},
    {0x11, "CP437", false},
    {0x15, "CP437", false},
    {0x18, "CP437", false},
    {0x19, "CP437", false},
    {0x1B, "CP437", false},
    {0x02, "CP850", true},
    {0x0A, "CP850", false},
    {0x0E, "CP850", false},
    {0x10, "CP850", false},
    {0x12, "CP850", false},
    {0x14, "CP850", false},
    {0x16, "CP850", false},
    {0x1A, "CP850", false},
    {0x1D, "CP850", false},
    {0x25, "CP850", false},
    {0x37, "CP850", false},
    {0x03, "CP1252", true},
    {0x57, "CP1252", false},
    {0x58, "CP1252", false},
    {0x59, "CP1252", false},
    {0x04, "MACINTOSH", true},
    {0x08, "CP865", false},
    {0x17, "CP865", false},
    {0x66, "CP865", true},
    {0x13, "CP932", false},
    {0x7B, "CP932", true},
    {0x1C, "CP863", false},
    {0x6C, "CP863", true},
    {0x1F, "CP852", false},
    {0x22, "CP852", false},
    {0x23, "CP852", false},
    {0x40, "CP852", false},
    {0x64, "CP852", true},
    {0x87, "CP852", false},
    {0x24, "CP860", true},
    {0x26, "CP866", false},
    {0x65, "CP866", true},
    {0x4D, "CP936", false},
    {0x7A, "CP936", true},
    {0x4E, "CP949", false},
    {0x79, "CP949", true},
    {0x4F, "CP950", false},
    {0x78, "CP950", true},
    {0x50, "CP874", false},
    {0x7C, "CP874", true},
    {0x67, "CP861", true},
    {0x68, "CP895", true},
    {0x69, "CP620", true},
    {0x6A, "CP737", true},
    {0x86, "CP737", false},
    {0x6B, "CP857", true},
    {0x88, "CP857", false},
    {0x7D, "CP1255", true},
    {0x7E, "CP1256", true},
    {0x96, "MAC-CYRILLIC", true},
    {0x97, "MAC-CENTRALEUROPE", true},
    {0x98, "MAC-GREEK", true},
    {0xC8, "CP1250", true},
    {0xC9, "CP1251", true},
    {0xCA, "CP1254", true},
    {0xCB, "CP1253", true},
    {0xCC, "CP1257", true},
};

} // namespace

namespace {

std::string upperTrimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return ascii::upper(s);
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

// The name this layer uses for a code page, whatever spelling came from a header, a .cpg file
// or a caller: "cp1252", "1252", "windows-1252", "WIN1252", "ANSI 1252" and "CP 1252" are all "CP1252";
// "OEM 852" is "CP852"; "ISO 8859-2", "iso8859_2" and "8859-2" are "ISO-8859-2".
std::string canonicalName(std::string_view raw) {
    std::string s = upperTrimmed(raw);
    // Blanks and underscores between a word and its number, as other programs write them.
    std::string packed;
    for (char c : s)
        if (c != ' ' && c != '_' && c != '\t') packed += c;
    for (const char* prefix : {"WINDOWS-", "WINDOWS", "WIN-", "WIN", "CP-", "CP", "IBM-", "IBM", "MS-",
                               "ANSI-", "ANSI", "OEM-", "OEM", "DOS-", "DOS"}) {
        const std::string_view p(prefix);
        if (packed.size() > p.size() && packed.compare(0, p.size(), p) == 0 &&
            allDigits(packed.substr(p.size()))) {
            s = packed.substr(p.size());
            break;
        }
    }
    if (allDigits(packed)) s = packed;
    if (allDigits(s)) {
        if (s == "65001") return "UTF-8";
        if (s == "10000") return "MACINTOSH";
        if (s == "10006") return "MAC-GREEK";
        if (s == "10007") return "MAC-CYRILLIC";
        if (s == "10029") return "MAC-CENTRALEUROPE";
        if (s.size() == 5 && s.compare(0, 4, "8859") == 0) return "ISO-8859-" + s.substr(4);
        return "CP" + s;
    }
    static const std::map<std::string, std::string> aliases = {
        {"UTF8", "UTF-8"},
        {"UTF-8", "UTF-8"},
        {"MAC", "MACINTOSH"},
        {"MACROMAN", "MACINTOSH"},
        {"MAC-ROMAN", "MACINTOSH"},
        {"X-MAC-ROMAN", "MACINTOSH"},
        {"MACCYRILLIC", "MAC-CYRILLIC"},
        {"X-MAC-CYRILLIC", "MAC-CYRILLIC"},
        {"MACCENTRALEUROPE", "MAC-CENTRALEUROPE"},
        {"MAC-CE", "MAC-CENTRALEUROPE"},
        {"X-MAC-CE", "MAC-CENTRALEUROPE"},
        {"MACGREEK", "MAC-GREEK"},
        {"X-MAC-GREEK", "MAC-GREEK"},
        {"MAZOVIA", "CP620"},
        {"KAMENICKY", "CP895"},
        {"KEYBCS2", "CP895"},
        {"LATIN1", "ISO-8859-1"},
        {"LATIN2", "ISO-8859-2"},
        {"YUSCII", "YUSCII"},
        {"JUSI.B1.002", "YUSCII"},
        {"JUS-I.B1.002", "YUSCII"},
        {"ISO646-YU", "YUSCII"},
    };
    for (const std::string& spelling : {s, packed})
        if (const auto it = aliases.find(spelling); it != aliases.end()) return it->second;
    for (const char* prefix : {"ISO8859-", "ISO-8859-", "ISO8859", "ISO-8859", "8859-"}) {
        const std::string_view p(prefix);
        std::string rest =
            packed.size() > p.size() && packed.compare(0, p.size(), p) == 0 ? packed.substr(p.size()) : "";
        if (!rest.empty() && rest.front() == '-') rest.erase(0, 1);
        if (allDigits(rest)) return "ISO-8859-" + rest;
    }
    return s;
}

std::span<const LanguageDriver> languageDrivers() {
    return kDrivers;
}

std::span<const std::pair<std::uint8_t, char16_t>> sevenBitReplacements(std::string_view canonicalName) {
    static constexpr std::pair<std::uint8_t, char16_t> kYuscii[] = {
        {'@', u'Ž'}, {'[', u'Š'}, {'\\', u'Đ'}, {']', u'Ć'}, {'^', u'Č'},
        {'`', u'ž'}, {'{', u'š'}, {'|', u'đ'},  {'}', u'ć'}, {'~', u'č'},
    };
    if (canonicalName == "YUSCII") return kYuscii;
    return {};
}

std::span<const KnownPage> knownPages() {
    static constexpr KnownPage kPages[] = {
        {"CP1252", "Western European (Windows)"},
        {"CP1250", "Central European (Windows)"},
        {"CP1251", "Cyrillic (Windows)"},
        {"CP1253", "Greek (Windows)"},
        {"CP1254", "Turkish (Windows)"},
        {"CP1257", "Baltic (Windows)"},
        {"CP1255", "Hebrew (Windows)"},
        {"CP1256", "Arabic (Windows)"},
        {"CP1258", "Vietnamese (Windows)"},
        {"CP874", "Thai (Windows)"},
        {"CP437", "United States (DOS)"},
        {"CP850", "Western European (DOS)"},
        {"CP852", "Central European (DOS)"},
        {"CP855", "Cyrillic (DOS)"},
        {"CP866", "Russian (DOS)"},
        {"CP737", "Greek (DOS)"},
        {"CP857", "Turkish (DOS)"},
        {"CP860", "Portuguese (DOS)"},
        {"CP861", "Icelandic (DOS)"},
        {"CP863", "French Canadian (DOS)"},
        {"CP865", "Nordic (DOS)"},
        {"CP620", "Polish, Mazovia (DOS)"},
        {"CP895", "Czech, Kamenicky (DOS)"},
        {"YUSCII", "Serbian and Croatian, 7-bit (JUS I.B1.002)"},
        {"ISO-8859-1", "Western European (ISO)"},
        {"ISO-8859-2", "Central European (ISO)"},
        {"ISO-8859-5", "Cyrillic (ISO)"},
        {"ISO-8859-7", "Greek (ISO)"},
        {"ISO-8859-15", "Western European with the euro (ISO)"},
        {"MACINTOSH", "Western European (Macintosh)"},
        {"MAC-CENTRALEUROPE", "Central European (Macintosh)"},
        {"MAC-CYRILLIC", "Cyrillic (Macintosh)"},
        {"MAC-GREEK", "Greek (Macintosh)"},
        {"CP932", "Japanese (Shift-JIS)"},
        {"CP936", "Simplified Chinese (GBK)"},
        {"CP949", "Korean"},
        {"CP950", "Traditional Chinese (Big5)"},
        {"UTF-8", "Unicode (UTF-8)"},
    };
    return kPages;
}

const std::array<char16_t, 128>* builtinHighHalf(std::string_view canonicalName) {
    if (canonicalName == "CP620") return &kMazovia;
    if (canonicalName == "CP895") return &kKamenicky;
    if (canonicalName == "MAC-GREEK") return &kMacGreek;
    return nullptr;
}

bool isLetter(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c >= 0xC0 && c <= 0xFF) return c != 0xD7 && c != 0xF7;
    if (c >= 0x100 && c <= 0x17F) return true;
    if (c >= 0x386 && c <= 0x3CE) return c != 0x387 && c != 0x38B && c != 0x38D && c != 0x3A2;
    return (c >= 0x400 && c <= 0x45F) || c == 0x490 || c == 0x491;
}

bool isUpper(char32_t c) {
    if (!isLetter(c)) return false;
    if (c < 0x80) return c <= 'Z';
    if (c <= 0xFF) return c <= 0xDE;
    // Latin Extended-A pairs upper/lower case as even/odd, except in the two ranges where a
    // stray letter (ĸ U+0138, ŉ U+0149, Ÿ U+0178) shifts the pairing to odd/even.
    if (c <= 0x137 || (c >= 0x14A && c <= 0x177)) return c % 2 == 0;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1;
    if (c == 0x178) return true;
    if (c >= 0x386 && c <= 0x3AB) return c != 0x390;
    if (c >= 0x400 && c <= 0x42F) return true;
    return c == 0x490;
}

bool isLower(char32_t c) {
    return isLetter(c) && !isUpper(c) && c != 0x138 && c != 0x149;
}

Script scriptOf(char32_t c) {
    if (!isLetter(c)) return Script::None;
    if (c <= 0x17F) return Script::Latin;
    if (c <= 0x3CE) return Script::Greek;
    return Script::Cyrillic;
}

bool isRareLetter(char32_t c) {
    // Icelandic ð þ and Slovak ŕ ĺ are real, but seldom enough that a byte read as one of them
    // is weak evidence for the code page that reads it so (ð is đ in CP1250, ŕ is à).
    constexpr std::u32string_view rare = U"ðÐþÞŕŔĺĹıĸŉ";
    return rare.find(c) != std::u32string_view::npos;
}

std::span<const std::u32string_view> alphabets() {
    static constexpr std::u32string_view all[] = {
        U"äöüßé",             // German
        U"àâçéèêëîïôùûÿœ",    // French
        U"áéíóúñü",           // Spanish
        U"áàâãçéêíóôõú",      // Portuguese
        U"àèéìòùíóî",         // Italian
        U"àçèéíïòóú",         // Catalan
        U"áéíóúàèëïöü",       // Dutch
        U"æøåéó",             // Danish, Norwegian
        U"åäöé",              // Swedish, Finnish
        U"áéíóúýþðæö",        // Icelandic
        U"õäöüšž",            // Estonian
        U"áčďéěíňóřšťúůýž",   // Czech
        U"áäčďéíĺľňóôŕšťúýž", // Slovak
        U"ąćęłńóśźż",         // Polish
        U"áéíóöőúüű",         // Hungarian
        U"čćđšž",             // Croatian, Serbian, Bosnian, Slovene
        U"ăâîşţ",             // Romanian
        U"çë",                // Albanian
        U"çğıöşü",            // Turkish
        U"\u0400",            // any Cyrillic language
        U"\u0370",            // Greek
    };
    return all;
}

char32_t toLower(char32_t c) {
    if (!isUpper(c)) return c;
    if (c < 0x80 || (c >= 0xC0 && c <= 0xDE)) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if (c <= 0x17F) return c + 1;
    return c; // Greek and Cyrillic: detection only asks for their script
}

bool isOddSymbol(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return true;
    if (c >= 0x2190 && c <= 0x25FF) // arrows, maths, technical, box drawing, blocks, shapes
        return true;
    constexpr std::u32string_view odd = U"¤¦¨¬\u00AD¯±²³´µ¶¸¹¼½¾×÷ƒˇ˘˙˛˝†‡•‰ⁿ₧™";
    return odd.find(c) != std::u32string_view::npos;
}

bool isApostrophe(char32_t c) {
    return c == 0x2019 || c == 0x2018 || c == 0x2BC;
}

} // namespace xbase::cptables
