// The "dbf" virtual-table module: scans with simple comparisons pushed down to the records, rowid
// lookups, and journaled writes applied at commit.
#include "engine/DbfModule.h"

#include "engine/Collation.h"
#include "engine/Folder.h"
#include "engine/Values.h"
#include "xbase/Error.h"
#include "xbase/Journal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace engine {

namespace {

// In-place record changes wait in memory until commit; past this many bytes they are applied early
// (their original images journaled first), so that a huge UPDATE does not hold the table in memory.
constexpr std::size_t kPendingLimit = 16u << 20;

struct DbfTable {
    sqlite3_vtab base{}; // must come first: SQLite hands out pointers to it
    Folder* folder = nullptr;
    fs::path file;
    std::shared_ptr<xbase::Table> table;
    std::vector<std::size_t> fieldOf; // column -> field index of the table
    std::vector<FieldKind> kinds;     // column -> kind
    std::unique_ptr<xbase::Journal> journal;
    std::map<std::uint32_t, std::vector<std::uint8_t>> pending; // record -> new image
    std::size_t pendingBytes = 0;
};

// A comparison of one field with a constant, checked on the record before SQLite sees it.
struct Filter {
    std::size_t field;
    FieldKind kind;
    unsigned char op;
    double number = 0;
    std::string text;
};

struct DbfCursor {
    sqlite3_vtab_cursor base{};
    DbfTable* vt = nullptr;
    bool grouped = false;               // rows come from `order`, equal values of one field together
    std::vector<std::uint32_t> order;
    std::size_t position = 0;
    std::uint32_t record = 0;
    std::uint32_t end = 0;
    std::vector<Filter> filters;
};

DbfTable* tableOf(sqlite3_vtab* v) {
    return reinterpret_cast<DbfTable*>(v);
}
DbfCursor* cursorOf(sqlite3_vtab_cursor* c) {
    return reinterpret_cast<DbfCursor*>(c);
}

int fail(sqlite3_vtab* v, const std::string& message, int code = SQLITE_ERROR) {
    sqlite3_free(v->zErrMsg);
    v->zErrMsg = sqlite3_mprintf("%s", message.c_str());
    return code;
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// ---- connecting ----------------------------------------------------------------------------------

int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
    if (argc < 4) {
        *err = sqlite3_mprintf("dbf: the table file is missing");
        return SQLITE_ERROR;
    }
    std::string path = argv[3];
    // The argument is an SQL string literal: drop the quotes, undo doubled ones.
    if (path.size() >= 2 && path.front() == '\'' && path.back() == '\'') {
        std::string plain;
        for (std::size_t i = 1; i + 1 < path.size(); ++i) {
            plain += path[i];
            if (path[i] == '\'' && path[i + 1] == '\'')
                ++i;
        }
        path = plain;
    }
    auto vt = std::make_unique<DbfTable>();
    vt->folder = static_cast<Folder*>(aux);
    vt->file = path;
    try {
        vt->table = vt->folder->table(vt->file);
    } catch (const std::exception& e) {
        *err = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
    std::string schema = "CREATE TABLE x(";
    const auto& fields = vt->table->fields();
    const auto names = columnNames(*vt->table);
    for (std::size_t i : vt->table->visibleFields()) {
        if (!vt->fieldOf.empty())
            schema += ", ";
        schema += quoted(names[vt->fieldOf.size()]) + " " + declaredType(fields[i]);
        vt->fieldOf.push_back(i);
        vt->kinds.push_back(kindOfField(fields[i]));
    }
    if (vt->fieldOf.empty()) schema += "\"_none\" HIDDEN";
    schema += ")";
    const int rc = sqlite3_declare_vtab(db, schema.c_str());
    if (rc != SQLITE_OK) {
        *err =
            sqlite3_mprintf("Table '%s' cannot be used: %s", vt->file.filename().c_str(), sqlite3_errmsg(db));
        return rc;
    }
    *out = &vt.release()->base;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab* v) {
    delete tableOf(v);
    return SQLITE_OK;
}

// ---- planning ------------------------------------------------------------------------------------

// idxNum 1: one record by rowid (argv[0]). idxNum 2: filters, described in idxStr as "column:op ...".
int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
    DbfTable* vt = tableOf(v);
    const double rows = std::max<double>(1, vt->table->recordCount());
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->idxNum = 1;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
            return SQLITE_OK;
        }
    }
    std::string plan;
    int argv = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.iColumn < 0 || c.iColumn >= static_cast<int>(vt->fieldOf.size())) continue;
        const bool comparison = c.op == SQLITE_INDEX_CONSTRAINT_EQ || c.op == SQLITE_INDEX_CONSTRAINT_GT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_GE || c.op == SQLITE_INDEX_CONSTRAINT_LT ||
                                c.op == SQLITE_INDEX_CONSTRAINT_LE || c.op == SQLITE_INDEX_CONSTRAINT_NE;
        if (!comparison) continue;
        const FieldKind kind = vt->kinds[c.iColumn];
        const char* collation = sqlite3_vtab_collation(info, i);
        const bool text = kind == FieldKind::Text || kind == FieldKind::Memo;
        // Only comparisons we evaluate exactly as SQLite would: text under DBTEXT, dates and numbers as
        // such. SQLite checks every row we let through again (omit stays 0).
        if (text && (!collation || sqlite3_stricmp(collation, kTextCollation) != 0)) continue;
        if (!text && kind != FieldKind::Integer && kind != FieldKind::Real && kind != FieldKind::Date &&
            kind != FieldKind::DateTime)
            continue;
        if (!text && collation && sqlite3_stricmp(collation, "BINARY") != 0) continue;
        info->aConstraintUsage[i].argvIndex = ++argv;
        plan += std::to_string(c.iColumn) + ":" + std::to_string(c.op) + " ";
        // A constant of the column's own kind is compared by us exactly as SQLite would: SQLite need not
        // read the column again (a count over a million records then never decodes a value).
        sqlite3_value* rhs = nullptr;
        if (sqlite3_vtab_rhs_value(info, i, &rhs) == SQLITE_OK && rhs) {
            const int type = sqlite3_value_type(rhs);
            const bool numeric = kind == FieldKind::Integer || kind == FieldKind::Real;
            info->aConstraintUsage[i].omit = (numeric && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) ||
                                             (!numeric && type == SQLITE_TEXT);
        }
    }
    // ORDER BY one field with a LIMIT: we pick the first rows ourselves while scanning, instead of
    // SQLite feeding every record through its sorter.
    if (info->nOrderBy == 1 && sqlite3_vtab_distinct(info) == 0 && info->aOrderBy[0].iColumn >= 0 &&
        info->aOrderBy[0].iColumn < static_cast<int>(vt->fieldOf.size())) {
        int limit = -1;
        bool offset = false;
        for (int i = 0; i < info->nConstraint; ++i) {
            if (!info->aConstraint[i].usable)
                continue;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_LIMIT)
                limit = i;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_OFFSET)
                offset = true;
        }
        if (limit >= 0 && !offset) {
            info->aConstraintUsage[limit].argvIndex = ++argv;
            plan = "S" + std::to_string(info->aOrderBy[0].iColumn) + ":" + (info->aOrderBy[0].desc ? "1" : "0") +
                   ":" + std::to_string(argv) + " " + plan;
            info->orderByConsumed = 1;
            info->idxNum = 8 | (argv > 1 ? 2 : 0);
            info->idxStr = sqlite3_mprintf("%s", plan.c_str());
            info->needToFreeIdxStr = 1;
            info->estimatedRows = 10;
            info->estimatedCost = rows;
            return SQLITE_OK;
        }
    }
    // GROUP BY one field: we hand out the records of each value together, so SQLite need not sort a
    // million rows to find the groups.
    if (info->nOrderBy == 1 && sqlite3_vtab_distinct(info) == 1 && info->aOrderBy[0].iColumn >= 0 &&
        info->aOrderBy[0].iColumn < static_cast<int>(vt->fieldOf.size())) {
        plan = "G" + std::to_string(info->aOrderBy[0].iColumn) + " " + plan;
        info->orderByConsumed = 1;
        info->idxNum = 4 | (argv > 0 ? 2 : 0);
        info->idxStr = sqlite3_mprintf("%s", plan.c_str());
        info->needToFreeIdxStr = 1;
        info->estimatedRows = static_cast<sqlite3_int64>(argv > 0 ? rows / (4.0 * argv) + 1 : rows);
        info->estimatedCost = rows;
        return SQLITE_OK;
    }
    info->idxNum = argv > 0 ? 2 : 0;
    if (argv > 0) {
        info->idxStr = sqlite3_mprintf("%s", plan.c_str());
        info->needToFreeIdxStr = 1;
    }
    info->estimatedRows = static_cast<sqlite3_int64>(argv > 0 ? rows / (4.0 * argv) + 1 : rows);
    info->estimatedCost = rows;
    return SQLITE_OK;
}

