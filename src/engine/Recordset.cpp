// Recordsets: a table read record by record on demand, or a select's result; edits go through SQL on
// the table's virtual table, so that they are journaled like any statement.
#include "engine/Recordset.h"

#include "engine/Database.h"
#include "engine/Dialect.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/SqlLexer.h"
#include "engine/TableLock.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace engine {

namespace {

std::string bracketed(std::string_view name) {
    return "[" + std::string(name) + "]";
}

// A select, as opposed to a table name: the first word decides.
bool isQuery(std::string_view source) {
    const auto tokens = sql::tokenize(source);
    return !tokens.empty() && (tokens[0].isWord("select") || tokens[0].isWord("transform") ||
                               tokens[0].isWord("parameters") || tokens[0].isSymbol("("));
}

// Finalizes a prepared statement when it goes out of scope.
struct Prepared {
    sqlite3_stmt* stmt;
    ~Prepared() { sqlite3_finalize(stmt); }
};

// A select over one table whose top level has no grouping, distinct, union or aggregation: the rows
// are records of that table and can be changed. Returns the same select with "rowid" as an extra first
// column, or nothing.
std::optional<std::string> withRowid(std::string_view select, const Statement& st) {
    if (st.tables.size() != 1) return std::nullopt;
    const auto tokens = sql::tokenize(select);
    int depth = 0;
    for (const auto& t : tokens) {
        if (t.isSymbol("("))
            ++depth;
        else if (t.isSymbol(")"))
            --depth;
        else if (depth == 0 && (t.isWord("distinct") || t.isWord("group") || t.isWord("union") ||
                                t.isWord("having") || t.isWord("transform") || t.isWord("join")))
            return std::nullopt;
    }
    // Insert after SELECT [DISTINCTROW] [TOP n [PERCENT]].
    std::size_t i = 1;
    if (i < tokens.size() && tokens[i].isWord("distinctrow")) ++i;
    if (i + 1 < tokens.size() && tokens[i].isWord("top")) {
        i += 2;
        if (i < tokens.size() && tokens[i].isWord("percent")) ++i;
    }
    if (i >= tokens.size()) return std::nullopt;
    const std::size_t at = tokens[i].begin;
    return std::string(select.substr(0, at)) + "[rowid] AS [__recno], " + std::string(select.substr(at));
}

FieldKind kindOfValue(const Value& v) {
    if (std::holds_alternative<std::int64_t>(v)) return FieldKind::Integer;
    if (std::holds_alternative<double>(v)) return FieldKind::Real;
    if (std::holds_alternative<xbase::Bytes>(v)) return FieldKind::Binary;
    return FieldKind::Text;
}

} // namespace

std::unique_ptr<Recordset> Recordset::open(Database& db, std::string_view source) {
    std::unique_ptr<Recordset> rs(new Recordset);
    rs->m_db = &db;
    if (isQuery(source))
        rs->openQuery(source);
    else
        rs->openTable(source);
    if (rs->fetch(0)) {
        rs->m_position = 0;
        rs->m_visited = 1;
    } else {
        rs->m_afterLast = true;
    }
    return rs;
}

Recordset::~Recordset() = default;

Recordset::Reading::Reading(Recordset& rs, std::optional<std::chrono::milliseconds> wait) {
    if (!rs.m_table || rs.m_mode == Mode::Rows) return;
    try {
        m_lock.emplace(*rs.m_table, wait);
    } catch (const xbase::Error& e) {
        throw fromFileError(e);
    }
    if (rs.m_table->generation() != rs.m_generation)
        throw Error(
            ErrorNumber::DataChanged,
            "Table '" + rs.m_file.filename().string() +
                "' was changed by another program: records this result had read are gone. Open it again to "
                "see it as it is now.");
}

Recordset::Reading::~Reading() = default;

