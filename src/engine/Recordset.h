// A cursor over the rows of a table or a select: the current row, moves, searches, and edits written
// through to the file by record number.
#pragma once

#include "engine/RowSource.h"
#include "engine/Values.h"
#include "xbase/Table.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace engine {

class Database;
class TableLock;

class Recordset {
public:
    // A table by name ("orders", "ORDERS.DBF") or one select. A table, and a select over one table whose
    // columns are plain fields, can be changed; other results are read-only. Throws Error.
    static std::unique_ptr<Recordset> open(Database& db, std::string_view source);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Rows visited so far; complete after moveLast(); 0 when empty.
    std::int64_t recordCount() const;
    bool bof() const { return m_position < 0; }
    bool eof() const;
    // moveFirst and moveLast throw Error(NoCurrentRecord) on an empty set; moveNext past the last row
    // sets eof, movePrevious before the first sets bof.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    // Makes recordCount() the number of all rows, as moveLast() then moveFirst() would, without reading
    // every row when their number is known otherwise (the rows of a sort before they are all in order).
    void countAll();
    // 0-based index of the current row, -1 when there is none.
    std::int64_t absolutePosition() const;
    void setAbsolutePosition(std::int64_t row);

    // Criteria in the dialect ("city = 'Paris'"). A match becomes the current row; with no match the
    // current row stays and noMatch() is true.
    void findFirst(std::string_view criteria);
    void findNext(std::string_view criteria);
    void findPrevious(std::string_view criteria);
    void findLast(std::string_view criteria);
    bool noMatch() const { return m_noMatch; }

    std::size_t fieldCount() const { return m_rows ? m_rows->fields().size() : 0; }
    const FieldInfo& field(std::size_t index) const;
    // Index of a field by name without regard to case; Error(ItemNotFound) when there is none.
    std::size_t fieldIndex(std::string_view name) const;
    // Values of the current row; Error(NoCurrentRecord) when there is none.
    Value value(std::size_t field) const;
    Value value(std::string_view name) const { return value(fieldIndex(name)); }

    // Random access for views: makes sure rows up to this one are read; false when it does not exist.
    bool fetch(std::int64_t row);
    // Rows read so far (for views that show what is known without reading on).
    std::int64_t fetchedCount() const;
    // How many rows there are, when that is known before they are all read (the rows of a sort).
    std::optional<std::int64_t> total() const { return m_rows ? m_rows->total() : std::nullopt; }
    bool complete() const { return !m_rows || m_rows->complete(); }
    Value valueAt(std::int64_t row, std::size_t field);

    bool updatable() const { return !m_writeColumns.empty(); }
    // The table whose records the rows are (a table, or a select of one table), or null for computed rows.
    std::shared_ptr<xbase::Table> table() const { return m_rows ? m_rows->table() : nullptr; }
    // Edits: addNew/edit, setValue, then update (written to the file) or cancelUpdate. Error(NotUpdatable)
    // on a read-only result; a value that does not fit gives the file layer's error and changes nothing.
    void addNew();
    void edit();
    void setValue(std::size_t field, const Value& value);
    void setValue(std::string_view name, const Value& value) { setValue(fieldIndex(name), value); }
    void update();
    void cancelUpdate();
    bool editing() const { return m_editMode != EditMode::None; }
    // Deletes the current row from the file; it leaves the recordset.
    void deleteCurrent();

    // Releases the tables (an exclusive open of their folder is possible again).
    void close();

    // Holds the table's shared lock across many reads (an export walking every row), which each read
    // otherwise takes and lets go of: other programs' changes are then either wholly seen or not at
    // all. Throws Error(CouldNotReadLocked) while another program commits for longer than the
    // database's lock wait, Error(DataChanged) when the table was cut, packed or replaced since the
    // recordset read its records. Nothing to hold for a result that is all in memory.
    class Reading {
    public:
        // Waits up to `wait` for another program's commit (the database's lock wait when not given).
        explicit Reading(Recordset& recordset, std::optional<std::chrono::milliseconds> wait = std::nullopt);
        ~Reading();
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;

    private:
        std::optional<xbase::Table::ReadLock> m_lock;
    };

private:
    enum class EditMode { None, Edit, Add };
    Recordset() = default;
    void openTable(std::string_view name);
    void openQuery(std::string_view select);
    std::int64_t rowCount() const { return m_rows ? m_rows->count() : 0; }
    void requireCurrent() const;
    void requireUpdatable() const;
    void visit();
    bool gone(std::int64_t row) const;
    const std::unordered_set<std::int64_t>& matches(std::string_view criteria);
    void find(std::string_view criteria, std::int64_t from, int step);

    Database* m_db = nullptr;
    std::unique_ptr<RowSource> m_rows;
    std::uint64_t m_generation = 0;          // the table's generation when its records were read
    std::vector<std::string> m_writeColumns; // field -> column of the virtual table; empty when read-only
    std::int64_t m_position = -1;            // -1 before the first row; rowCount() after the last
    bool m_afterLast = false;
    std::int64_t m_visited = 0;
    bool m_currentDeleted = false;
    bool m_noMatch = false;
    EditMode m_editMode = EditMode::None;
    std::map<std::size_t, Value> m_buffer;
    std::string m_findCriteria;
    std::unordered_set<std::int64_t> m_findSet;
    bool m_findValid = false;
    std::vector<std::unique_ptr<TableLock>> m_locks;
};

} // namespace engine
