// Parsing the table header of every dBASE variant into one shape, and writing dBASE III headers.
#include "xbase/Header.h"

#include "xbase/ByteOrder.h"
#include "xbase/Error.h"
#include "xbase/FieldCodec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace xbase {

namespace {

using bytes::le16;
using bytes::le32;

std::string hex(std::uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

[[noreturn]] void bad(const std::string& what) {
    throw Error(ErrorKind::Format, what);
}

std::optional<Family> familyOf(std::uint8_t version) {
    switch (version) {
    case 0x02:
        return Family::DBase2;
    case 0x03:
    case 0x83:
    case 0x07:
    case 0x87:
        return Family::DBase3;
    case 0x05:
    case 0x7B:
    case 0x8B:
    case 0x8E:
    case 0x43:
    case 0x63:
    case 0xCB:
        return Family::DBase4;
    case 0x04:
    case 0x8C:
        return Family::DBase7;
    case 0x30:
    case 0x31:
    case 0x32:
        return Family::VisualFoxPro;
    case 0xF5:
    case 0xFB:
        return Family::FoxPro;
    default:
        return std::nullopt;
    }
}

// Field names end at the first NUL; some writers pad with blanks instead.
std::string fieldName(const std::uint8_t* p, std::size_t max) {
    std::size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    std::string name(reinterpret_cast<const char*>(p), n);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

// Two-digit years: the level-7 rule (years since 1900) where the byte says more than 99, otherwise the
// window most readers use.
Date storedDate(int yy, int mm, int dd) {
    const int year = yy >= 100 ? 1900 + yy : (yy < 80 ? 2000 + yy : 1900 + yy);
    return Date{year, mm, dd};
}

bool isMemoField(const Field& f, Family family) {
    if (isMemoType(f.type)) return true;
    // dBASE IV and 7 use B for binary memos; FoxPro's B is an 8-byte double.
    return f.type == 'B' && !codec::isDoubleField(family, f);
}

std::uint32_t sumOfLengths(const std::vector<Field>& fields) {
    std::uint32_t sum = 0;
    for (const auto& f : fields)
        sum += f.length;
    return sum;
}

void parseDBase2(std::span<const std::uint8_t> b, Header& h) {
    if (b.size() < 521) bad("The file is shorter than a dBASE II header (521 bytes).");
    h.recordCount = le16(&b[1]);
    h.lastUpdate = storedDate(b[5], b[3], b[4]);
    h.recordLength = le16(&b[6]);
    h.headerLength = 521;
    for (std::size_t k = 0; k < 32; ++k) {
        const std::uint8_t* d = &b[8 + 16 * k];
        if (d[0] == 0x0D || d[0] == 0x00) break;
        Field f;
        f.name = fieldName(d, 11);
        f.type = static_cast<char>(d[11]);
        f.length = d[12];
        f.decimals = d[15];
        h.fields.push_back(f);
    }
}

// Returns false when the header ended before the descriptor array's end marker.
bool parseDescriptors(std::span<const std::uint8_t> b, Header& h, std::size_t start, std::size_t size) {
    const bool level7 = h.family == Family::DBase7;
    for (std::size_t off = start;; off += size) {
        if (off < h.headerLength && off < b.size() && b[off] == 0x0D) return true;
        if (off + size > h.headerLength || off + size > b.size()) return false;
        const std::uint8_t* d = &b[off];
        Field f;
        if (level7) {
            f.name = fieldName(d, 32);
            f.type = static_cast<char>(d[32]);
            f.length = d[33];
            f.decimals = d[34];
        } else {
            f.name = fieldName(d, 11);
            f.type = static_cast<char>(d[11]);
            f.length = d[16];
            f.decimals = d[17];
            f.flags = d[18]; // meaningful only where the table has flags at all; see assignNullBits
        }
        if (f.name.empty() && f.type == 0)
            return true; // some writers end the array with NULs instead of 0x0D
        h.fields.push_back(f);
    }
}

// Clipper stores the length of long character fields in the decimal byte as its high byte. Take that
// reading only where it makes the fields add up to the record length.
void resolveLongCharacterFields(Header& h) {
    const std::uint32_t plain = sumOfLengths(h.fields) + 1;
    if (plain == h.recordLength) return;
    std::uint32_t widened = 1;
    for (const auto& f : h.fields)
        widened += f.type == 'C' ? f.length + 256u * f.decimals : f.length;
    if (widened != h.recordLength) return;
    for (auto& f : h.fields) {
        if (f.type == 'C') {
            f.length += 256u * f.decimals;
            f.decimals = 0;
        }
    }
}

// Field flags (hidden, nullable, binary) and the bits of _NullFlags. Visual FoxPro always writes the
// flags; other writers that add a _NullFlags field write them too, while many older programs leave
// random bytes in that place, so without _NullFlags they are ignored.
void assignNullBits(Header& h) {
    const bool flagged =
        h.family == Family::VisualFoxPro ||
        std::any_of(h.fields.begin(), h.fields.end(), [](const Field& f) { return f.type == '0'; });
    int bit = 0;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        Field& f = h.fields[i];
        if (!flagged) f.flags = 0;
        if (f.type == '0') {
            f.hidden = true;
            if (h.nullFlagsField < 0) h.nullFlagsField = static_cast<int>(i);
            continue;
        }
        if (f.flags & 0x01) f.hidden = true;
        // FoxPro's binary flag means "no code-page translation": C, V and M with it still hold text.
        // Only its varbinary is bytes; elsewhere Q is text of variable length.
        if (f.type == 'Q' && h.family == Family::VisualFoxPro) f.binary = true;
        if (f.type == 'V' || f.type == 'Q' || f.type == 0x1B) f.varLengthBit = bit++;
        if (f.flags & 0x02) f.nullBit = bit++;
    }
    if (h.nullFlagsField < 0) {
        for (auto& f : h.fields)
            f.nullBit = f.varLengthBit = -1;
    } else if (static_cast<std::uint32_t>(bit) > 8u * h.fields[h.nullFlagsField].length) {
        bad("The _NullFlags field is too short for the table's nullable fields.");
    }
}

} // namespace

const char* familyName(Family family) {
    switch (family) {
    case Family::DBase2:
        return "dBASE II";
    case Family::DBase3:
        return "dBASE III";
    case Family::DBase4:
        return "dBASE IV";
    case Family::DBase7:
        return "dBASE 7";
    case Family::FoxPro:
        return "FoxPro";
    case Family::VisualFoxPro:
        return "Visual FoxPro";
    }
    return "dBASE";
}

Header parseHeader(std::span<const std::uint8_t> b) {
    if (b.empty()) bad("The file is empty.");
    Header h;
    bool terminated = true;
    h.version = b[0];
    const auto family = familyOf(h.version);
    if (!family) {
        if (h.version == 0xE5)
            throw Error(ErrorKind::Unsupported,
                        "Tables with an .smt memo file (version 0xE5) cannot be read.");
        if (h.version == 0x06 || h.version == 0x86 || h.version == 0xE6 || h.version == 0xF6)
            throw Error(ErrorKind::Unsupported, "The table is encrypted (version " + hex(h.version) + ").");
        bad("This is not a dBASE table: unknown version byte " + hex(h.version) + ".");
    }
    h.family = *family;

    if (h.family == Family::DBase2) {
        parseDBase2(b, h);
    } else {
        const std::size_t fixed = h.family == Family::DBase7 ? 68 : 32;
        if (b.size() < fixed) bad("The file is shorter than its header.");
        h.lastUpdate = storedDate(b[1], b[2], b[3]);
        h.recordCount = le32(&b[4]);
        h.headerLength = le16(&b[8]);
        h.recordLength = le16(&b[10]);
        // Byte 15 is dBASE's encryption flag; FoxPro tables use it for nothing and may have anything there.
        const bool fox = h.family == Family::VisualFoxPro || h.family == Family::FoxPro;
        if (b[15] == 1 && !fox) throw Error(ErrorKind::Unsupported, "The table is encrypted.");
        h.tableFlags = b[28];
        h.languageDriver = b[29];
        if (h.family == Family::DBase7) h.languageDriverName = fieldName(&b[32], 32);
        if (h.headerLength < fixed + 1)
            bad("The header length (" + std::to_string(h.headerLength) + " bytes) is too small.");
        if (b.size() < h.headerLength)
            bad("The file is shorter than its header (" + std::to_string(h.headerLength) + " bytes).");
        terminated = parseDescriptors(b, h, fixed, h.family == Family::DBase7 ? 48 : 32);
    }

    if (h.recordLength == 0) bad("The record length is 0.");
    resolveLongCharacterFields(h);
    assignNullBits(h);

    std::uint32_t offset = 1;
    for (auto& f : h.fields) {
        f.offset = offset;
        offset += f.length;
    }
    // Without its end marker the array may have been cut by a wrong header length; trust it only where
    // the fields it gives fill the records exactly.
    if (!terminated && offset != h.recordLength)
        bad("The header ends inside the field descriptors (header length " + std::to_string(h.headerLength) +
            ").");
    if (offset > h.recordLength)
        bad("The fields need " + std::to_string(offset) + " bytes per record, but the header gives " +
            std::to_string(h.recordLength) + ".");

    for (const auto& f : h.fields) {
        if (isMemoField(f, h.family)) {
            switch (h.family) {
            case Family::FoxPro:
            case Family::VisualFoxPro:
                h.memoFormat = MemoFormat::FoxPro;
                break;
            case Family::DBase4:
            case Family::DBase7:
                h.memoFormat = MemoFormat::DBase4;
                break;
            default:
                h.memoFormat = MemoFormat::DBase3;
                break;
            }
            break;
        }
    }
    return h;
}

std::vector<std::uint8_t> buildDBase3Header(std::vector<Field>& fields, std::uint8_t languageDriver,
                                            bool hasMemo, std::uint32_t recordCount, const Date& date) {
    const std::size_t headerLength = 32 + 32 * fields.size() + 1;
    if (headerLength > 0xFFFF) throw Error(ErrorKind::Value, "Too many fields for a dBASE table.");
    std::uint32_t offset = 1;
    for (auto& f : fields) {
        f.offset = offset;
        offset += f.length;
    }
    if (offset > 0xFFFF)
        throw Error(ErrorKind::Value, "The fields are too long for one dBASE record (at most 65535 bytes).");

    std::vector<std::uint8_t> h(headerLength, 0);
    h[0] = hasMemo ? 0x83 : 0x03;
    h[1] = static_cast<std::uint8_t>(std::clamp(date.year - 1900, 0, 255));
    h[2] = static_cast<std::uint8_t>(date.month);
    h[3] = static_cast<std::uint8_t>(date.day);
    for (int i = 0; i < 4; ++i)
        h[4 + i] = static_cast<std::uint8_t>(recordCount >> (8 * i));
    h[8] = static_cast<std::uint8_t>(headerLength);
    h[9] = static_cast<std::uint8_t>(headerLength >> 8);
    h[10] = static_cast<std::uint8_t>(offset);
    h[11] = static_cast<std::uint8_t>(offset >> 8);
    h[29] = languageDriver;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::uint8_t* d = &h[32 + 32 * i];
        std::copy_n(fields[i].name.begin(), std::min<std::size_t>(fields[i].name.size(), 10), d);
        d[11] = static_cast<std::uint8_t>(fields[i].type);
        // Long character fields in the Clipper way: the decimal byte holds the high byte of the length.
        d[16] = static_cast<std::uint8_t>(fields[i].length & 0xFF);
        d[17] = fields[i].type == 'C' ? static_cast<std::uint8_t>(fields[i].length >> 8) : fields[i].decimals;
    }
    h[headerLength - 1] = 0x0D;
    return h;
}

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

} // namespace xbase