void Recordset::openTable(std::string_view source) {
    std::string name(source);
    while (!name.empty() && (name.back() == ' ' || name.back() == ';'))
        name.pop_back();
    name.erase(0, name.find_first_not_of(' '));
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    m_mode = Mode::Table;
    m_file = m_db->files().resolve(name);
    m_locks = m_db->lockShared({m_file});
    m_vtab = m_db->attach(m_file, name);
    m_table = m_db->files().table(m_file);
    m_generation = m_table->generation();
    const auto names = columnNames(*m_table);
    for (std::size_t i : m_table->visibleFields()) {
        const auto& f = m_table->fields()[i];
        m_columns.push_back(names[m_fields.size()]);
        m_fields.push_back({names[m_fields.size()], kindOfField(f), f.length});
        m_fieldOf.push_back(static_cast<int>(i));
    }
    if (m_db->readOnly() || !m_table->canWrite()) m_vtab.clear();
}

void Recordset::openQuery(std::string_view select) {
    const Statement st = translate(select);
    if (st.kind == StatementKind::SelectInto)
        throw Error(ErrorNumber::InvalidOperation,
                    "SELECT ... INTO makes a table: execute it instead of opening it.");
    if (st.kind != StatementKind::Select)
        throw Error(ErrorNumber::InvalidOperation,
                    "Only a table name or a select can be opened as a recordset.");
    std::vector<std::filesystem::path> files;
    for (const auto& name : st.tables) {
        files.push_back(m_db->files().resolve(name));
        m_db->attach(files.back(), name);
    }
    m_locks = m_db->lockShared(files);

    // Try the changeable form first: the same select with each row's record number.
    if (auto rowidSelect = withRowid(select, st); rowidSelect && !m_db->readOnly()) {
        try {
            const Statement withIds = translate(*rowidSelect);
            Prepared s{m_db->prepare(withIds.sql)};
            const int columns = sqlite3_column_count(s.stmt);
            const std::string table = sql::asciiLower(stripDbfExtension(st.tables[0]));
            bool plain = columns > 1;
            for (int i = 1; i < columns && plain; ++i) {
                const char* origin = sqlite3_column_origin_name(s.stmt, i);
                const char* from = sqlite3_column_table_name(s.stmt, i);
                plain = origin && from && table == from;
            }
            // Every column must be one of the table's fields: the record number itself ([rowid])
            // comes from the table but is no field to write.
            std::shared_ptr<xbase::Table> source;
            std::vector<std::string> names;
            const auto fieldNamed = [&](int i) {
                const std::string origin = sqlite3_column_origin_name(s.stmt, i);
                return std::find_if(names.begin(), names.end(),
                                    [&](const std::string& n) { return sql::equalsIgnoreCase(n, origin); });
            };
            if (plain) {
                source = m_db->files().table(files[0]);
                names = columnNames(*source);
                for (int i = 1; i < columns && plain; ++i)
                    plain = fieldNamed(i) != names.end();
            }
            if (plain) {
                m_mode = Mode::Records;
                m_file = files[0];
                m_table = source;
                m_generation = m_table->generation();
                m_vtab = table;
                for (int i = 1; i < columns; ++i) {
                    const auto at = fieldNamed(i);
                    const std::size_t field =
                        m_table->visibleFields()[static_cast<std::size_t>(at - names.begin())];
                    const auto& f = m_table->fields()[field];
                    m_fields.push_back({sqlite3_column_name(s.stmt, i), kindOfField(f), f.length});
                    m_fieldOf.push_back(static_cast<int>(field));
                    m_columns.push_back(*at);
                }
                int rc;
                while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
                    m_records.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(s.stmt, 0) - 1));
                if (rc != SQLITE_DONE) m_db->raise(rc);
                m_complete = true;
                if (!m_table->canWrite()) m_vtab.clear();
                return;
            }
        } catch (const Error&) {
            // Not changeable after all (a field named rowid, say): read it as plain rows below.
        }
    }

    m_mode = Mode::Rows;
    m_vtab.clear();
    Prepared s{m_db->prepare(st.sql)};
    const int columns = sqlite3_column_count(s.stmt);
    std::vector<bool> typed(static_cast<std::size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        FieldInfo info{sqlite3_column_name(s.stmt, i), FieldKind::Text, 0};
        if (const char* declared = sqlite3_column_decltype(s.stmt, i)) {
            info.kind = kindOfDeclaredType(declared);
            typed[static_cast<std::size_t>(i)] = true;
        }
        m_fields.push_back(info);
    }
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        std::vector<Value> row;
        row.reserve(static_cast<std::size_t>(columns));
        for (int i = 0; i < columns; ++i) {
            auto& info = m_fields[static_cast<std::size_t>(i)];
            row.push_back(columnValue(s.stmt, i, info.kind));
            if (!typed[static_cast<std::size_t>(i)] && !xbase::isNull(row.back())) {
                // A computed date (Max of a date field, a #date# literal) is ISO text in SQL.
                if (auto text = std::get_if<std::string>(&row.back())) {
                    xbase::DateTime dt;
                    bool hasTime = false;
                    if (parseIso(*text, dt, hasTime)) {
                        info.kind = hasTime ? FieldKind::DateTime : FieldKind::Date;
                        row.back() = columnValue(s.stmt, i, info.kind);
                    }
                }
                info.kind = kindOfValue(row.back()); // a computed column takes the kind of its first value
                typed[static_cast<std::size_t>(i)] = true;
            }
        }
        m_rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) m_db->raise(rc);
    m_complete = true;
}

