// The scans the dbf table serves itself, and its quick reads of common field types.
#include "engine/DbfScan.h"

#include "engine/Collation.h"
#include "xbase/Error.h"

#include <algorithm>
#include <unordered_map>

namespace engine::dbf {

// Reads an N/F field as a number without building a Value; false for blanks and anything unusual.
// The digits are gathered as an integer and divided once by a power of ten, so the result is the
// correctly rounded double, as a full parse would give it.
bool quickNumber(const std::uint8_t* p, std::size_t n, double& out) {
    static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                     1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    std::size_t i = 0;
    while (i < n && p[i] == ' ')
        ++i;
    if (i == n) return false;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+') negative = p[i++] == '-';
    std::uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    while (i < n && p[i] >= '0' && p[i] <= '9') {
        mantissa = mantissa * 10 + (p[i++] - '0');
        ++digits;
    }
    if (i < n && p[i] == '.') {
        for (++i; i < n && p[i] >= '0' && p[i] <= '9'; ++i, ++fraction, ++digits)
            mantissa = mantissa * 10 + (p[i] - '0');
    }
    while (i < n && p[i] == ' ')
        ++i;
    if (digits == 0 || digits > 15 || i != n) return false;
    const double value = static_cast<double>(mantissa) / kPowers[fraction];
    out = negative ? -value : value;
    return true;
}

template <typename T> bool compare(unsigned char op, const T& a, const T& b) {
    switch (op) {
    case SQLITE_INDEX_CONSTRAINT_EQ:
        return a == b;
    case SQLITE_INDEX_CONSTRAINT_NE:
        return !(a == b);
    case SQLITE_INDEX_CONSTRAINT_GT:
        return a > b;
    case SQLITE_INDEX_CONSTRAINT_GE:
        return a >= b;
    case SQLITE_INDEX_CONSTRAINT_LT:
        return a < b;
    case SQLITE_INDEX_CONSTRAINT_LE:
        return a <= b;
    default:
        return true;
    }
}

// False only when the record certainly fails the filter; decoding trouble lets SQLite decide.
bool passes(const DbfTable* vt, std::span<const std::uint8_t> record, const Filter& f) {
    const xbase::Field& field = vt->table->fields()[f.field];
    if ((field.type == 'N' || field.type == 'F') && field.nullBit < 0) {
        double v = 0;
        if (quickNumber(record.data() + field.offset, field.length, v)) return compare(f.op, v, f.number);
    }
    xbase::Value value;
    try {
        value = vt->table->decode(record, f.field);
    } catch (const xbase::Error&) {
        return true;
    }
    if (xbase::isNull(value)) return false; // a comparison with Null is never true
    if (auto i = std::get_if<std::int64_t>(&value)) return compare(f.op, static_cast<double>(*i), f.number);
    if (auto d = std::get_if<double>(&value)) return compare(f.op, *d, f.number);
    if (auto s = std::get_if<std::string>(&value)) return compare(f.op, compareText(*s, f.text), 0);
    if (auto d = std::get_if<xbase::Date>(&value)) return compare(f.op, isoDate(*d), f.text);
    if (auto t = std::get_if<xbase::DateTime>(&value)) return compare(f.op, isoDateTime(*t), f.text);
    return true;
}

bool visible(DbfCursor* cur) {
    const auto record = cur->vt->table->recordBytes(cur->record);
    if (record[0] == '*') return false;
    for (const auto& f : cur->filters)
        if (!passes(cur->vt, record, f)) return false;
    return true;
}

void skipToVisible(DbfCursor* cur) {
    while (cur->record < cur->end && !visible(cur))
        ++cur->record;
}

// The key under which a field's value groups: text folded as DBTEXT compares it, numbers and dates by
// value, Null apart.
std::string groupKey(const xbase::Value& v) {
    if (xbase::isNull(v)) return std::string(1, '\0');
    if (auto s = std::get_if<std::string>(&v)) {
        std::string key = "t";
        for (std::size_t i = 0; i < s->size();)
            appendUtf8(key, foldCase(decodeUtf8(*s, i)));
        return key;
    }
    if (auto i = std::get_if<std::int64_t>(&v)) {
        const double d = static_cast<double>(*i);
        return "n" + std::string(reinterpret_cast<const char*>(&d), sizeof d);
    }
    if (auto d = std::get_if<double>(&v))
        return "n" + std::string(reinterpret_cast<const char*>(d), sizeof *d);
    if (auto b = std::get_if<bool>(&v)) return *b ? "b1" : "b0";
    if (auto d = std::get_if<xbase::Date>(&v)) return "d" + isoDate(*d);
    if (auto t = std::get_if<xbase::DateTime>(&v)) return "d" + isoDateTime(*t);
    const auto& bytes = std::get<xbase::Bytes>(v);
    return "x" + std::string(bytes.begin(), bytes.end());
}

// SQLite's order of values of one column: Null, numbers, text (by DBTEXT), blobs; dates are text.
int compareValues(const xbase::Value& a, const xbase::Value& b) {
    auto rank = [](const xbase::Value& v) {
        if (xbase::isNull(v)) return 0;
        if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v) ||
            std::holds_alternative<bool>(v))
            return 1;
        if (std::holds_alternative<xbase::Bytes>(v)) return 3;
        return 2;
    };
    auto number = [](const xbase::Value& v) {
        if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
        if (auto b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
        return std::get<double>(v);
    };
    auto text = [](const xbase::Value& v) {
        if (auto s = std::get_if<std::string>(&v)) return *s;
        if (auto d = std::get_if<xbase::Date>(&v)) return isoDate(*d);
        return isoDateTime(std::get<xbase::DateTime>(v));
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb || ra == 0) return ra - rb;
    if (ra == 1) return number(a) < number(b) ? -1 : number(a) > number(b) ? 1 : 0;
    if (ra == 3) return std::get<xbase::Bytes>(a) < std::get<xbase::Bytes>(b) ? -1 : 0;
    const bool dates = !std::holds_alternative<std::string>(a);
    return dates ? text(a).compare(text(b)) : compareText(text(a), text(b));
}

