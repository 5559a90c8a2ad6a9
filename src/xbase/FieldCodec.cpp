// Field values from and to record bytes: numbers, dates, logicals and the binary FoxPro, dBASE 7 and
// Clipper-compatible types; text and memo fields in FieldCodecText.cpp and FieldCodecMemo.cpp.
#include "xbase/FieldCodec.h"

#include "xbase/Ascii.h"
#include "xbase/ByteOrder.h"
#include "xbase/Error.h"
#include "xbase/FieldCodecParts.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace xbase::codec::parts {

bool testBit(const Header& h, Span record, int bit) {
    if (bit < 0 || h.nullFlagsField < 0) return false;
    const Field& nf = h.fields[h.nullFlagsField];
    const std::size_t at = nf.offset + static_cast<std::size_t>(bit) / 8;
    return at < record.size() && (record[at] >> (bit % 8) & 1) != 0;
}

void setBit(const Header& h, std::vector<std::uint8_t>& record, int bit, bool on) {
    if (bit < 0 || h.nullFlagsField < 0) return;
    std::uint8_t& byte = record[h.fields[h.nullFlagsField].offset + static_cast<std::size_t>(bit) / 8];
    const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
    byte = on ? static_cast<std::uint8_t>(byte | mask) : static_cast<std::uint8_t>(byte & ~mask);
}

[[noreturn]] void refuse(const Field& f, const std::string& why) {
    throw Error(ErrorKind::Value, "Field '" + f.name + "': " + why);
}

[[noreturn]] void mismatch(const Field& f, const std::string& why) {
    throw Error(ErrorKind::Type, "Field '" + f.name + "': " + why);
}

std::string describeType(const Field& f) {
    std::string t(1, f.type);
    t += "(" + std::to_string(f.length);
    if (f.decimals) t += "," + std::to_string(f.decimals);
    return t + ")";
}

std::string textOf(const Field& f, const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (auto b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (auto d = std::get_if<Date>(&v)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
        return buf;
    }
    mismatch(f, "this kind of value cannot be stored as text.");
}

double numberOf(const Field& f, const Value& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    if (auto s = std::get_if<std::string>(&v)) {
        std::string_view t = trimmed(*s);
        double d = 0;
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
        if (!t.empty() && ec == std::errc() && end == t.data() + t.size()) return d;
        mismatch(f, "'" + *s + "' is not a number.");
    }
    mismatch(f, "the value is not a number.");
}

} // namespace xbase::codec::parts

namespace xbase::codec {

namespace {

using bytes::be32;
using bytes::be64;
using bytes::le32;
using bytes::le64;
using bytes::putBe32;
using bytes::putLe32;
using bytes::putLe64;

using parts::asText;
using parts::describeType;
using parts::mismatch;
using parts::numberOf;
using parts::refuse;
using parts::setBit;
using parts::Span;
using parts::testBit;
using parts::textOf;

using parts::trimmed;

Value parseNumber(std::string_view raw, const Field& f) {
    std::string_view s = trimmed(raw);
    if (s.empty() || s.find_first_not_of('*') == std::string_view::npos)
        return Null{}; // blank, or stars written for a value that did not fit
    std::string text(s);
    std::replace(text.begin(), text.end(), ',', '.');
    if (!text.empty() && text.front() == '+') text.erase(0, 1);
    const bool integral = text.find_first_of(".eE") == std::string::npos;
    if (integral && f.decimals == 0) {
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc() && end == text.data() + text.size()) return v;
    }
    double d = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(d)) return Null{};
    return d;
}

Value parseDate(std::string_view raw) {
    std::string_view s = trimmed(raw);
    if (s.size() != 8 || s.find_first_not_of("0123456789") != std::string_view::npos) return Null{};
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        std::from_chars(s.data() + at, s.data() + at + n, v);
        return v;
    };
    Date d{num(0, 4), num(4, 2), num(6, 2)};
    if (!isValidDate(d)) return Null{};
    return d;
}

Value dateTimeFromJulian(std::int64_t jdn, std::int64_t msec) {
    if (jdn <= 0 || msec < 0 || msec >= 86'400'000) return Null{};
    const Date d = dateFromJulianDay(jdn);
    if (!isValidDate(d)) return Null{};
    return DateTime{d, static_cast<std::int32_t>(msec)};
}

bool allBytes(Span s, std::uint8_t b) {
    return std::all_of(s.begin(), s.end(), [b](std::uint8_t c) { return c == b; });
}

std::string formatNumber(const Field& f, const Value& v) {
    std::string text;
    if (auto i = std::get_if<std::int64_t>(&v); i && f.decimals == 0) {
        text = std::to_string(*i);
    } else {
        const double d = numberOf(f, v);
        if (!std::isfinite(d)) refuse(f, "the value is not a finite number.");
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(f.decimals), d);
        text = buf;
        if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-')
            text.erase(0, 1); // no negative zero
    }
    if (text.size() > f.length)
        refuse(f, "the number " + text + " is too wide for the field (" + describeType(f) + ").");
    return std::string(f.length - text.size(), ' ') + text;
}