// ---- scanning ------------------------------------------------------------------------------------

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
    auto* cur = new DbfCursor;
    cur->vt = tableOf(v);
    *out = &cur->base;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* c) {
    delete cursorOf(c);
    return SQLITE_OK;
}

// Reads an N/F field as a number without building a Value; false for blanks and anything unusual.
// The digits are gathered as an integer and divided once by a power of ten, so the result is the
// correctly rounded double, as a full parse would give it.
bool quickNumber(const std::uint8_t* p, std::size_t n, double& out) {
    static const double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10,
                                     1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    std::size_t i = 0;
    while (i < n && p[i] == ' ')
        ++i;
    if (i == n)
        return false;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+')
        negative = p[i++] == '-';
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
    if (digits == 0 || digits > 15 || i != n)
        return false;
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
    if (xbase::isNull(v))
        return std::string(1, '\0');
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
    if (auto b = std::get_if<bool>(&v))
        return *b ? "b1" : "b0";
    if (auto d = std::get_if<xbase::Date>(&v))
        return "d" + isoDate(*d);
    if (auto t = std::get_if<xbase::DateTime>(&v))
        return "d" + isoDateTime(*t);
    const auto& bytes = std::get<xbase::Bytes>(v);
    return "x" + std::string(bytes.begin(), bytes.end());
}

