// Turning the bytes of one field into a Value and back, for every field type the layer knows.
#pragma once

#include "xbase/CodePage.h"
#include "xbase/Header.h"
#include "xbase/MemoFile.h"
#include "xbase/Value.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace xbase::codec {

struct Context {
    const Header& header;
    const CodePage& codePage;
    MemoFile* memo; // null when the table has no memo file (memo values then read as Null)
};

// Decodes field `index` of a whole record (deletion flag at byte 0).
Value decode(const Context& cx, std::span<const std::uint8_t> record, std::size_t index);

// Encodes into a whole record; on error the record is unchanged. Memo contents are appended to the
// memo file. Throws Error(Value / CodePage / Unsupported) naming the field.
void encode(const Context& cx, std::vector<std::uint8_t>& record, std::size_t index, const Value& value);

// True for memo contents that are plainly not text (NULs and control bytes all through them, as in a
// picture stored in a text memo): they are handed out as bytes, not decoded.
bool looksBinary(std::string_view memo);

// A record with every field blank (binary fields zero, nullable FoxPro fields Null).
std::vector<std::uint8_t> blankRecord(const Header& header);

// The rules that tell how a field is stored, the same for reading, writing and blank records.
// B is FoxPro's 8-byte double; dBASE IV and 7 use B for binary memos.
bool isDoubleField(Family family, const Field& f);
// Stored as binary bytes (integers, currency, date-times, doubles, 4-byte memo pointers, the null
// flags): blank means zero bytes, not blanks.
bool isBinaryField(Family family, const Field& f);

} // namespace xbase::codec