Date dateOf(const Field& f, const Value& v) {
    if (auto d = std::get_if<Date>(&v); d && isValidDate(*d)) return *d;
    if (auto dt = std::get_if<DateTime>(&v); dt && isValidDate(dt->date)) return dt->date;
    if (auto s = std::get_if<std::string>(&v)) {
        std::string t(trimmed(*s));
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if ((std::sscanf(t.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) >= 3 &&
             (tail == 0 || tail == ' ' || tail == 'T')) ||
            (t.size() == 8 && std::sscanf(t.c_str(), "%4d%2d%2d", &y, &m, &d) == 3)) {
            Date out{y, m, d};
            if (isValidDate(out)) return out;
        }
        mismatch(f, "'" + *s + "' is not a valid date.");
    }
    mismatch(f, "the value is not a valid date.");
}

// The time of day of a value: a date-time's, or that of text "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS".
std::int32_t msecOf(const Value& v) {
    if (auto dt = std::get_if<DateTime>(&v)) return dt->msecOfDay;
    if (auto s = std::get_if<std::string>(&v)) {
        int h = 0, mi = 0, sec = 0;
        const std::string t(trimmed(*s));
        const char* time = t.size() >= 19 ? t.c_str() + 11 : t.c_str();
        if (std::sscanf(time, "%2d:%2d:%2d", &h, &mi, &sec) == 3 && h < 24 && mi < 60 && sec < 60)
            return ((h * 60 + mi) * 60 + sec) * 1000;
    }
    return 0;
}

std::int64_t integerOf(const Field& f, const Value& v, std::int64_t lo, std::int64_t hi) {
    const double d = numberOf(f, v);
    if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi)))
        refuse(f, "the number is out of range for the field (" + describeType(f) + ").");
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    return static_cast<std::int64_t>(std::nearbyint(d));
}

bool isLevel7(const Context& cx) {
    return cx.header.family == Family::DBase7;
}

// Integers: dBASE 7 stores four bytes big-endian with the sign bit inverted; everyone else little-endian,
// in 1, 2, 3, 4 or 8 bytes, scaled by the field's decimals where it has them.
bool isIntegerWidth(const Context& cx, const Field& f) {
    if (isLevel7(cx)) return f.length == 4;
    return f.length == 1 || f.length == 2 || f.length == 3 || f.length == 4 || f.length == 8;
}

double scale(const Field& f) {
    return std::pow(10.0, f.decimals);
}

Value decodeInteger(const Context& cx, const Field& f, const std::uint8_t* p) {
    if (!isIntegerWidth(cx, f)) return Null{};
    std::int64_t n = 0;
    if (isLevel7(cx)) {
        n = static_cast<std::int32_t>(be32(p) ^ 0x80000000u);
    } else {
        std::uint64_t bits = 0;
        for (std::size_t k = f.length; k-- > 0;)
            bits = bits << 8 | p[k];
        const unsigned unused = 64 - 8 * f.length; // sign-extend from the field's width
        n = unused == 0 ? static_cast<std::int64_t>(bits)
                        : static_cast<std::int64_t>(bits << unused) >> unused;
    }
    if (f.decimals > 0) return static_cast<double>(n) / scale(f);
    return n;
}

void encodeInteger(const Context& cx, const Field& f, std::uint8_t* p, const Value& v) {
    const bool null = isNull(v);
    const std::int64_t hi = f.length == 8 ? std::numeric_limits<std::int64_t>::max()
                                          : (std::int64_t{1} << (8 * f.length - 1)) - 1;
    const std::int64_t lo = -hi - 1;
    std::int64_t n = 0;
    if (!null && f.decimals > 0) {
        const double d = std::nearbyint(numberOf(f, v) * scale(f));
        // 2^63 itself is out of range; every double below it converts exactly.
        if (!(d >= static_cast<double>(lo) && d < 9223372036854775808.0 && d <= static_cast<double>(hi)))
            refuse(f, "the number is out of range for the field (" + describeType(f) + ").");
        n = static_cast<std::int64_t>(d);
    } else if (!null) {
        n = integerOf(f, v, lo, hi);
    }
    if (isLevel7(cx)) {
        putBe32(p, static_cast<std::uint32_t>(n) ^ 0x80000000u);
        return;
    }
    for (std::size_t k = 0; k < f.length; ++k)
        p[k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(n) >> (8 * k));
}

