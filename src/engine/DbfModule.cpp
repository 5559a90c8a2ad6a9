// The "dbf" virtual-table module: scans with simple comparisons pushed down to the records, rowid
// lookups, and journaled writes applied at commit.
#include "engine/DbfModule.h"

#include "engine/Collation.h"
#include "engine/DbfScan.h"
#include "engine/DialectParser.h"
#include "engine/Folder.h"
#include "engine/Values.h"
#include "xbase/Error.h"
#include "xbase/Journal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace engine {

namespace {

using namespace dbf;

// In-place record changes wait in memory until commit; past this many bytes they are applied early
// (their original images journaled first), so that a huge UPDATE does not hold the table in memory.
constexpr std::size_t kPendingLimit = 16u << 20;

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
            if (path[i] == '\'' && path[i + 1] == '\'') ++i;
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
        if (!vt->fieldOf.empty()) schema += ", ";
        schema += sql::quoteIdentifier(names[vt->fieldOf.size()]) + " " + declaredType(fields[i]);
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
            if (!info->aConstraint[i].usable) continue;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_LIMIT) limit = i;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_OFFSET) offset = true;
        }
        if (limit >= 0 && !offset) {
            info->aConstraintUsage[limit].argvIndex = ++argv;
            plan = "S" + std::to_string(info->aOrderBy[0].iColumn) + ":" +
                   (info->aOrderBy[0].desc ? "1" : "0") + ":" + std::to_string(argv) + " " + plan;
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
        if (++cur->position < cur->order.size()) cur->record = cur->order[cur->position];
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
        if (!quickColumn(*vt->table, record, index, cx)) resultValue(cx, vt->table->decode(record, index));
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
