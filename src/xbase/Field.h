// A field of a table as described by its header.
#pragma once

#include <cstdint>
#include <string>

namespace xbase {

struct Field {
    std::string name;         // UTF-8, decoded with the table's code page once the table is open
    char type = 'C';          // the type letter as stored: C N F D L M I B Y T @ + O V Q G P W 0
    std::uint32_t length = 0; // bytes in the record (Clipper long C fields may exceed 255)
    std::uint8_t decimals = 0;
    std::uint8_t flags = 0;   // FoxPro field flags (0x01 system, 0x02 nullable, 0x04 binary)
    std::uint32_t offset = 0; // byte offset inside the record; the deletion flag is byte 0
    bool hidden = false;      // a system field such as _NullFlags: not shown as a column
    int nullBit = -1;         // bit in _NullFlags that makes the value Null, or -1
    int varLengthBit = -1;    // bit in _NullFlags that marks a shortened V/Q value, or -1
    bool binary = false;      // FoxPro's varbinary Q: bytes, not text (G, P and W are bytes by type)
};

// Field types whose values live in the memo file.
inline bool isMemoType(char t) {
    return t == 'M' || t == 'G' || t == 'P' || t == 'W';
}

} // namespace xbase
