// The cursor of a recordset over its row source: moves, searches, and edits made through SQL on the
// table's virtual table, so that they are journaled like any statement.
#include "engine/Recordset.h"

#include "engine/Crosstab.h"
#include "engine/Database.h"
#include "engine/Dialect.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "engine/TableLock.h"
#include "xbase/Error.h"

#include <algorithm>
#include <sqlite3.h>

namespace engine {

namespace {

// A select, as opposed to a table name: the first word decides.
bool isQuery(std::string_view source) {
    const auto tokens = sql::tokenize(source);
    return !tokens.empty() && (tokens[0].isWord("select") || tokens[0].isWord("transform") ||
                               tokens[0].isWord("parameters") || tokens[0].isSymbol("("));
}

} // namespace

std::unique_ptr<Recordset> Recordset::open(Database& db, std::string_view source) {
    std::unique_ptr<Recordset> rs(new Recordset);
    rs->m_db = &db;
    if (isQuery(source))
        rs->openQuery(source);
    else
        rs->openTable(source);
    if (const auto table = rs->m_rows->table()) rs->m_generation = table->generation();
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
    const auto table = rs.m_rows ? rs.m_rows->table() : nullptr;
    if (!table) return;
    try {
        m_lock.emplace(*table, wait);
    } catch (const xbase::Error& e) {
        throw fromFileError(e);
    }
    if (table->generation() != rs.m_generation)
        throw Error(
            ErrorNumber::DataChanged,
            "Table '" + table->path().filename().string() +
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
    const std::filesystem::path file = m_db->files().resolve(name);
    m_locks = m_db->lockShared({file});
    auto rows = openTableRows(*m_db, file, m_db->attach(file, name));
    if (!m_db->readOnly() && rows->table()->canWrite()) m_writeColumns = rows->columns();
    m_rows = std::move(rows);
}

void Recordset::openQuery(std::string_view select) {
    const Translation st = m_db->translated(select);
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
    if (st.crosstab) {
        // Its columns are known once the pivot values are read; its rows are always computed.
        Translation composed = st;
        composed.sql = composeCrosstab(*m_db, *st.crosstab);
        m_rows = openResultRows(*m_db, composed);
        return;
    }
    // Rows that are records of one table can be changed; any other result is computed once.
    if (!m_db->readOnly() && files.size() == 1) {
        if (auto records = openRecordRows(*m_db, select, st, files.front())) {
            if (records->table()->canWrite()) m_writeColumns = records->columns();
            m_rows = std::move(records);
            return;
        }
    }
    m_rows = openResultRows(*m_db, st);
}

// ---- rows and moving -----------------------------------------------------------------------------

std::int64_t Recordset::fetchedCount() const {
    return rowCount();
}

bool Recordset::fetch(std::int64_t row) {
    if (row < 0 || !m_rows) return false;
    if (row < rowCount()) return true; // read already: no need to look at the file
    const Reading reading(*this);
    return m_rows->fetch(row);
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
    if (!m_rows->table()) return false;
    const Reading reading(const_cast<Recordset&>(*this));
    return m_rows->gone(row);
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

void Recordset::countAll() {
    if (const auto all = total()) {
        m_visited = std::max(m_visited, *all);
        return;
    }
    if (recordCount() == 0 && eof()) return;
    moveLast();
    moveFirst();
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

void Recordset::requireUpdatable() const {
    if (!updatable()) throw Error(ErrorNumber::NotUpdatable, "Cannot update: the recordset is read-only.");
}

// ---- fields --------------------------------------------------------------------------------------

const FieldInfo& Recordset::field(std::size_t index) const {
    if (index >= fieldCount())
        throw Error(ErrorNumber::ItemNotFound,
                    "Item not found in this collection: field " + std::to_string(index) + ".");
    return m_rows->fields()[index];
}

std::size_t Recordset::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fieldCount(); ++i)
        if (sql::equalsIgnoreCase(m_rows->fields()[i].name, name)) return i;
    throw Error(ErrorNumber::ItemNotFound,
                "Item not found in this collection: field '" + std::string(name) + "'.");
}

Value Recordset::valueAt(std::int64_t row, std::size_t column) {
    const Reading reading(*this);
    if (!fetch(row)) throw Error(ErrorNumber::NoCurrentRecord, "No current record.");
    (void)field(column);
    return m_rows->value(row, column);
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
    m_findSet = m_rows->matching(criteria);
    m_findCriteria = criteria;
    m_findValid = true;
    return m_findSet;
}

void Recordset::find(std::string_view criteria, std::int64_t from, int step) {
    const auto& set = matches(criteria);
    const Reading reading(*this); // once for the whole walk, not once a row
    if (step < 0) fetch(INT64_MAX - 1);
    for (std::int64_t row = from; row >= 0 && fetch(row); row += step) {
        const std::int64_t key = m_rows->key(row);
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
    requireUpdatable();
    m_editMode = EditMode::Add;
    m_buffer.clear();
}

void Recordset::edit() {
    requireUpdatable();
    requireCurrent();
    m_editMode = EditMode::Edit;
    m_buffer.clear();
}

void Recordset::setValue(std::size_t column, const Value& value) {
    (void)field(column);
    requireUpdatable();
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
    const std::string& table = m_rows->tableName();
    std::string text;
    if (m_editMode == EditMode::Edit) {
        requireCurrent();
        if (m_buffer.empty()) {
            m_editMode = EditMode::None;
            return;
        }
        text = "UPDATE temp." + sql::quoteIdentifier(table) + " SET ";
        bool first = true;
        for (const auto& [column, v] : m_buffer) {
            text += (first ? "" : ", ") + sql::quoteIdentifier(m_writeColumns[column]) + " = ?";
            first = false;
        }
        text += " WHERE rowid = ?";
    } else {
        text = "INSERT INTO temp." + sql::quoteIdentifier(table);
        if (m_buffer.empty()) {
            text += " DEFAULT VALUES";
        } else {
            std::string names, marks;
            for (const auto& [column, v] : m_buffer) {
                names += (names.empty() ? "" : ", ") + sql::quoteIdentifier(m_writeColumns[column]);
                marks += marks.empty() ? "?" : ", ?";
            }
            text += "(" + names + ") VALUES(" + marks + ")";
        }
    }
    m_db->attach(m_rows->table()->path(), table);
    Statement statement(*m_db, text);
    int index = 1;
    for (const auto& [column, v] : m_buffer)
        statement.bind(index++, v);
    if (m_editMode == EditMode::Edit) statement.bind(index, std::int64_t{*m_rows->record(m_position)} + 1);
    statement.run();
    if (m_editMode == EditMode::Add) {
        // A new record joins the end of the rows, as in the classic engine.
        const Reading reading(*this);
        m_rows->appended(static_cast<std::uint32_t>(sqlite3_last_insert_rowid(m_db->connection()) - 1));
    }
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_findValid = false;
}

void Recordset::deleteCurrent() {
    requireUpdatable();
    requireCurrent();
    const std::string& table = m_rows->tableName();
    m_db->attach(m_rows->table()->path(), table);
    Statement statement(*m_db, "DELETE FROM temp." + sql::quoteIdentifier(table) + " WHERE rowid = ?");
    statement.bind(1, std::int64_t{*m_rows->record(m_position)} + 1);
    statement.run();
    m_rows->removed(m_position);
    m_visited = std::max<std::int64_t>(0, m_visited - 1);
    m_currentDeleted = true;
    m_findValid = false;
}

void Recordset::close() {
    m_locks.clear();
    m_rows.reset();
    m_position = -1;
    m_afterLast = true;
}

} // namespace engine