// SQLite's order of values of one column: Null, numbers, text (by DBTEXT), blobs; dates are text.
int compareValues(const xbase::Value& a, const xbase::Value& b) {
    auto rank = [](const xbase::Value& v) {
        if (xbase::isNull(v))
            return 0;
        if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v) ||
            std::holds_alternative<bool>(v))
            return 1;
        if (std::holds_alternative<xbase::Bytes>(v))
            return 3;
        return 2;
    };
    auto number = [](const xbase::Value& v) {
        if (auto i = std::get_if<std::int64_t>(&v))
            return static_cast<double>(*i);
        if (auto b = std::get_if<bool>(&v))
            return *b ? -1.0 : 0.0;
        return std::get<double>(v);
    };
    auto text = [](const xbase::Value& v) {
        if (auto s = std::get_if<std::string>(&v))
            return *s;
        if (auto d = std::get_if<xbase::Date>(&v))
            return isoDate(*d);
        return isoDateTime(std::get<xbase::DateTime>(v));
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb || ra == 0)
        return ra - rb;
    if (ra == 1)
        return number(a) < number(b) ? -1 : number(a) > number(b) ? 1 : 0;
    if (ra == 3)
        return std::get<xbase::Bytes>(a) < std::get<xbase::Bytes>(b) ? -1 : 0;
    const bool dates = !std::holds_alternative<std::string>(a);
    return dates ? text(a).compare(text(b)) : compareText(text(a), text(b));
}

