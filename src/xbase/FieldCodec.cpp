// Field values from and to record bytes: text, numbers, dates, logicals, memo pointers and the binary
// FoxPro and dBASE 7 types.
#include "xbase/FieldCodec.h"

#include "xbase/Ascii.h"
#include "xbase/ByteOrder.h"
#include "xbase/Error.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace xbase::codec {

namespace {

using bytes::be32;
using bytes::be64;
using bytes::le32;
using bytes::le64;
using bytes::putBe32;
using bytes::putLe32;
using bytes::putLe64;

using Span = std::span<const std::uint8_t>;

std::string_view asText(Span s) {
    return {reinterpret_cast<const char*>(s.data()), s.size()};
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

std::string_view rightTrimmed(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

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

std::uint64_t memoPointer(const Field& f, Span s) {
    if (f.length == 4) return le32(s.data());
    std::string_view digits = trimmed(asText(s));
    std::uint64_t block = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), block);
    if (ec != std::errc() || end != digits.data() + digits.size()) return 0;
    return block;
}

Value decodeMemo(const Context& cx, const Field& f, Span s) {
    const std::uint64_t block = memoPointer(f, s);
    if (block == 0 || !cx.memo) return Null{};
    MemoFile::Block memo = cx.memo->read(block);
    const bool text = f.type == 'M' && !f.binary && memo.type == 1;
    if (!text) return std::move(memo.data);
    return cx.codePage.decode(asText(memo.data));
}

[[noreturn]] void refuse(const Field& f, const std::string& why) {
    throw Error(ErrorKind::Value, "Field " + f.name + ": " + why);
}

[[noreturn]] void mismatch(const Field& f, const std::string& why) {
    throw Error(ErrorKind::Type, "Field " + f.name + ": " + why);
}

// Text in the table's code page; a character it cannot hold is refused naming the field.
std::string encodeText(const Context& cx, const Field& f, const std::string& text) {
    try {
        return cx.codePage.encode(text);
    } catch (const Error& e) {
        throw Error(e.kind(), "Field " + f.name + ": " + e.what());
    }
}

std::string describeType(const Field& f) {
    std::string t(1, f.type);
    t += "(" + std::to_string(f.length);
    if (f.decimals) t += "," + std::to_string(f.decimals);
    return t + ")";
}

// Text of a value for a character-like field: numbers and dates written as a user would type them.
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

std::int32_t msecOf(const Value& v) {
    if (auto dt = std::get_if<DateTime>(&v)) return dt->msecOfDay;
    if (auto s = std::get_if<std::string>(&v)) {
        int h = 0, mi = 0, sec = 0;
        if (s->size() >= 19 && std::sscanf(s->c_str() + 11, "%2d:%2d:%2d", &h, &mi, &sec) == 3)
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

void writeMemo(const Context& cx, const Field& f, std::uint8_t* at, const Value& v) {
    std::string bytes;
    std::uint32_t type = 1;
    if (auto b = std::get_if<Bytes>(&v)) {
        bytes.assign(b->begin(), b->end());
        type = f.type == 'G' ? 2 : 0;
    } else if (!isNull(v)) {
        bytes = encodeText(cx, f, textOf(f, v));
    }
    std::uint64_t block = 0;
    if (!bytes.empty()) {
        if (!cx.memo) throw Error(ErrorKind::Memo, "Field " + f.name + ": the table's memo file is missing.");
        if (cx.memo->format() == MemoFormat::DBase3 && bytes.find('\x1A') != std::string::npos)
            refuse(f, "dBASE III memo text cannot contain the character 0x1A.");
        if (f.length != 4 && std::to_string(cx.memo->nextFreeBlock()).size() > f.length)
            refuse(f, "the memo file is too large for the field's pointer.");
        block = cx.memo->append({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, type);
    }
    if (f.length == 4) {
        putLe32(at, static_cast<std::uint32_t>(block));
    } else {
        std::string digits = block ? std::to_string(block) : std::string();
        if (digits.size() > f.length) refuse(f, "the memo file is too large for the field's pointer.");
        std::memset(at, ' ', f.length);
        std::memcpy(at + f.length - digits.size(), digits.data(), digits.size());
    }
}

bool isLevel7(const Context& cx) {
    return cx.header.family == Family::DBase7;
}

} // namespace

Value decode(const Context& cx, Span record, std::size_t index) {
    const Field& f = cx.header.fields[index];
    if (f.offset + f.length > record.size()) return Null{};
    if (testBit(cx.header, record, f.nullBit)) return Null{};
    const Span s = record.subspan(f.offset, f.length);
    const std::uint8_t* p = s.data();

    switch (f.type) {
    case 'C':
        if (f.binary) return Bytes(s.begin(), s.end());
        return cx.codePage.decode(rightTrimmed(asText(s)));
    case 'N':
    case 'F':
        return parseNumber(asText(s), f);
    case 'D':
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
        return decodeMemo(cx, f, s);
    case 'B':
        if (isDoubleField(cx.header.family, f)) return std::bit_cast<double>(le64(p));
        return decodeMemo(cx, f, s);
    case 'I':
    case '+':
        if (f.length != 4) return Null{};
        if (isLevel7(cx)) return static_cast<std::int64_t>(static_cast<std::int32_t>(be32(p) ^ 0x80000000u));
        return static_cast<std::int64_t>(static_cast<std::int32_t>(le32(p)));
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
    case 'V':
    case 'Q': {
        std::size_t n = s.size();
        if (testBit(cx.header, record, f.varLengthBit) && n > 0) n = std::min<std::size_t>(p[n - 1], n - 1);
        const Span data = s.first(n);
        if (f.type == 'Q' || f.binary) return Bytes(data.begin(), data.end());
        return cx.codePage.decode(rightTrimmed(asText(data)));
    }
    case '0':
        return Bytes(s.begin(), s.end());
    default:
        // A type letter from some other product: show its bytes as text where they are text.
        try {
            return cx.codePage.decode(rightTrimmed(asText(s)));
        } catch (const Error&) {
            return Null{};
        }
    }
}

void encode(const Context& cx, std::vector<std::uint8_t>& record, std::size_t index, const Value& v) {
    const Field& f = cx.header.fields[index];
    // Binary types have one width; a damaged descriptor must not make us write past the field.
    std::size_t width = 1;
    switch (f.type) {
    case 'I':
    case '+':
        width = 4;
        break;
    case 'Y':
    case 'T':
    case '@':
    case 'O':
    case 'D':
        width = 8;
        break;
    case 'B':
        width = f.length == 10 ? 10 : 8;
        break;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
        width = f.length == 4 ? 4 : 1;
        break;
    default:
        break;
    }
    if (f.length < width ||
        (width > 1 && f.type != 'M' && f.type != 'G' && f.type != 'P' && f.type != 'W' && f.length != width))
        throw Error(ErrorKind::Unsupported, "Field " + f.name + " has a width (" + std::to_string(f.length) +
                                                ") that this program cannot write.");
    std::vector<std::uint8_t> out(record.begin() + f.offset, record.begin() + f.offset + f.length);
    std::uint8_t* p = out.data();
    const bool null = isNull(v);
    const bool nullable = f.nullBit >= 0;
    bool varShort = false;

    switch (f.type) {
    case 'C':
    case 'V': {
        std::string bytes;
        if (!null) {
            if (auto b = std::get_if<Bytes>(&v))
                bytes.assign(b->begin(), b->end());
            else
                bytes = encodeText(cx, f, textOf(f, v));
        }
        if (bytes.size() > f.length)
            refuse(f, "the text is " + std::to_string(bytes.size()) + " bytes long; the field holds " +
                          std::to_string(f.length) + ".");
        std::memset(p, ' ', f.length);
        std::memcpy(p, bytes.data(), bytes.size());
        if (f.type == 'V' && bytes.size() < f.length) {
            p[f.length - 1] = static_cast<std::uint8_t>(bytes.size());
            varShort = true;
        }
        break;
    }
    case 'N':
    case 'F': {
        const std::string text = null ? std::string(f.length, ' ') : formatNumber(f, v);
        std::memcpy(p, text.data(), f.length);
        break;
    }
    case 'D': {
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
        writeMemo(cx, f, p, v);
        break;
    case 'B':
        if (isDoubleField(cx.header.family, f))
            putLe64(p, null ? 0 : std::bit_cast<std::uint64_t>(numberOf(f, v)));
        else
            writeMemo(cx, f, p, v);
        break;
    case 'I':
    case '+': {
        if (f.length != 4)
            throw Error(ErrorKind::Unsupported,
                        "Field " + f.name + " has an integer width this program cannot write.");
        const std::int64_t n = null ? 0
                                    : integerOf(f, v, std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::int32_t>::max());
        if (isLevel7(cx))
            putBe32(p, static_cast<std::uint32_t>(n) ^ 0x80000000u);
        else
            putLe32(p, static_cast<std::uint32_t>(n));
        break;
    }
    case 'Y': {
        const double d = null ? 0 : numberOf(f, v);
        if (!(std::fabs(d) < 922'337'203'685'477.0))
            refuse(f, "the amount is out of range for a currency field.");
        putLe64(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(std::llround(d * 10000.0))));
        break;
    }
    case 'T': {
        if (null) {
            std::memset(p, 0, 8);
        } else {
            const Date d = dateOf(f, v);
            putLe32(p, static_cast<std::uint32_t>(julianDay(d)));
            putLe32(p + 4, static_cast<std::uint32_t>(msecOf(v)));
        }
        break;
    }
    default:
        throw Error(ErrorKind::Unsupported, "Field " + f.name + " of type " + std::string(1, f.type) +
                                                " cannot be written by this program.");
    }

    std::copy(out.begin(), out.end(), record.begin() + f.offset);
    if (nullable) setBit(cx.header, record, f.nullBit, null);
    setBit(cx.header, record, f.varLengthBit, varShort);
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
    case 'B':
        return isDoubleField(family, f) || f.length == 4;
    default:
        return isMemoType(f.type) && f.length == 4;
    }
}

std::vector<std::uint8_t> blankRecord(const Header& h) {
    std::vector<std::uint8_t> record(h.recordLength, ' ');
    for (const auto& f : h.fields)
        if (isBinaryField(h.family, f)) std::fill_n(record.begin() + f.offset, f.length, 0);
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
