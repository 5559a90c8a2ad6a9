// Case mapping without ICU, the DBTEXT collation, and UTF-8 helpers.
#include "engine/Collation.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace engine {

namespace {

// Runs of code points that map by the same offset: first, last, delta, stride (2 for the
// alternating upper/lower pairs of the Latin, Greek and Cyrillic blocks). Generated from the Unicode
// 14 simple case mappings of U+0080-U+052F, U+1E00-U+1EFF, the Kelvin/Angstrom/Ohm signs and the
// fullwidth Latin letters; "fold" is simple case folding.
struct CaseRun {
    char32_t first;
    char32_t last;
    int delta;
    int stride;
};

constexpr CaseRun kFoldRuns[] = {
    {0x00B5, 0x00B5, 775, 1},   {0x00C0, 0x00D6, 32, 1},    {0x00D8, 0x00DE, 32, 1},
    {0x0100, 0x012E, 1, 2},     {0x0132, 0x0136, 1, 2},     {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},     {0x0178, 0x0178, -121, 1},  {0x0179, 0x017D, 1, 2},
    {0x017F, 0x017F, -268, 1},  {0x0181, 0x0181, 210, 1},   {0x0182, 0x0184, 1, 2},
    {0x0186, 0x0186, 206, 1},   {0x0187, 0x0187, 1, 1},     {0x0189, 0x018A, 205, 1},
    {0x018B, 0x018B, 1, 1},     {0x018E, 0x018E, 79, 1},    {0x018F, 0x018F, 202, 1},
    {0x0190, 0x0190, 203, 1},   {0x0191, 0x0191, 1, 1},     {0x0193, 0x0193, 205, 1},
    {0x0194, 0x0194, 207, 1},   {0x0196, 0x0196, 211, 1},   {0x0197, 0x0197, 209, 1},
    {0x0198, 0x0198, 1, 1},     {0x019C, 0x019C, 211, 1},   {0x019D, 0x019D, 213, 1},
    {0x019F, 0x019F, 214, 1},   {0x01A0, 0x01A4, 1, 2},     {0x01A6, 0x01A6, 218, 1},
    {0x01A7, 0x01A7, 1, 1},     {0x01A9, 0x01A9, 218, 1},   {0x01AC, 0x01AC, 1, 1},
    {0x01AE, 0x01AE, 218, 1},   {0x01AF, 0x01AF, 1, 1},     {0x01B1, 0x01B2, 217, 1},
    {0x01B3, 0x01B5, 1, 2},     {0x01B7, 0x01B7, 219, 1},   {0x01B8, 0x01B8, 1, 1},
    {0x01BC, 0x01BC, 1, 1},     {0x01C4, 0x01C4, 2, 1},     {0x01C5, 0x01C5, 1, 1},
    {0x01C7, 0x01C7, 2, 1},     {0x01C8, 0x01C8, 1, 1},     {0x01CA, 0x01CA, 2, 1},
    {0x01CB, 0x01DB, 1, 2},     {0x01DE, 0x01EE, 1, 2},     {0x01F1, 0x01F1, 2, 1},
    {0x01F2, 0x01F4, 1, 2},     {0x01F6, 0x01F6, -97, 1},   {0x01F7, 0x01F7, -56, 1},
    {0x01F8, 0x021E, 1, 2},     {0x0220, 0x0220, -130, 1},  {0x0222, 0x0232, 1, 2},
    {0x023A, 0x023A, 10795, 1}, {0x023B, 0x023B, 1, 1},     {0x023D, 0x023D, -163, 1},
    {0x023E, 0x023E, 10792, 1}, {0x0241, 0x0241, 1, 1},     {0x0243, 0x0243, -195, 1},
    {0x0244, 0x0244, 69, 1},    {0x0245, 0x0245, 71, 1},    {0x0246, 0x024E, 1, 2},
    {0x0345, 0x0345, 116, 1},   {0x0370, 0x0372, 1, 2},     {0x0376, 0x0376, 1, 1},
    {0x037F, 0x037F, 116, 1},   {0x0386, 0x0386, 38, 1},    {0x0388, 0x038A, 37, 1},
    {0x038C, 0x038C, 64, 1},    {0x038E, 0x038F, 63, 1},    {0x0391, 0x03A1, 32, 1},
    {0x03A3, 0x03AB, 32, 1},    {0x03C2, 0x03C2, 1, 1},     {0x03CF, 0x03CF, 8, 1},
    {0x03D0, 0x03D0, -30, 1},   {0x03D1, 0x03D1, -25, 1},   {0x03D5, 0x03D5, -15, 1},
    {0x03D6, 0x03D6, -22, 1},   {0x03D8, 0x03EE, 1, 2},     {0x03F0, 0x03F0, -54, 1},
    {0x03F1, 0x03F1, -48, 1},   {0x03F4, 0x03F4, -60, 1},   {0x03F5, 0x03F5, -64, 1},
    {0x03F7, 0x03F7, 1, 1},     {0x03F9, 0x03F9, -7, 1},    {0x03FA, 0x03FA, 1, 1},
    {0x03FD, 0x03FF, -130, 1},  {0x0400, 0x040F, 80, 1},    {0x0410, 0x042F, 32, 1},
    {0x0460, 0x0480, 1, 2},     {0x048A, 0x04BE, 1, 2},     {0x04C0, 0x04C0, 15, 1},
    {0x04C1, 0x04CD, 1, 2},     {0x04D0, 0x052E, 1, 2},     {0x1E00, 0x1E94, 1, 2},
    {0x1E9B, 0x1E9B, -58, 1},   {0x1E9E, 0x1E9E, -7615, 1}, {0x1EA0, 0x1EFE, 1, 2},
    {0x2126, 0x2126, -7517, 1}, {0x212A, 0x212A, -8383, 1}, {0x212B, 0x212B, -8262, 1},
    {0xFF21, 0xFF3A, 32, 1},
};

constexpr CaseRun kLowerRuns[] = {
    {0x00C0, 0x00D6, 32, 1},    {0x00D8, 0x00DE, 32, 1},    {0x0100, 0x012E, 1, 2},
    {0x0130, 0x0130, -199, 1},  {0x0132, 0x0136, 1, 2},     {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},     {0x0178, 0x0178, -121, 1},  {0x0179, 0x017D, 1, 2},
    {0x0181, 0x0181, 210, 1},   {0x0182, 0x0184, 1, 2},     {0x0186, 0x0186, 206, 1},
    {0x0187, 0x0187, 1, 1},     {0x0189, 0x018A, 205, 1},   {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 79, 1},    {0x018F, 0x018F, 202, 1},   {0x0190, 0x0190, 203, 1},
    {0x0191, 0x0191, 1, 1},     {0x0193, 0x0193, 205, 1},   {0x0194, 0x0194, 207, 1},
    {0x0196, 0x0196, 211, 1},   {0x0197, 0x0197, 209, 1},   {0x0198, 0x0198, 1, 1},
    {0x019C, 0x019C, 211, 1},   {0x019D, 0x019D, 213, 1},   {0x019F, 0x019F, 214, 1},
    {0x01A0, 0x01A4, 1, 2},     {0x01A6, 0x01A6, 218, 1},   {0x01A7, 0x01A7, 1, 1},
    {0x01A9, 0x01A9, 218, 1},   {0x01AC, 0x01AC, 1, 1},     {0x01AE, 0x01AE, 218, 1},
    {0x01AF, 0x01AF, 1, 1},     {0x01B1, 0x01B2, 217, 1},   {0x01B3, 0x01B5, 1, 2},
    {0x01B7, 0x01B7, 219, 1},   {0x01B8, 0x01B8, 1, 1},     {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 2, 1},     {0x01C5, 0x01C5, 1, 1},     {0x01C7, 0x01C7, 2, 1},
    {0x01C8, 0x01C8, 1, 1},     {0x01CA, 0x01CA, 2, 1},     {0x01CB, 0x01DB, 1, 2},
    {0x01DE, 0x01EE, 1, 2},     {0x01F1, 0x01F1, 2, 1},     {0x01F2, 0x01F4, 1, 2},
    {0x01F6, 0x01F6, -97, 1},   {0x01F7, 0x01F7, -56, 1},   {0x01F8, 0x021E, 1, 2},
    {0x0220, 0x0220, -130, 1},  {0x0222, 0x0232, 1, 2},     {0x023A, 0x023A, 10795, 1},
    {0x023B, 0x023B, 1, 1},     {0x023D, 0x023D, -163, 1},  {0x023E, 0x023E, 10792, 1},
    {0x0241, 0x0241, 1, 1},     {0x0243, 0x0243, -195, 1},  {0x0244, 0x0244, 69, 1},
    {0x0245, 0x0245, 71, 1},    {0x0246, 0x024E, 1, 2},     {0x0370, 0x0372, 1, 2},
    {0x0376, 0x0376, 1, 1},     {0x037F, 0x037F, 116, 1},   {0x0386, 0x0386, 38, 1},
    {0x0388, 0x038A, 37, 1},    {0x038C, 0x038C, 64, 1},    {0x038E, 0x038F, 63, 1},
    {0x0391, 0x03A1, 32, 1},    {0x03A3, 0x03AB, 32, 1},    {0x03CF, 0x03CF, 8, 1},
    {0x03D8, 0x03EE, 1, 2},     {0x03F4, 0x03F4, -60, 1},   {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, -7, 1},    {0x03FA, 0x03FA, 1, 1},     {0x03FD, 0x03FF, -130, 1},
    {0x0400, 0x040F, 80, 1},    {0x0410, 0x042F, 32, 1},    {0x0460, 0x0480, 1, 2},
    {0x048A, 0x04BE, 1, 2},     {0x04C0, 0x04C0, 15, 1},    {0x04C1, 0x04CD, 1, 2},
    {0x04D0, 0x052E, 1, 2},     {0x1E00, 0x1E94, 1, 2},     {0x1E9E, 0x1E9E, -7615, 1},
    {0x1EA0, 0x1EFE, 1, 2},     {0x2126, 0x2126, -7517, 1}, {0x212A, 0x212A, -8383, 1},
    {0x212B, 0x212B, -8262, 1}, {0xFF21, 0xFF3A, 32, 1},
};

constexpr CaseRun kUpperRuns[] = {
    {0x00B5, 0x00B5, 743, 1},   {0x00E0, 0x00F6, -32, 1},   {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},   {0x0101, 0x012F, -1, 2},    {0x0131, 0x0131, -232, 1},
    {0x0133, 0x0137, -1, 2},    {0x013A, 0x0148, -1, 2},    {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},    {0x017F, 0x017F, -300, 1},  {0x0180, 0x0180, 195, 1},
    {0x0183, 0x0185, -1, 2},    {0x0188, 0x0188, -1, 1},    {0x018C, 0x018C, -1, 1},
    {0x0192, 0x0192, -1, 1},    {0x0195, 0x0195, 97, 1},    {0x0199, 0x0199, -1, 1},
    {0x019A, 0x019A, 163, 1},   {0x019E, 0x019E, 130, 1},   {0x01A1, 0x01A5, -1, 2},
    {0x01A8, 0x01A8, -1, 1},    {0x01AD, 0x01AD, -1, 1},    {0x01B0, 0x01B0, -1, 1},
    {0x01B4, 0x01B6, -1, 2},    {0x01B9, 0x01B9, -1, 1},    {0x01BD, 0x01BD, -1, 1},
    {0x01BF, 0x01BF, 56, 1},    {0x01C5, 0x01C5, -1, 1},    {0x01C6, 0x01C6, -2, 1},
    {0x01C8, 0x01C8, -1, 1},    {0x01C9, 0x01C9, -2, 1},    {0x01CB, 0x01CB, -1, 1},
    {0x01CC, 0x01CC, -2, 1},    {0x01CE, 0x01DC, -1, 2},    {0x01DD, 0x01DD, -79, 1},
    {0x01DF, 0x01EF, -1, 2},    {0x01F2, 0x01F2, -1, 1},    {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},    {0x01F9, 0x021F, -1, 2},    {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},    {0x023F, 0x0240, 10815, 1}, {0x0242, 0x0242, -1, 1},
    {0x0247, 0x024F, -1, 2},    {0x0250, 0x0250, 10783, 1}, {0x0251, 0x0251, 10780, 1},
    {0x0252, 0x0252, 10782, 1}, {0x0253, 0x0253, -210, 1},  {0x0254, 0x0254, -206, 1},
    {0x0256, 0x0257, -205, 1},  {0x0259, 0x0259, -202, 1},  {0x025B, 0x025B, -203, 1},
    {0x025C, 0x025C, 42319, 1}, {0x0260, 0x0260, -205, 1},  {0x0261, 0x0261, 42315, 1},
    {0x0263, 0x0263, -207, 1},  {0x0265, 0x0265, 42280, 1}, {0x0266, 0x0266, 42308, 1},
    {0x0268, 0x0268, -209, 1},  {0x0269, 0x0269, -211, 1},  {0x026A, 0x026A, 42308, 1},
    {0x026B, 0x026B, 10743, 1}, {0x026C, 0x026C, 42305, 1}, {0x026F, 0x026F, -211, 1},
    {0x0271, 0x0271, 10749, 1}, {0x0272, 0x0272, -213, 1},  {0x0275, 0x0275, -214, 1},
    {0x027D, 0x027D, 10727, 1}, {0x0280, 0x0280, -218, 1},  {0x0282, 0x0282, 42307, 1},
    {0x0283, 0x0283, -218, 1},  {0x0287, 0x0287, 42282, 1}, {0x0288, 0x0288, -218, 1},
    {0x0289, 0x0289, -69, 1},   {0x028A, 0x028B, -217, 1},  {0x028C, 0x028C, -71, 1},
    {0x0292, 0x0292, -219, 1},  {0x029D, 0x029D, 42261, 1}, {0x029E, 0x029E, 42258, 1},
    {0x0345, 0x0345, 84, 1},    {0x0371, 0x0373, -1, 2},    {0x0377, 0x0377, -1, 1},
    {0x037B, 0x037D, 130, 1},   {0x03AC, 0x03AC, -38, 1},   {0x03AD, 0x03AF, -37, 1},
    {0x03B1, 0x03C1, -32, 1},   {0x03C2, 0x03C2, -31, 1},   {0x03C3, 0x03CB, -32, 1},
    {0x03CC, 0x03CC, -64, 1},   {0x03CD, 0x03CE, -63, 1},   {0x03D0, 0x03D0, -62, 1},
    {0x03D1, 0x03D1, -57, 1},   {0x03D5, 0x03D5, -47, 1},   {0x03D6, 0x03D6, -54, 1},
    {0x03D7, 0x03D7, -8, 1},    {0x03D9, 0x03EF, -1, 2},    {0x03F0, 0x03F0, -86, 1},
    {0x03F1, 0x03F1, -80, 1},   {0x03F2, 0x03F2, 7, 1},     {0x03F3, 0x03F3, -116, 1},
    {0x03F5, 0x03F5, -96, 1},   {0x03F8, 0x03F8, -1, 1},    {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -32, 1},   {0x0450, 0x045F, -80, 1},   {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},    {0x04C2, 0x04CE, -1, 2},    {0x04CF, 0x04CF, -15, 1},
    {0x04D1, 0x052F, -1, 2},    {0x1E01, 0x1E95, -1, 2},    {0x1E9B, 0x1E9B, -59, 1},
    {0x1EA1, 0x1EFF, -1, 2},    {0xFF41, 0xFF5A, -32, 1},
};

// A case mapping: a flat array for the common blocks, binary search of the runs beyond it. The runs
// leave ASCII out; asciiLower says which way its letters go.
class CaseTable {
public:
    static constexpr char32_t kFlatSize = 0x0530;

