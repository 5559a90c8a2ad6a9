// The "dbf" virtual-table module: scans with simple comparisons pushed down to the records, rowid
// lookups, and changes made through an xbase::Change, committed in xSync.
#include "engine/DbfModule.h"

#include "engine/Collation.h"
#include "engine/DbfScan.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/ScanPlan.h"
#include "engine/Values.h"
#include "xbase/Error.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace engine {

namespace {

using namespace dbf;

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

// SQLite's result code for an error of the file layer; the typed error itself waits in the folder for
// the statement's report.
int failWith(DbfTable* vt, const xbase::Error& e) {
    vt->folder->setTableError(fromFileError(e));
    switch (e.kind()) {
    case xbase::ErrorKind::ReadOnly:
        return fail(&vt->base, e.what(), SQLITE_READONLY);
    case xbase::ErrorKind::Type:
        return fail(&vt->base, e.what(), SQLITE_MISMATCH);
    case xbase::ErrorKind::Io:
        return fail(&vt->base, e.what(), SQLITE_IOERR);
    case xbase::ErrorKind::LockedForReading:
    case xbase::ErrorKind::LockedForWriting:
        return fail(&vt->base, e.what(), SQLITE_BUSY);
    default:
        return fail(&vt->base, e.what(), SQLITE_ERROR);
    }
}

// Runs a callback's body; no exception crosses SQLite's C frames.
template <typename Body> int guarded(DbfTable* vt, Body&& body) {
    try {
        return body();
    } catch (const xbase::Error& e) {
        return failWith(vt, e);
    } catch (const Error& e) {
        vt->folder->setTableError(e);
        return fail(&vt->base, e.what());
    } catch (const std::exception& e) {
        return fail(&vt->base, e.what());
    } catch (...) {
        return fail(&vt->base, "An unexpected failure in table '" + vt->file.filename().string() + "'.");
    }
}

// Takes the folder's table anew when another file took its place with the same fields (a program that
// saves by writing a new file); a new structure needs a new statement. Only between statements of this
// table: no scan open, no change running.
void followReplacedFile(DbfTable* vt) {
    if (vt->change || vt->cursors > 1) return;
    auto fresh = vt->folder->table(vt->file);
    if (fresh == vt->table) return;
    auto columnsOf = [](const xbase::Table& t) {
        std::vector<std::pair<std::string, FieldKind>> columns;
        const auto names = columnNames(t);
        for (std::size_t i = 0; i < names.size(); ++i)
            columns.emplace_back(names[i], kindOfField(t.fields()[t.visibleFields()[i]]));
        return columns;
    };
    if (columnsOf(*fresh) != columnsOf(*vt->table))
        throw xbase::Error(xbase::ErrorKind::Changed,
                           "Table '" + vt->file.filename().string() +
                               "' was changed by another program; run the statement again.");
    vt->table = std::move(fresh);
}

// ---- connecting ----------------------------------------------------------------------------------

int connectTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
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

// Nothing thrown may cross SQLite's frames, also while a table is being connected.
int connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
    try {
        return connectTable(db, aux, argc, argv, out, err);
    } catch (const std::exception& e) {
        *err = sqlite3_mprintf("%s", e.what());
    } catch (...) {
        *err = sqlite3_mprintf("dbf: the table cannot be used");
    }
    return SQLITE_ERROR;
}

int disconnect(sqlite3_vtab* v) {
    delete tableOf(v);
    return SQLITE_OK;
}

// ---- planning ------------------------------------------------------------------------------------

// idxNum 1: one record by rowid (argv[0]). idxNum 2: filters, described in idxStr as "column:op ...".
// Hands the plan to xFilter: the kind as idxNum, the rest as idxStr's text.
void choose(sqlite3_index_info* info, const ScanPlan& plan) {
    info->idxNum = plan.kind;
    info->idxStr = sqlite3_mprintf("%s", plan.encode().c_str());
    info->needToFreeIdxStr = 1;
}

