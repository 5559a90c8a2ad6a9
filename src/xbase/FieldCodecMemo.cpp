// Memo fields: the block pointer in the record, and the contents in the memo file as text or bytes.
#include "xbase/ByteOrder.h"
#include "xbase/Error.h"
#include "xbase/FieldCodecParts.h"

#include <charconv>
#include <cstring>

namespace xbase::codec::parts {

namespace {

// dBASE's soft return: the editor's word wrap ends a line with 0x8D 0x0A. It reads as U+008D and a line
// feed in every code page, and is written back as the same two bytes.
constexpr std::string_view kSoftReturn = "\x8D\x0A";
constexpr std::string_view kSoftReturnText = "\xC2\x8D\x0A";

std::uint64_t memoPointer(const Field& f, Span s) {
    if (f.length == 4) return bytes::le32(s.data());
    std::string_view digits = trimmed(asText(s));
    std::uint64_t block = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), block);
    if (ec != std::errc() || end != digits.data() + digits.size()) return 0;
    return block;
}

// Pieces of `text` between the separators, each converted, joined by `joint`.
template <typename Convert>
std::string eachPiece(std::string_view text, std::string_view separator, std::string_view joint,
                      Convert convert) {
    std::string out;
    for (std::size_t from = 0;;) {
        const std::size_t at = text.find(separator, from);
        out += convert(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return out;
        out += joint;
        from = at + separator.size();
    }
}

} // namespace

} // namespace xbase::codec::parts

namespace xbase::codec {

// Control bytes other than tab, line and page breaks are not text; where there are many of them (a
// picture pasted into a text memo), the memo is bytes. NULs at the end are padding and do not count.
bool looksBinary(std::string_view data) {
    while (!data.empty() && data.back() == '\0')
        data.remove_suffix(1);
    std::size_t controls = 0;
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A) || b == 0x7F)
            ++controls;
    }
    return controls >= 2 && controls * 16 >= data.size();
}

} // namespace xbase::codec

namespace xbase::codec::parts {

namespace {
std::string decodeMemoText(const CodePage& page, std::string_view data) {
    return eachPiece(data, kSoftReturn, kSoftReturnText,
                     [&](std::string_view piece) { return page.decode(piece); });
}
} // namespace

Value decodeMemo(const Context& cx, const Field& f, Span field) {
    const std::uint64_t block = memoPointer(f, field);
    if (block == 0 || !cx.memo) return Null{};
    MemoFile::Block memo = cx.memo->read(block);
    const std::string_view data = asText(memo.data);
    if (f.type != 'M' || memo.type != 1 || looksBinary(data)) return std::move(memo.data);
    return decodeMemoText(cx.codePage, data);
}

void writeMemo(const Context& cx, const Field& f, std::uint8_t* at, const Value& v) {
    std::string bytes;
    std::uint32_t type = 1;
    if (auto b = std::get_if<Bytes>(&v)) {
        bytes.assign(b->begin(), b->end());
        type = f.type == 'M' ? 1 : f.type == 'G' ? 2 : 0;
    } else if (!isNull(v)) {
        bytes = eachPiece(textOf(f, v), kSoftReturnText, kSoftReturn, [&](std::string_view piece) {
            return encodeInCodePage(cx, f, std::string(piece));
        });
    }
    std::uint64_t block = 0;
    if (!bytes.empty()) {
        if (!cx.memo)
            throw Error(ErrorKind::Memo, "Field '" + f.name + "': the table's memo file is missing.");
        if (cx.memo->format() == MemoFormat::DBase3 && bytes.find('\x1A') != std::string::npos)
            refuse(f, "dBASE III memo text cannot contain the character 0x1A.");
        if (f.length != 4 && std::to_string(cx.memo->nextFreeBlock()).size() > f.length)
            refuse(f, "the memo file is too large for the field's pointer.");
        block = cx.memo->append({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, type);
    }
    if (f.length == 4) {
        bytes::putLe32(at, static_cast<std::uint32_t>(block));
    } else {
        std::string digits = block ? std::to_string(block) : std::string();
        if (digits.size() > f.length) refuse(f, "the memo file is too large for the field's pointer.");
        std::memset(at, ' ', f.length);
        std::memcpy(at + f.length - digits.size(), digits.data(), digits.size());
    }
}

} // namespace xbase::codec::parts