    template <std::size_t N> CaseTable(const CaseRun (&runs)[N], bool asciiLower) : m_runs(runs), m_count(N) {
        for (char32_t cp = 0; cp < kFlatSize; ++cp) {
            char32_t mapped = search(cp);
            if (asciiLower && cp >= 'A' && cp <= 'Z') mapped = cp + 32;
            if (!asciiLower && cp >= 'a' && cp <= 'z') mapped = cp - 32;
            m_flat[cp] = static_cast<char16_t>(mapped);
        }
    }

    char32_t map(char32_t cp) const { return cp < kFlatSize ? m_flat[cp] : search(cp); }

private:
    char32_t search(char32_t cp) const {
        const CaseRun* end = m_runs + m_count;
        const CaseRun* it = std::upper_bound(
            m_runs, end, cp, [](char32_t value, const CaseRun& run) { return value < run.first; });
        if (it == m_runs) return cp;
        --it;
        if (cp > it->last || (cp - it->first) % it->stride != 0) return cp;
        return static_cast<char32_t>(static_cast<std::int64_t>(cp) + it->delta);
    }

    const CaseRun* m_runs;
    std::size_t m_count;
    std::array<char16_t, kFlatSize> m_flat{};
};

const CaseTable& foldTable() {
    static const CaseTable table(kFoldRuns, true);
    return table;
}

const CaseTable& lowerTable() {
    static const CaseTable table(kLowerRuns, true);
    return table;
}

const CaseTable& upperTable() {
    static const CaseTable table(kUpperRuns, false);
    return table;
}

inline unsigned asciiFold(unsigned c) {
    return c - 'A' < 26u ? c + 32 : c;
}

template <char32_t (*Map)(char32_t)> std::string mapText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(Map(c)));
            ++pos;
        } else {
            appendUtf8(out, Map(decodeUtf8(text, pos)));
        }
    }
    return out;
}

int collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return compareText(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
                       std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

} // namespace

char32_t decodeUtf8(std::string_view text, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return 0xDC00 + lead;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return 0xDC00 + lead;
    }
    for (int i = 1; i <= extra; ++i) {
        const unsigned next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xDC00 + lead;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xDC00 + lead;
    }
    pos += extra + 1;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
        out.push_back(static_cast<char>(cp - 0xDC00)); // a malformed byte kept as it was
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::size_t countCodePoints(std::string_view text) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            ++pos;
        else
            decodeUtf8(text, pos);
        ++count;
    }
    return count;
}

char32_t foldCase(char32_t cp) {
    return foldTable().map(cp);
}
char32_t toLowerCase(char32_t cp) {
    return lowerTable().map(cp);
}
char32_t toUpperCase(char32_t cp) {
    return upperTable().map(cp);
}

std::string lowerText(std::string_view text) {
    return mapText<toLowerCase>(text);
}
std::string upperText(std::string_view text) {
    return mapText<toUpperCase>(text);
}

int compareFolded(std::string_view a, std::string_view b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        unsigned ca = pa[i];
        unsigned cb = pb[j];
        if ((ca | cb) < 0x80) {
            // Tables of a million rows sort by this: plain ASCII never leaves this branch.
            if (ca != cb) {
                ca = asciiFold(ca);
                cb = asciiFold(cb);
                if (ca != cb) return ca < cb ? -1 : 1;
            }
            ++i;
            ++j;
            continue;
        }
        const char32_t fa = foldCase(decodeUtf8(a, i));
        const char32_t fb = foldCase(decodeUtf8(b, j));
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

int registerTextCollation(sqlite3* db) {
    return sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, collate, nullptr);
}

} // namespace engine