int planScan(sqlite3_vtab* v, sqlite3_index_info* info) {
    DbfTable* vt = tableOf(v);
    const double rows = std::max<double>(1, vt->table->recordCount());
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->idxNum = ScanPlan::OneRecord;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
            return SQLITE_OK;
        }
    }
    ScanPlan plan;
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
        plan.comparisons.push_back({c.iColumn, c.op});
        info->aConstraintUsage[i].argvIndex = static_cast<int>(plan.comparisons.size());
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
    const double filtered = plan.comparisons.empty() ? rows : rows / (4.0 * plan.comparisons.size()) + 1;
    const bool oneOrder = info->nOrderBy == 1 && info->aOrderBy[0].iColumn >= 0 &&
                          info->aOrderBy[0].iColumn < static_cast<int>(vt->fieldOf.size());
    // ORDER BY one field with a LIMIT: we pick the first rows ourselves while scanning, instead of
    // SQLite feeding every record through its sorter.
    if (oneOrder && sqlite3_vtab_distinct(info) == 0) {
        int limit = -1;
        bool offset = false;
        for (int i = 0; i < info->nConstraint; ++i) {
            if (!info->aConstraint[i].usable) continue;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_LIMIT) limit = i;
            if (info->aConstraint[i].op == SQLITE_INDEX_CONSTRAINT_OFFSET) offset = true;
        }
        if (limit >= 0 && !offset) {
            plan.kind = ScanPlan::FirstInOrder;
            plan.orderColumn = info->aOrderBy[0].iColumn;
            plan.descending = info->aOrderBy[0].desc != 0;
            plan.limitArgument = static_cast<int>(plan.comparisons.size()) + 1;
            info->aConstraintUsage[limit].argvIndex = plan.limitArgument;
            info->orderByConsumed = 1;
            choose(info, plan);
            info->estimatedRows = 10;
            info->estimatedCost = rows;
            return SQLITE_OK;
        }
    }
    // GROUP BY one field: we hand out the records of each value together, so SQLite need not sort a
    // million rows to find the groups.
    if (oneOrder && sqlite3_vtab_distinct(info) == 1) {
        plan.kind = ScanPlan::Grouped;
        plan.orderColumn = info->aOrderBy[0].iColumn;
        // GROUP BY x ORDER BY x DESC asks for the groups in descending order.
        plan.descending = info->aOrderBy[0].desc != 0;
        info->orderByConsumed = 1;
        choose(info, plan);
        info->estimatedRows = static_cast<sqlite3_int64>(filtered);
        info->estimatedCost = rows;
        return SQLITE_OK;
    }
    if (!plan.comparisons.empty()) choose(info, plan);
    info->idxNum = ScanPlan::AllRecords;
    info->estimatedRows = static_cast<sqlite3_int64>(filtered);
    info->estimatedCost = rows;
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
    return guarded(tableOf(v), [&] { return planScan(v, info); });
}

// ---- scanning ------------------------------------------------------------------------------------

int open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
    auto* cur = new (std::nothrow) DbfCursor;
    if (!cur) return SQLITE_NOMEM;
    cur->vt = tableOf(v);
    ++cur->vt->cursors;
    *out = &cur->base;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* c) {
    DbfCursor* cur = cursorOf(c);
    --cur->vt->cursors;
    delete cur; // lets go of its shared lock
    return SQLITE_OK;
}