// ---- rows and moving -----------------------------------------------------------------------------

std::int64_t Recordset::rowCount() const {
    switch (m_mode) {
    case Mode::Rows:
        return static_cast<std::int64_t>(m_rows.size());
    case Mode::Records:
        return static_cast<std::int64_t>(m_records.size());
    case Mode::Table:
        break;
    }
    return static_cast<std::int64_t>(m_scanned) - static_cast<std::int64_t>(m_deleted.size());
}

std::int64_t Recordset::fetchedCount() const {
    return rowCount();
}

bool Recordset::fetch(std::int64_t row) {
    if (row < 0) return false;
    if (row < rowCount()) return true; // read already: no need to look at the file
    if (m_mode == Mode::Table) {
        const Reading reading(*this);
        // Records are listed as they are asked for, skipping deleted ones: a huge table is never read
        // whole to show its first rows.
        // Only the deleted ones are remembered: row numbers map to record numbers around them.
        const std::uint32_t total = m_table->recordCount();
        while (rowCount() <= row && m_scanned < total) {
            const std::int64_t wanted = row - rowCount() + 1;
            const std::uint32_t step = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(wanted, 4096, std::int64_t{total} - m_scanned));
            const std::uint32_t to = std::min<std::uint32_t>(total, m_scanned + step);
            m_table->findDeleted(m_scanned, to, m_deleted);
            m_scanned = to;
        }
        m_complete = m_scanned >= total;
    }
    return row < rowCount();
}

std::int64_t Recordset::recordCount() const {
    return m_visited;
}

bool Recordset::eof() const {
    return m_afterLast;
}

void Recordset::visit() {
    m_afterLast = false;
    m_currentDeleted = false;
    m_visited = std::max(m_visited, m_position + 1);
}

// A row whose record was deleted since it was read (by this recordset or by a statement) is skipped
// by every move.
bool Recordset::gone(std::int64_t row) const {
    if (m_mode == Mode::Rows) return false;
    const Reading reading(const_cast<Recordset&>(*this));
    const auto record = static_cast<std::uint32_t>(recordOf(row));
    return record >= m_table->recordCount() || m_table->isDeleted(record);
}

void Recordset::moveFirst() {
    std::int64_t row = 0;
    while (fetch(row) && gone(row))
        ++row;
    if (!fetch(row)) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    m_position = row;
    visit();
}