// Dates: eight digits YYYYMMDD, or (an extension of some Clipper-compatible products) a Julian day
// number in three or four bytes; 0 is no date.
bool isBinaryDate(const Field& f) {
    return f.type == 'D' && (f.length == 3 || f.length == 4);
}

std::uint32_t littleEndian(const std::uint8_t* p, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t k = n; k-- > 0;)
        v = v << 8 | p[k];
    return v;
}

constexpr Date kDayZero{1899, 12, 30}; // a time without a date is a time of this day

// Whether this program can write a field of this type and width.
bool writableWidth(const Context& cx, const Field& f) {
    switch (f.type) {
    case 'I':
    case '+':
        return isIntegerWidth(cx, f);
    case 'D':
        return f.length == 8 || isBinaryDate(f);
    case 'T':
        return f.length == 8 || f.length == 4;
    case 'Y':
    case '@':
    case 'O':
        return f.length == 8;
    case 'B':
        return isDoubleField(cx.header.family, f) || f.length == 10 || f.length == 4;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        return f.length == 4 || f.length >= 1;
    default:
        return f.length >= 1;
    }
}

} // namespace

Value decode(const Context& cx, Span record, std::size_t index) {
    const Field& f = cx.header.fields[index];
    if (f.offset + f.length > record.size()) return Null{};
    if (testBit(cx.header, record, f.nullBit)) return Null{};
    const Span s = record.subspan(f.offset, f.length);
    const std::uint8_t* p = s.data();
    if (parts::isTextType(f.type)) return parts::decodeText(cx, record, f);

    switch (f.type) {
    case 'N':
    case 'F':
        return parseNumber(asText(s), f);
    case 'D':
        if (isBinaryDate(f)) {
            const std::uint32_t jdn = littleEndian(p, f.length);
            if (jdn == 0) return Null{};
            const Date d = dateFromJulianDay(jdn);
            return isValidDate(d) ? Value(d) : Value(Null{});
        }
        return parseDate(asText(s));
    case 'L':
        switch (s.empty() ? ' ' : p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return false;
        default:
            return Null{};
        }
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        return parts::decodeMemo(cx, f, s);
    case 'B':
        if (isDoubleField(cx.header.family, f)) return std::bit_cast<double>(le64(p));
        return parts::decodeMemo(cx, f, s);
    case 'I':
    case '+':
        return decodeInteger(cx, f, p);
    case 'Y':
        if (f.length != 8) return Null{};
        return static_cast<double>(static_cast<std::int64_t>(le64(p))) / 10000.0;
    case 'O': {
        if (f.length != 8) return Null{};
        std::uint64_t bits = be64(p);
        bits = (bits & 0x8000000000000000ull) ? bits & ~0x8000000000000000ull : ~bits;
        return std::bit_cast<double>(bits);
    }
    case 'T':
        if (f.length == 4) {
            // A time of day alone, in milliseconds.
            const std::uint32_t ms = le32(p);
            if (ms == 0 || ms >= 86'400'000) return Null{};
            return DateTime{kDayZero, static_cast<std::int32_t>(ms)};
        }
        [[fallthrough]];
    case '@': {
        if (f.length != 8 || allBytes(s, 0) || allBytes(s, ' ')) return Null{};
        if (f.type == '@' && p[0] == 0x42) {
            // dBASE 7's own form: a big-endian double of milliseconds counted from the day before
            // 0001-01-01.
            const double ms = std::bit_cast<double>(be64(p));
            if (!(ms > 0 && ms < 1e15)) return Null{};
            const auto days = static_cast<std::int64_t>(ms / 86'400'000.0);
            return dateTimeFromJulian(days - 1 + 1'721'426,
                                      static_cast<std::int64_t>(ms) - days * 86'400'000);
        }
        return dateTimeFromJulian(static_cast<std::int32_t>(le32(p)), static_cast<std::int32_t>(le32(p + 4)));
    }
    case '0':
        return Bytes(s.begin(), s.end());
    default:
        // A type letter from some other product: show its bytes as text.
        return cx.codePage.decode(trimmed(asText(s)));
    }
}