int filterRecords(DbfCursor* cur, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
    DbfTable* vt = cur->vt;
    if (!cur->reading) {
        followReplacedFile(vt);
        // The header is read again under the lock: the scan sees every change committed before it.
        cur->locked = vt->table;
        cur->reading.emplace(*cur->locked);
    }
    const auto plan = ScanPlan::decode(idxNum, idxStr, static_cast<int>(vt->fieldOf.size()), argc);
    if (!plan)
        return fail(&vt->base,
                    "The plan of a scan of table '" + vt->file.filename().string() + "' is not one of ours.");
    cur->filters.clear();
    cur->order.clear();
    cur->grouped = false;
    cur->record = 0;
    cur->end = vt->table->recordCount();
    if (plan->kind == ScanPlan::OneRecord) {
        const sqlite3_int64 rowid = sqlite3_value_int64(argv[0]);
        const bool inRange =
            sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER && rowid >= 1 && rowid <= cur->end;
        cur->record = inRange ? static_cast<std::uint32_t>(rowid - 1) : cur->end;
        cur->end = inRange ? cur->record + 1 : cur->end;
        skipToVisible(cur);
        return SQLITE_OK;
    }
    for (std::size_t i = 0; i < plan->comparisons.size(); ++i) {
        const auto column = static_cast<std::size_t>(plan->comparisons[i].column);
        Filter f{vt->fieldOf[column], vt->kinds[column], plan->comparisons[i].op, 0, {}};
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
    if (plan->kind == ScanPlan::Grouped) {
        cur->grouped = true;
        groupRecords(cur, vt->fieldOf[static_cast<std::size_t>(plan->orderColumn)], plan->descending);
        return SQLITE_OK;
    }
    if (plan->kind == ScanPlan::FirstInOrder) {
        cur->grouped = true;
        firstRecords(cur, vt->fieldOf[static_cast<std::size_t>(plan->orderColumn)], plan->descending,
                     sqlite3_value_int64(argv[plan->limitArgument - 1]));
        return SQLITE_OK;
    }
    skipToVisible(cur);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* c, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
    DbfCursor* cur = cursorOf(c);
    DbfTable* vt = cur->vt;
    return guarded(vt, [&] { return filterRecords(cur, idxNum, idxStr, argc, argv); });
}

int next(sqlite3_vtab_cursor* c) {
    DbfCursor* cur = cursorOf(c);
    if (cur->grouped) {
        if (++cur->position < cur->order.size()) {
            cur->record = cur->order[cur->position];
            return SQLITE_OK;
        }
        return guarded(cur->vt, [&] {
            cur->vt->table->checkIntact();
            return SQLITE_OK;
        });
    }
    return guarded(cur->vt, [&] {
        ++cur->record;
        skipToVisible(cur);
        if (cur->record >= cur->end) cur->vt->table->checkIntact();
        return SQLITE_OK;
    });
}

int eof(sqlite3_vtab_cursor* c) {
    const DbfCursor* cur = cursorOf(c);
    return cur->grouped ? cur->position >= cur->order.size() : cur->record >= cur->end;
}

// A value that cannot be read (a memo block outside its file) is Null to SQLite, unless the statement
// changes tables (see Folder::Unreadable).
void unreadable(DbfCursor* cur, sqlite3_context* cx, int i, const std::string& reason) {
    DbfTable* vt = cur->vt;
    const auto& field = vt->table->fields()[vt->fieldOf[static_cast<std::size_t>(i)]];
    switch (vt->folder->unreadable()) {
    case Folder::Unreadable::Fail: {
        const std::string message =
            "Record " + std::to_string(cur->record + 1) + ", field '" + field.name + "': " + reason;
        vt->folder->setTableError(Error(ErrorNumber::BadTableFile, message));
        sqlite3_result_error(cx, message.c_str(), -1);
        return;
    }
    case Folder::Unreadable::Report:
        vt->folder->noteUnreadable(vt->file.filename().string(), field.name, cur->record, reason);
        break;
    case Folder::Unreadable::Pass:
        break;
    }
    sqlite3_result_null(cx);
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
        vt->table->checkIntact(); // bytes read as zeros after another program cut the file are no value
    } catch (const xbase::Error& e) {
        if (e.kind() == xbase::ErrorKind::Changed) return failWith(vt, e); // the whole scan is off
        unreadable(cur, cx, i, e.what());
    } catch (const std::exception& e) {
        unreadable(cur, cx, i, e.what());
    } catch (...) {
        unreadable(cur, cx, i, "The value cannot be read.");
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* c, sqlite3_int64* out) {
    *out = cursorOf(c)->record + 1;
    return SQLITE_OK;
}

// ---- writing -------------------------------------------------------------------------------------

int update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* newRowid) {
    DbfTable* vt = tableOf(v);
    return guarded(vt, [&] {
        if (!vt->change) {
            vt->table->checkWritable(); // a table that cannot be changed says why
            throw xbase::Error(xbase::ErrorKind::ReadOnly,
                               "Table '" + vt->file.filename().string() + "' is not open for a change.");
        }
        xbase::Change& change = *vt->change;
        auto recordOf = [&](sqlite3_value* rowid) {
            const sqlite3_int64 n = sqlite3_value_int64(rowid);
            if (n < 1 || n > change.recordCount())
                throw xbase::Error(xbase::ErrorKind::Value,
                                   "Record " + std::to_string(n) + " does not exist.");
            return static_cast<std::uint32_t>(n - 1);
        };
        if (argc == 1) {
            const auto record = recordOf(argv[0]);
            auto image = change.image(record);
            image[0] = '*';
            change.put(record, std::move(image));
            return SQLITE_OK;
        }
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL)
                return fail(v, "A record number cannot be given to a new record of a dBASE table.");
            std::vector<std::uint8_t> record = vt->table->blankRecord();
            for (std::size_t i = 0; i < vt->fieldOf.size(); ++i)
                if (sqlite3_value_type(argv[2 + i]) != SQLITE_NULL)
                    change.encode(record, vt->fieldOf[i], fromSqlite(argv[2 + i], vt->kinds[i]));
            *newRowid = change.append(std::move(record)) + 1;
            return SQLITE_OK;
        }
        if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
            return fail(v, "The record number of a dBASE record cannot be changed.");
        const auto record = recordOf(argv[0]);
        auto image = change.image(record);
        for (std::size_t i = 0; i < vt->fieldOf.size(); ++i)
            if (!sqlite3_value_nochange(argv[2 + i]))
                change.encode(image, vt->fieldOf[i], fromSqlite(argv[2 + i], vt->kinds[i]));
        change.put(record, std::move(image));
        return SQLITE_OK;
    });
}