void Recordset::moveLast() {
    fetch(INT64_MAX - 1);
    std::int64_t row = rowCount() - 1;
    while (row >= 0 && gone(row))
        --row;
    if (row < 0) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    m_position = row;
    visit();
    m_visited = rowCount();
}

void Recordset::moveNext() {
    if (m_afterLast) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    // After a delete the next row has moved into the deleted row's place.
    std::int64_t target = m_currentDeleted ? m_position : m_position + 1;
    while (fetch(target) && gone(target))
        ++target;
    if (!fetch(target)) {
        m_position = rowCount();
        m_afterLast = true;
        m_currentDeleted = false;
        return;
    }
    m_position = target;
    visit();
}

void Recordset::movePrevious() {
    if (m_position < 0) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    std::int64_t row = std::min(m_position, rowCount()) - 1;
    while (row >= 0 && gone(row))
        --row;
    m_position = row;
    if (m_position < 0) {
        m_position = -1;
        m_afterLast = false;
        m_currentDeleted = false;
        return;
    }
    visit();
}

std::int64_t Recordset::absolutePosition() const {
    if (m_afterLast || m_currentDeleted || m_position < 0 || m_position >= rowCount()) return -1;
    return m_position;
}

void Recordset::setAbsolutePosition(std::int64_t row) {
    if (!fetch(row))
        throw Error(ErrorNumber::InvalidArgument, "There is no row " + std::to_string(row) + ".");
    m_position = row;
    visit();
}

void Recordset::requireCurrent() const {
    if (absolutePosition() < 0) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
}

// ---- fields --------------------------------------------------------------------------------------

const FieldInfo& Recordset::field(std::size_t index) const {
    if (index >= m_fields.size())
        throw Error(ErrorNumber::ItemNotFound,
                    "Item not found in this collection: field " + std::to_string(index) + ".");
    return m_fields[index];
}

std::size_t Recordset::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (sql::equalsIgnoreCase(m_fields[i].name, name)) return i;
    throw Error(ErrorNumber::ItemNotFound,
                "Item not found in this collection: field '" + std::string(name) + "'.");
}