// groupKey of plain ASCII text in an ASCII-compatible code page, straight from the record bytes.
bool quickTextKey(const xbase::Table& t, std::span<const std::uint8_t> record, std::size_t index,
                  std::string& key) {
    const xbase::Field& f = t.fields()[index];
    if (f.type != 'C' || f.binary || f.nullBit >= 0 || !t.codePage().asciiCompatible()) return false;
    const std::uint8_t* p = record.data() + f.offset;
    std::size_t n = f.length;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
        --n;
    key.resize(n + 1);
    key[0] = 't';
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (b >= 0x80 || b == 0) return false;
        key[i + 1] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b); // ASCII folding
    }
    return true;
}

void groupRecords(DbfCursor* cur, std::size_t field, bool descending) {
    std::unordered_map<std::string, std::size_t> slot;
    std::vector<std::vector<std::uint32_t>> groups;
    const xbase::Table& t = *cur->vt->table;
    std::string key; // reused: most records fall into a group seen before
    std::size_t last = SIZE_MAX;
    std::string lastKey;
    for (cur->record = 0; cur->record < cur->end; ++cur->record) {
        if (!visible(cur)) continue;
        const auto record = t.recordBytes(cur->record);
        if (!quickTextKey(t, record, field, key)) {
            try {
                key = groupKey(t.decode(record, field));
            } catch (const xbase::Error&) {
                key = "e"; // SQLite reports the value's error when it reads the column
            }
        }
        if (last == SIZE_MAX || key != lastKey) {
            auto it = slot.find(key);
            if (it == slot.end()) {
                it = slot.emplace(key, groups.size()).first;
                groups.emplace_back();
            }
            last = it->second;
            lastKey = key;
        }
        groups[last].push_back(cur->record);
    }
    // Groups in the order of their values (descending where ORDER BY asks so), as a sorting GROUP BY gives
    // them and users expect.
    std::vector<std::pair<xbase::Value, std::size_t>> firsts;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        xbase::Value v;
        try {
            v = t.decode(t.recordBytes(groups[g][0]), field);
        } catch (const xbase::Error&) {
        }
        firsts.emplace_back(std::move(v), g);
    }
    t.checkIntact();
    std::stable_sort(firsts.begin(), firsts.end(), [descending](const auto& a, const auto& b) {
        const int c = compareValues(a.first, b.first);
        return descending ? c > 0 : c < 0;
    });
    for (const auto& [value, g] : firsts)
        cur->order.insert(cur->order.end(), groups[g].begin(), groups[g].end());
    cur->position = 0;
    cur->record = cur->order.empty() ? cur->end : cur->order[0];
}

