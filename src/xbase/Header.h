// The table file header of every dBASE variant, parsed into one shape, and written for dBASE III.
#pragma once

#include "Field.h"
#include "MemoFile.h"
#include "Value.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace xbase {

enum class Family {
    DBase2,       // 0x02: 521-byte header, 16-byte descriptors
    DBase3,       // 0x03 0x83 (and Visual Objects 0x07 0x87)
    DBase4,       // 0x05 0x7B 0x8B 0x8E 0x43 0x63 0xCB
    DBase7,       // 0x04 0x8C: 68-byte header, 48-byte descriptors
    FoxPro,       // 0xF5 0xFB (FoxPro 2.x, FoxBASE)
    VisualFoxPro, // 0x30 0x31 0x32: 263-byte backlink after the descriptors
};

// The name of a family as users know it: "dBASE III", "Visual FoxPro", ...
const char* familyName(Family family);

struct Header {
    std::uint8_t version = 0x03;
    Family family = Family::DBase3;
    Date lastUpdate;                      // as stored; may be invalid in old files
    std::uint32_t recordCount = 0;        // as stored
    std::uint32_t headerLength = 0;       // offset of the first record
    std::uint32_t recordLength = 0;       // including the deletion flag
    std::uint8_t tableFlags = 0;          // byte 28: production index / FoxPro flags
    std::uint8_t languageDriver = 0;      // byte 29
    std::string languageDriverName;       // level 7 only (bytes 32-63)
    std::vector<Field> fields;            // all fields, hidden ones included, in stored order
    int nullFlagsField = -1;              // index of _NullFlags in fields, or -1
    std::optional<MemoFormat> memoFormat; // the memo format the table's memo fields use, if any
};

// Parses a header from the first bytes of a file (as many as are available, up to the whole file).
// Throws Error(Format) with a description of what is wrong, Error(Unsupported) for encrypted tables
// or unknown versions.
Header parseHeader(std::span<const std::uint8_t> bytes);

// The bytes of a dBASE III header (0x03 / 0x83) for these fields, offsets and lengths filled in.
std::vector<std::uint8_t> buildDBase3Header(std::vector<Field>& fields, std::uint8_t languageDriver,
                                            bool hasMemo, std::uint32_t recordCount, const Date& today);

// Today's date for the header's date of last update.
Date today();

} // namespace xbase
