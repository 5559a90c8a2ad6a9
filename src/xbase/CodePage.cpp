// Code pages of dBASE text: conversion to and from UTF-8, and detection from a table's own bytes.
#include "xbase/CodePage.h"

#include "xbase/Ascii.h"
#include "xbase/CodePageTables.h"
#include "xbase/Error.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <mutex>
#include <unordered_map>

namespace xbase {

namespace {

constexpr char32_t kUndefined = 0xFFFFFFFF;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

std::string hexByte(unsigned char b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

// The valid UTF-8 sequence at s[i]: its length and code point, or 0 when the bytes are not
// UTF-8 (overlong forms and surrogates included). *cutShort tells a sequence the text ends inside.
std::size_t utf8At(std::string_view s, std::size_t i, char32_t& cp, bool* cutShort = nullptr) {
    if (cutShort) *cutShort = false;
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        lo = b0 == 0xE0 ? 0xA0 : 0x80;
        hi = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= s.size()) {
            if (cutShort) *cutShort = true;
            return 0;
        }
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

// A character for a message: as itself when it is visible, as U+XXXX when quoting it would
// show nothing (controls, combining marks, spaces and joiners of zero width).
std::string describeCharacter(char32_t cp) {
    const bool invisible = cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0xAD ||
                           (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x2000 && cp <= 0x200F) ||
                           (cp >= 0x2028 && cp <= 0x202F) || cp == 0xFEFF;
    if (invisible) {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (char32_t v = cp; v != 0 || hex.size() < 4; v >>= 4)
            hex.insert(hex.begin(), digits[v & 15]);
        return "U+" + hex;
    }
    std::string text = "'";
    appendUtf8(text, cp);
    return text + "'";
}

[[noreturn]] void throwUnstorable(char32_t cp, const std::string& page) {
    throw Error(ErrorKind::CodePage,
                "The character " + describeCharacter(cp) + " cannot be stored in code page " + page + ".");
}

[[noreturn]] void throwNotUtf8(std::string_view text, std::size_t position) {
    throw Error(ErrorKind::CodePage, "The text is not valid UTF-8 (byte " +
                                         hexByte(static_cast<unsigned char>(text[position])) +
                                         " at position " + std::to_string(position + 1) + ").");
}

// An iconv conversion descriptor, closed with its owner.
class Iconv {
public:
    Iconv(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Iconv() {
        if (ok()) iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

} // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct CodePage::Impl {
    enum class Kind { Utf8, SingleByte, MultiByte };

    std::string name;
    Kind kind = Kind::SingleByte;

    // Single-byte pages: each byte's UTF-8 (length 0 = the page does not define the byte) and
    // code point, and the reverse map for encoding. asciiSame lets plain ASCII skip the tables.
    struct Entry {
        char utf8[7];
        std::uint8_t length;
    };
    std::array<Entry, 256> entries{};
    std::array<char32_t, 256> codePoints{};
    std::unordered_map<char32_t, std::uint8_t> bytesOf;
    bool asciiSame = true;

    // Multi-byte pages convert through iconv per call; the descriptors carry state, and the Impl
    // is shared between tables and threads.
    std::unique_ptr<Iconv> decoder, encoder;
    mutable std::mutex mutex;

    void setByte(unsigned b, std::string_view utf8, char32_t cp) {
        std::copy(utf8.begin(), utf8.end(), entries[b].utf8);
        entries[b].length = static_cast<std::uint8_t>(utf8.size());
        codePoints[b] = cp;
    }

    void finishSingleByte() {
        for (unsigned b = 0; b < 256; ++b) {
            if (b < 0x80 && codePoints[b] != b) asciiSame = false;
            // A byte that decodes to several characters is read but never chosen when encoding;
            // of two bytes that decode alike, the lower is written.
            std::string alone;
            appendUtf8(alone, codePoints[b]);
            if (entries[b].length != 0 && std::string_view(entries[b].utf8, entries[b].length) == alone)
                bytesOf.emplace(codePoints[b], static_cast<std::uint8_t>(b));
        }
        // A byte the page leaves undefined still reads, as the system's converters read it: as the C1
        // control of the same number (0x81 is U+0081), above those as a private-use character. Written
        // back it gives the same byte, so a value nobody changed keeps its bytes.
        for (unsigned b = 0; b < 256; ++b) {
            if (entries[b].length != 0) continue;
            const char32_t stand = b >= 0x80 && b <= 0x9F ? b : 0xF700 + b;
            std::string utf8;
            appendUtf8(utf8, stand);
            std::copy(utf8.begin(), utf8.end(), entries[b].utf8);
            entries[b].length = static_cast<std::uint8_t>(utf8.size());
            bytesOf.emplace(stand, static_cast<std::uint8_t>(b));
        }
    }

    // Fills the single-byte tables by asking iconv for every byte alone. Returns false when some
    // byte opens a longer sequence, or a byte decodes to more than fits: a multi-byte page.
    bool buildWithIconv() {
        Iconv cd("UTF-8", name);
        for (unsigned b = 0; b < 256; ++b) {
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
            char in = static_cast<char>(b);
            char out[32];
            char* inPtr = &in;
            char* outPtr = out;
            std::size_t inLeft = 1, outLeft = sizeof out;
            if (iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
                if (errno == EILSEQ) {
                    codePoints[b] = kUndefined;
                    continue;
                }
                return false;
            }
            iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
            const std::string_view utf8(out, static_cast<std::size_t>(outPtr - out));
            char32_t cp = 0;
            if (utf8.empty() || utf8.size() > sizeof(Entry::utf8) || utf8At(utf8, 0, cp) == 0) return false;
            setByte(b, utf8, cp);
        }
        finishSingleByte();
        return true;
    }

    void buildSevenBit(std::span<const std::pair<std::uint8_t, char16_t>> replaced) {
        for (unsigned b = 0; b < 256; ++b) {
            char32_t cp = b < 0x80 ? b : kUndefined;
            for (const auto& [byte, c] : replaced)
                if (byte == b) cp = c;
            codePoints[b] = cp;
            if (cp == kUndefined) continue;
            std::string utf8;
            appendUtf8(utf8, cp);
            setByte(b, utf8, cp);
        }
        finishSingleByte();
    }

    void buildFromHighHalf(const std::array<char16_t, 128>& high) {
        for (unsigned b = 0; b < 256; ++b) {
            const char32_t cp = b < 0x80 ? b : high[b - 0x80];
            std::string utf8;
            appendUtf8(utf8, cp);
            setByte(b, utf8, cp);
        }
        finishSingleByte();
    }

    std::string convert(const Iconv& cd, std::string_view in, bool decoding) const;
};

std::string CodePage::Impl::convert(const Iconv& cd, std::string_view in, bool decoding) const {
    std::lock_guard<std::mutex> lock(mutex);
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 3 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t used = 0;
    for (bool flushing = false;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // Once the input is through, one more call ends any shift state of stateful encodings.
        const std::size_t rc = flushing ? iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft)
                                        : iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        used = static_cast<std::size_t>(outPtr - out.data());
        if (rc != static_cast<std::size_t>(-1)) {
            if (flushing) break;
            flushing = true;
        } else if (err == E2BIG) {
            out.resize(out.size() * 2);
        } else {
            const std::size_t position = static_cast<std::size_t>(inPtr - in.data());
            if (!decoding) {
                char32_t cp = 0;
                utf8At(in, position, cp);
                throwUnstorable(cp, name);
            }
            // A byte that starts no character of the page (or a character cut off by the end of the
            // text) reads as the replacement character; the rest of the text reads on.
            if (out.size() - used < 3) out.resize(out.size() * 2 + 3);
            out.replace(used, 3, kReplacement);
            used += 3;
            ++inPtr;
            --inLeft;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    out.resize(used);
    return out;
}

CodePage CodePage::byName(const std::string& requested) {
    const std::string name = cptables::canonicalName(requested);
    static std::mutex cacheMutex;
    static std::map<std::string, std::shared_ptr<const Impl>> cache;
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (const auto it = cache.find(name); it != cache.end()) return CodePage(it->second);

    auto impl = std::make_shared<Impl>();
    impl->name = name;
    if (name == "UTF-8") {
        impl->kind = Impl::Kind::Utf8;
    } else if (const auto* high = cptables::builtinHighHalf(name)) {
        impl->buildFromHighHalf(*high);
    } else if (const auto replaced = cptables::sevenBitReplacements(name); !replaced.empty()) {
        impl->buildSevenBit(replaced);
    } else {
        // An empty name means the locale's charset to iconv, and "//TRANSLIT" or "//IGNORE"
        // would make it substitute or drop characters: neither is a code page.
        const bool plain = !name.empty() && name.find('/') == std::string::npos;
        if (plain) {
            impl->decoder = std::make_unique<Iconv>("UTF-8", name);
            impl->encoder = std::make_unique<Iconv>(name, "UTF-8");
        }
        if (!plain || !impl->decoder->ok() || !impl->encoder->ok())
            throw Error(ErrorKind::Unsupported,
                        "The code page '" + requested +
                            "' is not known to this system, so its text cannot be read.");
        if (impl->buildWithIconv()) {
            impl->decoder.reset();
            impl->encoder.reset();
        } else {
            impl->kind = Impl::Kind::MultiByte;
        }
    }
    cache.emplace(name, impl);
    return CodePage(impl);
}

const std::string& CodePage::name() const {
    return m_impl->name;
}

bool CodePage::asciiCompatible() const {
    return m_impl->kind != Impl::Kind::SingleByte || m_impl->asciiSame;
}

std::string CodePage::decode(std::string_view bytes) const {
    const Impl& impl = *m_impl;
    if (impl.kind == Impl::Kind::MultiByte) return impl.convert(*impl.decoder, bytes, true);
    if (impl.kind == Impl::Kind::Utf8) {
        // Bytes that are not UTF-8 read as the replacement character, one each.
        std::string out;
        std::size_t copied = 0;
        for (std::size_t i = 0; i < bytes.size();) {
            char32_t cp = 0;
            const std::size_t len = utf8At(bytes, i, cp);
            if (len != 0) {
                i += len;
                continue;
            }
            out.append(bytes.substr(copied, i - copied));
            out.append(kReplacement);
            copied = ++i;
        }
        if (copied == 0) return std::string(bytes);
        out.append(bytes.substr(copied));
        return out;
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (std::size_t i = 0; i < bytes.size();) {
        if (impl.asciiSame) {
            std::size_t end = i;
            while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80)
                ++end;
            out.append(bytes.data() + i, end - i);
            if ((i = end) == bytes.size()) break;
        }
        const Impl::Entry& e = impl.entries[static_cast<unsigned char>(bytes[i])];
        out.append(e.utf8, e.length);
        ++i;
    }
    return out;
}

std::string CodePage::encode(std::string_view utf8) const {
    const Impl& impl = *m_impl;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80 && impl.asciiSame) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = utf8At(utf8, i, cp);
        if (len == 0) throwNotUtf8(utf8, i);
        if (impl.kind == Impl::Kind::SingleByte) {
            const auto it = impl.bytesOf.find(cp);
            if (it == impl.bytesOf.end()) throwUnstorable(cp, impl.name);
            out += static_cast<char>(it->second);
        } else {
            out.append(utf8.data() + i, len);
        }
        i += len;
    }
    if (impl.kind == Impl::Kind::MultiByte) return impl.convert(*impl.encoder, out, false);
    return out;
}

namespace {

// True when every high byte of the samples is part of valid UTF-8 and at least one multi-byte
// sequence occurs. A sequence cut off by the very end of a sample is forgiven: writers that
// count bytes, not characters, cut the last character of a full field in half.
bool looksLikeUtf8(const std::vector<std::string_view>& samples) {
    bool sawSequence = false;
    for (const std::string_view s : samples) {
        for (std::size_t i = 0; i < s.size();) {
            char32_t cp = 0;
            bool cutShort = false;
            const std::size_t len = utf8At(s, i, cp, &cutShort);
            if (len == 0) {
                if (cutShort) break;
                return false;
            }
            sawSequence |= len > 1;
            i += len;
        }
    }
    return sawSequence;
}

// Tables are written in one language, or a few: a reading whose accented letters need many
// languages to explain ("foręt aoűt crčme": French read as CP1250, with Polish, Hungarian and
// Czech letters) is implausible. Of all pairs of languages, the one that explains the letters
// best decides: letters only its second language explains cost a little, letters neither
// explains cost more.
long languagePenalty(const std::map<char32_t, long>& accented) {
    const auto alphabets = cptables::alphabets();
    const auto has = [](std::u32string_view alphabet, char32_t c) {
        return alphabet.find(c) != std::u32string_view::npos;
    };
    long best = -1;
    for (const std::u32string_view first : alphabets) {
        for (const std::u32string_view second : alphabets) {
            long penalty = 0;
            for (const auto& [c, n] : accented)
                penalty += has(first, c) ? 0 : has(second, c) ? n : 3 * n;
            if (best < 0 || penalty < best) best = penalty;
        }
    }
    return best;
}

// Whether one language writes all these accented letters: a word is in one language.
bool oneLanguage(std::u32string_view letters) {
    const auto alphabets = cptables::alphabets();
    return std::any_of(alphabets.begin(), alphabets.end(), [&](std::u32string_view alphabet) {
        return std::all_of(letters.begin(), letters.end(),
                           [&](char32_t c) { return alphabet.find(c) != std::u32string_view::npos; });
    });
}

// How plausibly a code page reads the samples' high bytes as text; higher is better. Only what
// differs between candidate pages counts, i.e. the high bytes and the letters next to them:
// - a high byte read as a letter inside a word is evidence for the page (less for rare letters);
// - a byte the page leaves undefined is strong evidence against it;
// - a symbol or box-drawing character between or next to letters is evidence against it;
// - letters of two scripts in one word ("Mьller": German read as Cyrillic) are implausible,
//   and so are case changes inside a word ("cafÚ": French read as CP850);
// - in a Latin page, a word of three or more letters that are all accented ("Ìîñêâà": Russian
//   read as CP1252) is implausible, while Cyrillic words consist of high bytes only;
// - a word whose accented letters no one language writes ("Živkoviæ": Serbian read as CP1252)
//   is implausible, and so is text whose letters need many languages (see above).
long plausibility(const std::array<char32_t, 256>& page, bool cyrillicPage,
                  const std::vector<std::string_view>& samples) {
    using namespace cptables;
    long score = 0;
    std::map<char32_t, long> accented; // how often each accented letter occurs, by lowercase
    std::vector<char32_t> cps;
    std::vector<bool> high;
    for (const std::string_view s : samples) {
        if (std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            continue;
        const std::size_t n = s.size();
        cps.resize(n);
        high.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto b = static_cast<unsigned char>(s[i]);
            cps[i] = page[b];
            high[i] = b >= 0x80;
        }
        const auto letterAt = [&](std::size_t i) { return i < n && isLetter(cps[i]); };

        for (std::size_t i = 0; i < n; ++i) {
            if (!high[i]) continue;
            const char32_t c = cps[i];
            const bool inWord = letterAt(i - 1) || letterAt(i + 1); // i - 1 wraps to >= n at 0
            if (c == kUndefined) {
                score -= 20;
            } else if (isLetter(c)) {
                score += isRareLetter(c) ? (inWord ? 1 : 0) : (inWord ? 3 : 1);
            } else if (letterAt(i - 1) && letterAt(i + 1)) {
                score -= isApostrophe(c) ? 0 : 6;
            } else if (inWord && isOddSymbol(c)) {
                score -= 3;
            }
        }

        // Words: maximal runs of letters.
        for (std::size_t start = 0; start < n;) {
            if (!letterAt(start)) {
                ++start;
                continue;
            }
            std::size_t end = start;
            bool allHigh = true;
            std::u32string letters; // the word's distinct accented letters
            for (; letterAt(end); ++end) {
                allHigh &= high[end];
                if (!high[end]) continue;
                const Script script = scriptOf(cps[end]);
                const char32_t letter = script == Script::Cyrillic ? kCyrillic
                                        : script == Script::Greek  ? kGreek
                                                                   : toLower(cps[end]);
                ++accented[letter];
                if (letters.find(letter) == std::u32string::npos) letters += letter;
            }
            if (letters.size() > 1 && !oneLanguage(letters)) score -= 4;
            if (allHigh && !cyrillicPage && end - start >= 3) score -= 5 * static_cast<long>(end - start);
            for (std::size_t i = start; i + 1 < end; ++i) {
                if (!high[i] && !high[i + 1]) continue;
                const char32_t c = cps[i], next = cps[i + 1];
                if (scriptOf(c) != scriptOf(next)) score -= 6;
                if (isLower(c) && isUpper(next))
                    score -= 3;
                else if (isUpper(c) && isLower(next) && i > start && isUpper(cps[i - 1]))
                    score -= 3;
            }
            start = end;
        }
    }
    return score - languagePenalty(accented);
}

} // namespace

std::string CodePage::detect(const std::vector<std::string_view>& samples, bool dosFirst) {
    const bool anyHigh = std::any_of(samples.begin(), samples.end(), [](std::string_view s) {
        return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    });
    if (!anyHigh) return dosFirst ? "CP437" : "CP1252";
    if (looksLikeUtf8(samples)) return "UTF-8";
    // On a tie the earlier page wins: pages that read the text alike (German in CP1252 and
    // CP1250, or in CP850 and CP852) then get the Windows page, or the DOS page with most letters;
    // for a DOS program's table the DOS pages come first, and a little evidence is not enough
    // against them.
    struct Candidate {
        const char* name;
        bool cyrillic;
        bool dos;
    };
    static const Candidate windowsFirst[] = {
        {"CP1252", false, false}, {"CP850", false, true},  {"CP437", false, true}, {"CP1250", false, false},
        {"CP852", false, true},   {"CP1251", true, false}, {"CP866", true, true}};
    static const Candidate dosPagesFirst[] = {
        {"CP850", false, true},   {"CP437", false, true},   {"CP852", false, true}, {"CP866", true, true},
        {"CP1252", false, false}, {"CP1250", false, false}, {"CP1251", true, false}};
    constexpr long kDosBenefit = 8; // about three accented letters' worth
    std::string best;
    long bestScore = 0;
    for (const Candidate& c : dosFirst ? dosPagesFirst : windowsFirst) {
        const CodePage page = byName(c.name);
        const long score = plausibility(page.m_impl->codePoints, c.cyrillic, samples) +
                           (dosFirst && c.dos ? kDosBenefit : 0);
        if (best.empty() || score > bestScore) {
            best = c.name;
            bestScore = score;
        }
    }
    return best;
}

} // namespace xbase