// The first `limit` visible records in the order of one field (ties in record order), for ORDER BY
// with LIMIT.
void firstRecords(DbfCursor* cur, std::size_t field, bool descending, sqlite3_int64 limit) {
    const xbase::Table& t = *cur->vt->table;
    // Text is kept case-folded and compared as DBTEXT compares; other values by compareValues.
    const bool text = t.fields()[field].type == 'C' && !t.fields()[field].binary;
    struct Candidate {
        bool null = false;
        std::string key;    // text: folded
        xbase::Value value; // others
        std::uint32_t record = 0;
    };
    auto compare = [text](const Candidate& a, const Candidate& b) {
        if (a.null || b.null) return static_cast<int>(b.null) - static_cast<int>(a.null);
        return text ? compareText(std::string_view(a.key).substr(1), std::string_view(b.key).substr(1))
                    : compareValues(a.value, b.value);
    };
    auto before = [&](const Candidate& a, const Candidate& b) {
        const int c = compare(a, b);
        if (c != 0) return descending ? c > 0 : c < 0;
        return a.record < b.record;
    };
    std::vector<Candidate> heap; // a max-heap by `before`: its front is the last of the best so far
    const std::size_t keep =
        limit <= 0 ? 0 : static_cast<std::size_t>(std::min<sqlite3_int64>(limit, 1'000'000));
    Candidate c;
    for (cur->record = 0; keep > 0 && cur->record < cur->end; ++cur->record) {
        if (!visible(cur)) continue;
        c.record = cur->record;
        c.null = false;
        const auto record = t.recordBytes(cur->record);
        if (!text || !quickTextKey(t, record, field, c.key)) {
            try {
                c.value = t.decode(record, field);
            } catch (const xbase::Error&) {
                c.value = xbase::Null{};
            }
            c.null = xbase::isNull(c.value);
            if (text && !c.null) {
                const auto& s = std::get<std::string>(c.value);
                c.key.assign(1, 't');
                for (std::size_t i = 0; i < s.size();)
                    appendUtf8(c.key, foldCase(decodeUtf8(s, i)));
            }
        }
        if (heap.size() < keep) {
            heap.push_back(c);
            std::push_heap(heap.begin(), heap.end(), before);
        } else if (before(c, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), before);
            heap.back() = c;
            std::push_heap(heap.begin(), heap.end(), before);
        }
    }
    t.checkIntact();
    std::sort_heap(heap.begin(), heap.end(), before);
    cur->order.clear();
    for (const auto& h : heap)
        cur->order.push_back(h.record);
    cur->position = 0;
    cur->record = cur->order.empty() ? cur->end : cur->order[0];
}

// The common field types straight from the record bytes, without building a Value; false for anything
// unusual, which then takes the general way.
bool quickColumn(const xbase::Table& t, std::span<const std::uint8_t> record, std::size_t index,
                 sqlite3_context* cx) {
    const xbase::Field& f = t.fields()[index];
    if (f.nullBit >= 0 || f.varLengthBit >= 0) return false;
    const std::uint8_t* p = record.data() + f.offset;
    switch (f.type) {
    case 'C': {
        if (f.binary || !t.codePage().asciiCompatible()) return false;
        std::size_t n = f.length;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
            --n;
        for (std::size_t k = 0; k < n; ++k)
            if (p[k] >= 0x80 || p[k] == 0) return false;
        sqlite3_result_text(cx, reinterpret_cast<const char*>(p), static_cast<int>(n), SQLITE_TRANSIENT);
        return true;
    }
    case 'N':
    case 'F': {
        double v = 0;
        if (!quickNumber(p, f.length, v)) return false;
        if (f.decimals == 0 && f.length <= 15 && v == static_cast<double>(static_cast<sqlite3_int64>(v)))
            sqlite3_result_int64(cx, static_cast<sqlite3_int64>(v));
        else if (f.decimals == 0 && f.length <= 15)
            return false; // "12.5" in a field without decimals: let the general way read it
        else
            sqlite3_result_double(cx, v);
        return true;
    }
    case 'L':
        switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            sqlite3_result_int(cx, -1);
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            sqlite3_result_int(cx, 0);
            return true;
        default:
            sqlite3_result_null(cx);
            return true;
        }
    default:
        return false;
    }
}

} // namespace engine::dbf