// groupKey of plain ASCII text in an ASCII-compatible code page, straight from the record bytes.
bool quickTextKey(const xbase::Table& t, std::span<const std::uint8_t> record, std::size_t index, std::string& key) {
    const xbase::Field& f = t.fields()[index];
    if (f.type != 'C' || f.binary || f.nullBit >= 0 || !t.codePage().asciiCompatible())
        return false;
    const std::uint8_t* p = record.data() + f.offset;
    std::size_t n = f.length;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
        --n;
    key.resize(n + 1);
    key[0] = 't';
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = p[i];
        if (b >= 0x80 || b == 0)
            return false;
        key[i + 1] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b); // ASCII folding
    }
    return true;
}

void groupRecords(DbfCursor* cur, std::size_t field) {
    std::unordered_map<std::string, std::size_t> slot;
    std::vector<std::vector<std::uint32_t>> groups;
    const xbase::Table& t = *cur->vt->table;
    for (cur->record = 0; cur->record < cur->end; ++cur->record) {
        if (!visible(cur))
            continue;
        std::string key;
        const auto record = t.recordBytes(cur->record);
        if (!quickTextKey(t, record, field, key)) {
            try {
                key = groupKey(t.decode(record, field));
            } catch (const xbase::Error&) {
                key = "e"; // SQLite reports the value's error when it reads the column
            }
        }
        auto [it, added] = slot.emplace(std::move(key), groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(cur->record);
    }
    // Groups in the order of their values, as a sorting GROUP BY gives them and users expect.
    std::vector<std::pair<xbase::Value, std::size_t>> firsts;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        xbase::Value v;
        try {
            v = t.decode(t.recordBytes(groups[g][0]), field);
        } catch (const xbase::Error&) {
        }
        firsts.emplace_back(std::move(v), g);
    }
    std::stable_sort(firsts.begin(), firsts.end(),
                     [](const auto& a, const auto& b) { return compareValues(a.first, b.first) < 0; });
    for (const auto& [value, g] : firsts)
        cur->order.insert(cur->order.end(), groups[g].begin(), groups[g].end());
    cur->position = 0;
    cur->record = cur->order.empty() ? cur->end : cur->order[0];
}

