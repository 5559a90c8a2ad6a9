// The pieces the field codec's files share: record bits, value conversions, refusals, and the text and
// memo halves of decoding and encoding.
#pragma once

#include "xbase/FieldCodec.h"

#include <string>
#include <string_view>

namespace xbase::codec::parts {

using Span = std::span<const std::uint8_t>;

inline std::string_view asText(Span s) {
    return {reinterpret_cast<const char*>(s.data()), s.size()};
}

// A stored value without the blanks and NULs that pad it.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

// Bits of the _NullFlags field; -1 (no bit) reads as clear and is never set.
bool testBit(const Header& h, Span record, int bit);
void setBit(const Header& h, std::vector<std::uint8_t>& record, int bit, bool on);

[[noreturn]] void refuse(const Field& f, const std::string& why);   // Error(Value) naming the field
[[noreturn]] void mismatch(const Field& f, const std::string& why); // Error(Type) naming the field
std::string describeType(const Field& f);                           // "C(10)", "N(12,2)"

// A value as text for a character-like field (numbers and dates as a user types them), and as a number.
std::string textOf(const Field& f, const Value& v);
double numberOf(const Field& f, const Value& v);

// Character-like fields: C, V, Q and the UTF-16 types.
bool isTextType(char type);
Value decodeText(const Context& cx, Span record, const Field& f);
void encodeText(const Context& cx, std::vector<std::uint8_t>& record, const Field& f, const Value& v);
// Text in the table's code page; a character it cannot hold is refused naming the field.
std::string encodeInCodePage(const Context& cx, const Field& f, const std::string& text);

// Memo fields: the pointer in the record, the contents in the memo file.
Value decodeMemo(const Context& cx, const Field& f, Span field);
void writeMemo(const Context& cx, const Field& f, std::uint8_t* at, const Value& v);

} // namespace xbase::codec::parts