std::int64_t Recordset::recordOf(std::int64_t row) const {
    if (m_mode != Mode::Table) return m_records[static_cast<std::size_t>(row)];
    // The smallest record k with row + 1 live records in [0, k]; it is live itself.
    std::int64_t low = row, high = row + static_cast<std::int64_t>(m_deleted.size());
    while (low < high) {
        const std::int64_t mid = low + (high - low) / 2;
        const auto deletedUpTo =
            std::upper_bound(m_deleted.begin(), m_deleted.end(), static_cast<std::uint32_t>(mid)) -
            m_deleted.begin();
        if (mid + 1 - deletedUpTo >= row + 1)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

Value Recordset::valueAt(std::int64_t row, std::size_t column) {
    if (!fetch(row)) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    (void)field(column);
    if (m_mode == Mode::Rows) return m_rows[static_cast<std::size_t>(row)][column];
    const Reading reading(*this);
    try {
        return m_table->value(static_cast<std::uint32_t>(recordOf(row)),
                              static_cast<std::size_t>(m_fieldOf[column]));
    } catch (const xbase::Error& e) {
        throw Error(ErrorNumber::BadTableFile, "Field " + m_fields[column].name + ": " + e.what());
    }
}

Value Recordset::value(std::size_t column) const {
    requireCurrent();
    if (m_editMode != EditMode::None)
        if (auto it = m_buffer.find(column); it != m_buffer.end()) return it->second;
    return const_cast<Recordset*>(this)->valueAt(m_position, column);
}

// ---- finding -------------------------------------------------------------------------------------

const std::unordered_set<std::int64_t>& Recordset::matches(std::string_view criteria) {
    if (m_findValid && m_findCriteria == criteria) return m_findSet;
    // Until the new criteria's rows are all in, the set belongs to no criteria.
    m_findValid = false;
    m_findSet.clear();
    sqlite3* db = m_db->connection();
    std::string select;
    if (m_mode != Mode::Rows) {
        select =
            "SELECT [rowid] FROM " +
            bracketed(m_vtab.empty() ? sql::asciiLower(stripDbfExtension(m_file.stem().string())) : m_vtab) +
            " WHERE " + std::string(criteria);
        if (m_vtab.empty()) m_db->attach(m_file, m_file.stem().string());
    } else {
        // The result's rows go into a scratch table, so that the criteria can name its columns.
        sqlite3_exec(db, "DROP TABLE IF EXISTS temp.\"__find\"", nullptr, nullptr, nullptr);
        std::string create = "CREATE TEMP TABLE \"__find\"(\"__row\" INTEGER";
        for (const auto& f : m_fields)
            create += ", " + sql::quoteIdentifier(f.name) +
                      (f.kind == FieldKind::Text || f.kind == FieldKind::Memo ? " TEXT COLLATE DBTEXT" : "");
        create += ")";
        if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            m_db->raise(SQLITE_ERROR);
        std::string insert = "INSERT INTO temp.\"__find\" VALUES(?";
        for (std::size_t i = 0; i < m_fields.size(); ++i)
            insert += ",?";
        insert += ")";
        Prepared ins{m_db->prepare(insert)};
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            sqlite3_bind_int64(ins.stmt, 1, static_cast<sqlite3_int64>(r));
            for (std::size_t c = 0; c < m_fields.size(); ++c)
                bindValue(ins.stmt, static_cast<int>(c) + 2, m_rows[r][c]);
            sqlite3_step(ins.stmt);
            sqlite3_reset(ins.stmt);
        }
        select = "SELECT [__row] FROM [__find] WHERE " + std::string(criteria);
    }
    const Statement st = translate(select);
    Prepared s{m_db->prepare(st.sql)};
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
        m_findSet.insert(m_mode == Mode::Rows ? sqlite3_column_int64(s.stmt, 0)
                                              : sqlite3_column_int64(s.stmt, 0) - 1);
    if (rc != SQLITE_DONE) m_db->raise(rc);
    m_findCriteria = criteria;
    m_findValid = true;
    return m_findSet;
}

void Recordset::find(std::string_view criteria, std::int64_t from, int step) {
    const auto& set = matches(criteria);
    const Reading reading(*this); // once for the whole walk, not once a row
    if (step < 0) fetch(INT64_MAX - 1);
    for (std::int64_t row = from; row >= 0 && fetch(row); row += step) {
        const std::int64_t key = m_mode == Mode::Rows ? row : recordOf(row);
        if (set.count(key)) {
            m_position = row;
            visit();
            m_noMatch = false;
            return;
        }
    }
    m_noMatch = true;
}

void Recordset::findFirst(std::string_view criteria) {
    find(criteria, 0, 1);
}
void Recordset::findNext(std::string_view criteria) {
    find(criteria, absolutePosition() < 0 ? (m_afterLast ? rowCount() : 0) : m_position + 1, 1);
}
void Recordset::findPrevious(std::string_view criteria) {
    find(criteria, absolutePosition() < 0 ? (m_afterLast ? rowCount() - 1 : -1) : m_position - 1, -1);
}
void Recordset::findLast(std::string_view criteria) {
    fetch(INT64_MAX - 1);
    find(criteria, rowCount() - 1, -1);
}

// ---- editing -------------------------------------------------------------------------------------

void Recordset::addNew() {
    if (!updatable()) throw Error(ErrorNumber::NotUpdatable, "Cannot update: the recordset is read-only.");
    m_editMode = EditMode::Add;
    m_buffer.clear();
}

void Recordset::edit() {
    if (!updatable()) throw Error(ErrorNumber::NotUpdatable, "Cannot update: the recordset is read-only.");
    requireCurrent();
    m_editMode = EditMode::Edit;
    m_buffer.clear();
}

void Recordset::setValue(std::size_t column, const Value& value) {
    (void)field(column);
    if (!updatable()) throw Error(ErrorNumber::NotUpdatable, "Cannot update: the recordset is read-only.");
    if (m_editMode == EditMode::None)
        throw Error(ErrorNumber::UpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit.");
    m_buffer[column] = value;
}

void Recordset::cancelUpdate() {
    if (m_editMode == EditMode::None)
        throw Error(ErrorNumber::UpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit.");
    m_editMode = EditMode::None;
    m_buffer.clear();
}

void Recordset::update() {
    if (m_editMode == EditMode::None)
        throw Error(ErrorNumber::UpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit.");
    std::string text;
    if (m_editMode == EditMode::Edit) {
        requireCurrent();
        if (m_buffer.empty()) {
            m_editMode = EditMode::None;
            return;
        }
        text = "UPDATE temp." + sql::quoteIdentifier(m_vtab) + " SET ";
        bool first = true;
        for (const auto& [column, v] : m_buffer) {
            text += (first ? "" : ", ") + sql::quoteIdentifier(m_columns[column]) + " = ?";
            first = false;
        }
        text += " WHERE rowid = ?";
    } else {
        text = "INSERT INTO temp." + sql::quoteIdentifier(m_vtab);
        if (m_buffer.empty()) {
            text += " DEFAULT VALUES";
        } else {
            std::string names, marks;
            for (const auto& [column, v] : m_buffer) {
                names += (names.empty() ? "" : ", ") + sql::quoteIdentifier(m_columns[column]);
                marks += marks.empty() ? "?" : ", ?";
            }
            text += "(" + names + ") VALUES(" + marks + ")";
        }
    }
    m_db->attach(m_file, m_vtab);
    sqlite3_stmt* stmt = m_db->prepare(text);
    int index = 1;
    for (const auto& [column, v] : m_buffer)
        bindValue(stmt, index++, v);
    if (m_editMode == EditMode::Edit) sqlite3_bind_int64(stmt, index, recordOf(m_position) + 1);
    m_db->runToEnd(stmt);
    if (m_editMode == EditMode::Add) {
        // A new record joins the end of the rows, as in the classic engine.
        fetch(INT64_MAX - 1);
        const auto record = static_cast<std::uint32_t>(sqlite3_last_insert_rowid(m_db->connection()) - 1);
        if (m_mode == Mode::Table)
            m_scanned = std::max(m_scanned, record + 1); // all read before it: it joins as the last row
        else
            m_records.push_back(record);
    }
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_findValid = false;
}

void Recordset::deleteCurrent() {
    if (!updatable()) throw Error(ErrorNumber::NotUpdatable, "Cannot update: the recordset is read-only.");
    requireCurrent();
    m_db->attach(m_file, m_vtab);
    sqlite3_stmt* stmt =
        m_db->prepare("DELETE FROM temp." + sql::quoteIdentifier(m_vtab) + " WHERE rowid = ?");
    sqlite3_bind_int64(stmt, 1, recordOf(m_position) + 1);
    m_db->runToEnd(stmt);
    if (m_mode == Mode::Table) {
        const auto record = static_cast<std::uint32_t>(recordOf(m_position));
        m_deleted.insert(std::upper_bound(m_deleted.begin(), m_deleted.end(), record), record);
    } else {
        m_records.erase(m_records.begin() + m_position);
    }
    m_visited = std::max<std::int64_t>(0, m_visited - 1);
    m_currentDeleted = true;
    m_findValid = false;
}

void Recordset::close() {
    m_locks.clear();
    m_records.clear();
    m_rows.clear();
    m_table.reset();
    m_position = -1;
    m_afterLast = true;
}

} // namespace engine