// The first `limit` visible records in the order of one field (ties in record order), for ORDER BY
// with LIMIT.
void firstRecords(DbfCursor* cur, std::size_t field, bool descending, sqlite3_int64 limit) {
    const xbase::Table& t = *cur->vt->table;
    // Text is compared by its case-folded UTF-8, which orders as DBTEXT does (UTF-8 keeps the order of
    // code points); other values by compareValues.
    const bool text = t.fields()[field].type == 'C' && !t.fields()[field].binary;
    struct Candidate {
        bool null = false;
        std::string key;    // text: folded
        xbase::Value value; // others
        std::uint32_t record = 0;
    };
    auto compare = [text](const Candidate& a, const Candidate& b) {
        if (a.null || b.null)
            return static_cast<int>(b.null) - static_cast<int>(a.null);
        return text ? a.key.compare(b.key) : compareValues(a.value, b.value);
    };
    auto before = [&](const Candidate& a, const Candidate& b) {
        const int c = compare(a, b);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.record < b.record;
    };
    std::vector<Candidate> heap; // a max-heap by `before`: its front is the last of the best so far
    const std::size_t keep = limit <= 0 ? 0 : static_cast<std::size_t>(std::min<sqlite3_int64>(limit, 1'000'000));
    Candidate c;
    for (cur->record = 0; keep > 0 && cur->record < cur->end; ++cur->record) {
        if (!visible(cur))
            continue;
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
    std::sort_heap(heap.begin(), heap.end(), before);
    cur->order.clear();
    for (const auto& h : heap)
        cur->order.push_back(h.record);
    cur->position = 0;
    cur->record = cur->order.empty() ? cur->end : cur->order[0];
}

int filter(sqlite3_vtab_cursor* c, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
    DbfCursor* cur = cursorOf(c);
    DbfTable* vt = cur->vt;
    try {
        if (!vt->journal) {
            // Picks up changes made by other programs; a new structure is for a new virtual table.
            auto fresh = vt->folder->table(vt->file);
            if (fresh != vt->table && fresh->fields().size() != vt->table->fields().size())
                return fail(&vt->base, "Table '" + vt->file.filename().string() +
                                           "' was changed by another program; run the statement again.");
            vt->table = std::move(fresh);
        }
    } catch (const std::exception& e) {
        return fail(&vt->base, e.what());
    }
    cur->filters.clear();
    cur->record = 0;
    cur->end = vt->table->recordCount();
    if (idxNum == 1 && argc == 1) {
        const sqlite3_int64 rowid = sqlite3_value_int64(argv[0]);
        const bool inRange =
            sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER && rowid >= 1 && rowid <= cur->end;
        cur->record = inRange ? static_cast<std::uint32_t>(rowid - 1) : cur->end;
        cur->end = inRange ? cur->record + 1 : cur->end;
    } else if ((idxNum & (2 | 4 | 8)) && idxStr) {
        const char* p = idxStr;
        long groupColumn = -1, sortColumn = -1, limitArg = 0;
        bool descending = false;
        if (*p == 'G') {
            char* next = nullptr;
            groupColumn = std::strtol(p + 1, &next, 10);
            p = next + 1;
        } else if (*p == 'S') {
            char* next = nullptr;
            sortColumn = std::strtol(p + 1, &next, 10);
            descending = std::strtol(next + 1, &next, 10) != 0;
            limitArg = std::strtol(next + 1, &next, 10);
            p = next + 1;
        }
        cur->grouped = groupColumn >= 0;
        cur->order.clear();
        for (int i = 0; i < argc && *p; ++i) {
            char* next = nullptr;
            const long column = std::strtol(p, &next, 10);
            const long op = std::strtol(next + 1, &next, 10);
            p = next + 1;
            Filter f{vt->fieldOf[static_cast<std::size_t>(column)],
                     vt->kinds[static_cast<std::size_t>(column)],
                     static_cast<unsigned char>(op),
                     0,
                     {}};
            const int type = sqlite3_value_type(argv[i]);
            const bool numericColumn = f.kind == FieldKind::Integer || f.kind == FieldKind::Real;
            if (numericColumn && (type == SQLITE_INTEGER || type == SQLITE_FLOAT)) {
                f.number = sqlite3_value_double(argv[i]);
            } else if (!numericColumn && type == SQLITE_TEXT) {
                f.text.assign(reinterpret_cast<const char*>(sqlite3_value_text(argv[i])),
                              static_cast<std::size_t>(sqlite3_value_bytes(argv[i])));
            } else if (type == SQLITE_NULL) {
                cur->record = cur->end; // compared with Null: no row
                return SQLITE_OK;
            } else {
                continue; // a mix of types SQLite converts by its own rules: leave it to SQLite
            }
            cur->filters.push_back(std::move(f));
        }
        if (cur->grouped) {
            groupRecords(cur, vt->fieldOf[static_cast<std::size_t>(groupColumn)]);
            return SQLITE_OK;
        }
        if (sortColumn >= 0 && limitArg >= 1 && limitArg <= argc) {
            cur->grouped = true;
            firstRecords(cur, vt->fieldOf[static_cast<std::size_t>(sortColumn)], descending,
                         sqlite3_value_int64(argv[limitArg - 1]));
            return SQLITE_OK;
        }
    }
    cur->grouped = false;
    skipToVisible(cur);
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* c) {
    DbfCursor* cur = cursorOf(c);
    if (cur->grouped) {
        if (++cur->position < cur->order.size())
            cur->record = cur->order[cur->position];
        return SQLITE_OK;
    }
    ++cur->record;
    skipToVisible(cur);
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* c) {
    const DbfCursor* cur = cursorOf(c);
    return cur->grouped ? cur->position >= cur->order.size() : cur->record >= cur->end;
}

// The common field types straight from the record bytes, without building a Value; false for anything
// unusual, which then takes the general way.
bool quickColumn(const xbase::Table& t, std::span<const std::uint8_t> record, std::size_t index, sqlite3_context* cx) {
    const xbase::Field& f = t.fields()[index];
    if (f.nullBit >= 0 || f.varLengthBit >= 0)
        return false;
    const std::uint8_t* p = record.data() + f.offset;
    switch (f.type) {
    case 'C': {
        if (f.binary || !t.codePage().asciiCompatible())
            return false;
        std::size_t n = f.length;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0))
            --n;
        for (std::size_t k = 0; k < n; ++k)
            if (p[k] >= 0x80 || p[k] == 0)
                return false;
        sqlite3_result_text(cx, reinterpret_cast<const char*>(p), static_cast<int>(n), SQLITE_TRANSIENT);
        return true;
    }
    case 'N':
    case 'F': {
        double v = 0;
        if (!quickNumber(p, f.length, v))
            return false;
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
        case 'T': case 't': case 'Y': case 'y': sqlite3_result_int(cx, -1); return true;
        case 'F': case 'f': case 'N': case 'n': sqlite3_result_int(cx, 0); return true;
        default: sqlite3_result_null(cx); return true;
        }
    default:
        return false;
    }
}