void encode(const Context& cx, std::vector<std::uint8_t>& record, std::size_t index, const Value& v) {
    const Field& f = cx.header.fields[index];
    // A damaged descriptor must not make us write past the field.
    if (!writableWidth(cx, f))
        throw Error(ErrorKind::Unsupported, "Field '" + f.name + "' has a width (" +
                                                std::to_string(f.length) +
                                                ") that this program cannot write.");
    const bool null = isNull(v);
    if (parts::isTextType(f.type)) {
        parts::encodeText(cx, record, f, v); // checks everything before it writes
        if (f.nullBit >= 0) setBit(cx.header, record, f.nullBit, null);
        return;
    }
    std::vector<std::uint8_t> out(record.begin() + f.offset, record.begin() + f.offset + f.length);
    std::uint8_t* p = out.data();

    switch (f.type) {
    case 'N':
    case 'F': {
        const std::string text = null ? std::string(f.length, ' ') : formatNumber(f, v);
        std::memcpy(p, text.data(), f.length);
        break;
    }
    case 'D': {
        if (isBinaryDate(f)) {
            const std::uint32_t jdn = null ? 0 : static_cast<std::uint32_t>(julianDay(dateOf(f, v)));
            if (f.length == 3 && jdn > 0xFFFFFF) refuse(f, "the date is out of range for the field.");
            for (std::size_t k = 0; k < f.length; ++k)
                p[k] = static_cast<std::uint8_t>(jdn >> (8 * k));
            break;
        }
        std::string text(f.length, ' ');
        if (!null) {
            const Date d = dateOf(f, v);
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
            text.replace(0, std::min<std::size_t>(8, f.length), buf, std::min<std::size_t>(8, f.length));
        }
        std::memcpy(p, text.data(), f.length);
        break;
    }
    case 'L':
        if (null) {
            p[0] = ' ';
        } else if (auto s = std::get_if<std::string>(&v)) {
            const char c = s->empty() ? ' ' : (*s)[0];
            if (std::string("TtYyFfNn").find(c) == std::string::npos)
                mismatch(f, "'" + *s + "' is not a logical value.");
            p[0] = static_cast<std::uint8_t>(ascii::upper(c));
        } else {
            p[0] = numberOf(f, v) != 0 ? 'T' : 'F';
        }
        break;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        parts::writeMemo(cx, f, p, v);
        break;
    case 'B':
        if (isDoubleField(cx.header.family, f))
            putLe64(p, null ? 0 : std::bit_cast<std::uint64_t>(numberOf(f, v)));
        else
            parts::writeMemo(cx, f, p, v);
        break;
    case 'I':
    case '+':
        encodeInteger(cx, f, p, v);
        break;
    case 'Y': {
        const double d = null ? 0 : numberOf(f, v);
        if (!(std::fabs(d) < 922'337'203'685'477.0))
            refuse(f, "the amount is out of range for a currency field.");
        putLe64(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(std::llround(d * 10000.0))));
        break;
    }
    case 'T': {
        if (f.length == 4) {
            // A time of day alone: a value with a date of its own would lose it.
            const auto* dt = std::get_if<DateTime>(&v);
            const auto* text = std::get_if<std::string>(&v);
            if (std::holds_alternative<Date>(v) || (dt && dt->date != kDayZero) ||
                (text && trimmed(*text).size() >= 19 && trimmed(*text).substr(0, 10) != "1899-12-30"))
                refuse(f, "the field holds a time of day without a date.");
            putLe32(p, null ? 0 : static_cast<std::uint32_t>(msecOf(v)));
        } else if (null) {
            std::memset(p, 0, 8);
        } else {
            const Date d = dateOf(f, v);
            putLe32(p, static_cast<std::uint32_t>(julianDay(d)));
            putLe32(p + 4, static_cast<std::uint32_t>(msecOf(v)));
        }
        break;
    }
    default:
        throw Error(ErrorKind::Unsupported, "Field '" + f.name + "' of type " + std::string(1, f.type) +
                                                " cannot be written by this program.");
    }

    std::copy(out.begin(), out.end(), record.begin() + f.offset);
    if (f.nullBit >= 0) setBit(cx.header, record, f.nullBit, null);
}

bool isDoubleField(Family family, const Field& f) {
    return f.type == 'B' && f.length == 8 && family != Family::DBase7 && family != Family::DBase4;
}

bool isBinaryField(Family family, const Field& f) {
    switch (f.type) {
    case 'I':
    case '+':
    case 'Y':
    case 'T':
    case '@':
    case 'O':
    case '0':
        return true;
    case 'D':
        return isBinaryDate(f);
    case 'B':
        return isDoubleField(family, f) || f.length == 4;
    default:
        return isMemoType(f.type) && f.length == 4;
    }
}

std::vector<std::uint8_t> blankRecord(const Header& h) {
    std::vector<std::uint8_t> record(h.recordLength, ' ');
    for (const auto& f : h.fields) {
        if (isBinaryField(h.family, f)) std::fill_n(record.begin() + f.offset, f.length, 0);
        // UTF-16 blanks: 20 00 per character.
        if (f.type == 0x1A || f.type == 0x1B)
            for (std::size_t k = 1; k < f.length; k += 2)
                record[f.offset + k] = 0;
    }
    if (h.nullFlagsField >= 0) {
        // As FoxPro does: a new record starts with every nullable field Null.
        std::vector<std::uint8_t> r = std::move(record);
        for (const auto& f : h.fields)
            if (f.nullBit >= 0) setBit(h, r, f.nullBit, true);
        return r;
    }
    return record;
}

} // namespace xbase::codec
