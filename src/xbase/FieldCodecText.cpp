// Character-like fields: C, FoxPro's V and Q with their length byte, and the UTF-16 types 0x1A and 0x1B.
#include "xbase/ByteOrder.h"
#include "xbase/Error.h"
#include "xbase/FieldCodecParts.h"

#include <algorithm>
#include <cstring>

namespace xbase::codec::parts {

namespace {

constexpr char kUtf16Fixed = 0x1A;    // UTF-16LE text, blank-padded
constexpr char kUtf16Variable = 0x1B; // the same with its length in the last two bytes when shorter

bool isUtf16(char type) {
    return type == kUtf16Fixed || type == kUtf16Variable;
}

// A text value ends at its first NUL, as most readers take it; blanks after it are padding.
std::string_view storedText(std::string_view s) {
    if (const auto nul = s.find('\0'); nul != std::string_view::npos) s = s.substr(0, nul);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// UTF-16LE units to UTF-8, up to the first NUL; a lone surrogate reads as U+FFFD.
std::string fromUtf16(Span s) {
    std::string out;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        char32_t cp = bytes::le16(&s[i]);
        if (cp == 0) break;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < s.size()) {
            const char32_t low = bytes::le16(&s[i + 2]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::u16string toUtf16(const Field& f, std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        const std::size_t len = b0 < 0x80 ? 1 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
        if (len == 0 || i + len > text.size()) mismatch(f, "the text is not valid UTF-8.");
        char32_t cp = len == 1 ? b0 : b0 & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// The bytes of a V or Q value: all of the field, or as many as its last byte says when the field's
// length bit is set.
Span variableBytes(const Context& cx, Span record, const Field& f) {
    const Span s = record.subspan(f.offset, f.length);
    if (s.empty() || !testBit(cx.header, record, f.varLengthBit)) return s;
    return s.first(std::min<std::size_t>(s.back(), s.size() - 1));
}

} // namespace

bool isTextType(char type) {
    return type == 'C' || type == 'V' || type == 'Q' || isUtf16(type);
}

Value decodeText(const Context& cx, Span record, const Field& f) {
    if (isUtf16(f.type)) {
        Span s = record.subspan(f.offset, f.length);
        if (testBit(cx.header, record, f.varLengthBit) && s.size() >= 2)
            s = s.first(std::min<std::size_t>(2u * bytes::le16(&s[s.size() - 2]), s.size() - 2));
        return fromUtf16(s);
    }
    const Span s = f.type == 'C' ? record.subspan(f.offset, f.length) : variableBytes(cx, record, f);
    if (f.binary) return Bytes(s.begin(), s.end()); // FoxPro's varbinary
    return cx.codePage.decode(storedText(asText(s)));
}

std::string encodeInCodePage(const Context& cx, const Field& f, const std::string& text) {
    try {
        return cx.codePage.encode(text);
    } catch (const Error& e) {
        throw Error(e.kind(), "Field '" + f.name + "': " + e.what());
    }
}

void encodeText(const Context& cx, std::vector<std::uint8_t>& record, const Field& f, const Value& v) {
    std::uint8_t* p = record.data() + f.offset;
    const bool null = isNull(v);
    const auto tooLong = [&](std::size_t size) {
        refuse(f, "the text is " + std::to_string(size) + " bytes long; the field holds " +
                      std::to_string(f.length) + ".");
    };
    if (isUtf16(f.type)) {
        const std::u16string units = null ? std::u16string() : toUtf16(f, textOf(f, v));
        if (2 * units.size() > f.length) tooLong(2 * units.size());
        for (std::size_t i = 0; i + 1 < f.length; i += 2)
            bytes::putLe16(p + i, i / 2 < units.size() ? units[i / 2] : u' ');
        const bool shortened =
            f.type == kUtf16Variable && f.varLengthBit >= 0 && 2 * units.size() + 2 <= f.length;
        if (shortened) bytes::putLe16(p + f.length - 2, static_cast<std::uint16_t>(units.size()));
        setBit(cx.header, record, f.varLengthBit, shortened);
        return;
    }
    std::string text;
    if (auto b = std::get_if<Bytes>(&v))
        text.assign(b->begin(), b->end());
    else if (!null)
        text = encodeInCodePage(cx, f, textOf(f, v));
    if (text.size() > f.length) tooLong(text.size());
    std::memset(p, f.binary ? 0 : ' ', f.length);
    std::memcpy(p, text.data(), text.size());
    const bool shortened = f.type != 'C' && f.varLengthBit >= 0 && text.size() < f.length;
    if (shortened) p[f.length - 1] = static_cast<std::uint8_t>(text.size());
    setBit(cx.header, record, f.varLengthBit, shortened);
}

} // namespace xbase::codec::parts