int column(sqlite3_vtab_cursor* c, sqlite3_context* cx, int i) {
    DbfCursor* cur = cursorOf(c);
    if (sqlite3_vtab_nochange(cx))
        return SQLITE_OK; // an UPDATE that leaves this column alone: no need to read it
    DbfTable* vt = cur->vt;
    if (i < 0 || i >= static_cast<int>(vt->fieldOf.size())) {
        sqlite3_result_null(cx);
        return SQLITE_OK;
    }
    try {
        const std::size_t index = vt->fieldOf[static_cast<std::size_t>(i)];
        const auto record = vt->table->recordBytes(cur->record);
        if (!quickColumn(*vt->table, record, index, cx))
            resultValue(cx, vt->table->decode(record, index));
    } catch (const xbase::Error& e) {
        const auto& field = vt->table->fields()[vt->fieldOf[static_cast<std::size_t>(i)]];
        const std::string message =
            "Record " + std::to_string(cur->record + 1) + ", field " + field.name + ": " + e.what();
        sqlite3_result_error(cx, message.c_str(), -1);
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* c, sqlite3_int64* out) {
    *out = cursorOf(c)->record + 1;
    return SQLITE_OK;
}

// ---- writing -------------------------------------------------------------------------------------

std::vector<std::uint8_t> currentImage(DbfTable* vt, std::uint32_t record) {
    auto it = vt->pending.find(record);
    if (it != vt->pending.end()) return it->second;
    const auto bytes = vt->table->recordBytes(record);
    return {bytes.begin(), bytes.end()};
}

// Journals the originals of the waiting records, then writes them into the table.
void applyPending(DbfTable* vt) {
    if (vt->pending.empty()) return;
    for (const auto& [record, image] : vt->pending)
        vt->journal->saveRecord(record, vt->table->recordBytes(record));
    vt->journal->sync();
    for (const auto& [record, image] : vt->pending)
        vt->table->writeRecord(record, image);
    vt->pending.clear();
    vt->pendingBytes = 0;
}

void keep(DbfTable* vt, std::uint32_t record, std::vector<std::uint8_t> image) {
    const std::size_t size = image.size();
    if (vt->pending.insert_or_assign(record, std::move(image)).second) vt->pendingBytes += size;
    if (vt->pendingBytes > kPendingLimit) applyPending(vt);
}

int update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* newRowid) {
    DbfTable* vt = tableOf(v);
    xbase::Table& t = *vt->table;
    try {
        t.checkWritable();
        if (!vt->journal) vt->journal = xbase::Journal::begin(t);
        if (argc == 1) {
            const auto record = static_cast<std::uint32_t>(sqlite3_value_int64(argv[0]) - 1);
            auto image = currentImage(vt, record);
            image[0] = '*';
            keep(vt, record, std::move(image));
            return SQLITE_OK;
        }
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL)
                return fail(v, "A record number cannot be given to a new record of a dBASE table.");
            std::vector<std::uint8_t> record = t.blankRecord();
            for (std::size_t i = 0; i < vt->fieldOf.size(); ++i)
                if (sqlite3_value_type(argv[2 + i]) != SQLITE_NULL)
                    t.encode(record, vt->fieldOf[i], fromSqlite(argv[2 + i], vt->kinds[i]));
            *newRowid = t.appendRecord(record) + 1;
            return SQLITE_OK;
        }
        if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
            return fail(v, "The record number of a dBASE record cannot be changed.");
        const auto record = static_cast<std::uint32_t>(sqlite3_value_int64(argv[0]) - 1);
        auto image = currentImage(vt, record);
        for (std::size_t i = 0; i < vt->fieldOf.size(); ++i)
            if (!sqlite3_value_nochange(argv[2 + i]))
                t.encode(image, vt->fieldOf[i], fromSqlite(argv[2 + i], vt->kinds[i]));
        keep(vt, record, std::move(image));
        return SQLITE_OK;
    } catch (const xbase::Error& e) {
        const int code = e.kind() == xbase::ErrorKind::ReadOnly ? SQLITE_READONLY
                         : e.kind() == xbase::ErrorKind::Type   ? SQLITE_MISMATCH
                                                                : SQLITE_ERROR;
        return fail(v, e.what(), code);
    }
}