// A statement that writes the table begins: the writer's lock comes before any row is read, so that
// the change is computed from the table as it is. A table that cannot be changed gets no change; a
// statement that tries one is refused in update().
int begin(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    return guarded(vt, [&] {
        followReplacedFile(vt);
        if (vt->table->canWrite()) vt->change = std::make_unique<xbase::Change>(*vt->table);
        return SQLITE_OK;
    });
}

// The change is made here, where a failure still fails the statement: xCommit's result is not heard.
int sync(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    if (!vt->change) return SQLITE_OK;
    return guarded(vt, [&] {
        vt->change->commit();
        return SQLITE_OK;
    });
}

int commit(sqlite3_vtab* v) {
    tableOf(v)->change.reset(); // lets go of the locks
    return SQLITE_OK;
}

int rollback(sqlite3_vtab* v) {
    DbfTable* vt = tableOf(v);
    if (!vt->change) return SQLITE_OK;
    try {
        vt->change->rollback();
    } catch (const std::exception& e) {
        // SQLite does not hear of this; the statement's report carries it.
        vt->folder->noteUndoFailure(e.what());
    } catch (...) {
        vt->folder->noteUndoFailure(
            "The change could not be undone; it will be when the table is next opened.");
    }
    vt->change.reset();
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
    if (sqlite3_create_module_v2(db, "dbf", &kModule, folder, nullptr) != SQLITE_OK)
        throw Error(ErrorNumber::DiskIo,
                    std::string("The SQL engine refused the dBASE tables: ") + sqlite3_errmsg(db));
}

} // namespace engine