int begin(sqlite3_vtab*) {
    return SQLITE_OK;
}

int sync(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    if (!vt->journal) return SQLITE_OK;
    try {
        applyPending(vt);
        vt->table->sync();
        vt->folder->noteWritten(vt->file);
        return SQLITE_OK;
    } catch (const xbase::Error& e) {
        return fail(v, e.what(), SQLITE_IOERR);
    }
}

int commit(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    if (vt->journal) {
        try {
            vt->journal->finish();
        } catch (const xbase::Error& e) {
            vt->journal.reset();
            return fail(v, e.what(), SQLITE_IOERR);
        }
        vt->journal.reset();
    }
    return SQLITE_OK;
}

int rollback(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    vt->pending.clear();
    vt->pendingBytes = 0;
    if (!vt->journal) return SQLITE_OK;
    vt->journal.reset(); // closes it; the file stays for recover()
    try {
        xbase::Journal::recover(vt->file);
        vt->table->reload();
        vt->folder->noteWritten(vt->file);
    } catch (const xbase::Error& e) {
        return fail(v, std::string("The change could not be undone: ") + e.what(), SQLITE_IOERR);
    }
    return SQLITE_OK;
}

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = connect; // CREATE VIRTUAL TABLE attaches to an existing file
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xDestroy = disconnect; // DROP of the virtual table never deletes the file
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    m.xUpdate = update;
    m.xBegin = begin;
    m.xSync = sync;
    m.xCommit = commit;
    m.xRollback = rollback;
    return m;
}

const sqlite3_module kModule = makeModule();

} // namespace

void registerDbfModule(sqlite3* db, Folder* folder) {
    sqlite3_create_module_v2(db, "dbf", &kModule, folder, nullptr);
}

} // namespace engine
