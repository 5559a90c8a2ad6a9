// The records a one-table select picked: run once for their record numbers, their values read from the
// table as they are asked for, so that the rows can be changed.
#include "engine/Database.h"
#include "engine/Folder.h"
#include "engine/RowSource.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "engine/TopTies.h"

#include <algorithm>
#include <sqlite3.h>

namespace engine {

namespace {

// Whether the select's top level keeps its rows one to one with records of its one table.
bool picksRecords(std::string_view select, const Translation& st) {
    if (st.tables.size() != 1) return false;
    int depth = 0;
    for (const auto& t : sql::tokenize(select)) {
        if (t.isSymbol("("))
            ++depth;
        else if (t.isSymbol(")"))
            --depth;
        else if (depth == 0 && (t.isWord("distinct") || t.isWord("group") || t.isWord("union") ||
                                t.isWord("having") || t.isWord("transform") || t.isWord("join")))
            return false;
    }
    return true;
}

// The translated select with the record number as an extra first column, under a name no column of
// the table takes (a field may be called ROWID); nullopt when the select has no plain SELECT head.
std::optional<std::string> withRecordNumber(const std::string& translated,
                                            const std::vector<std::string>& names) {
    if (translated.rfind("SELECT ", 0) != 0) return std::nullopt;
    for (const char* rowid : {"rowid", "_rowid_", "oid"}) {
        const bool taken = std::any_of(names.begin(), names.end(),
                                       [&](const std::string& n) { return sql::equalsIgnoreCase(n, rowid); });
        if (!taken) return "SELECT " + std::string(rowid) + " AS \"__recno\", " + translated.substr(7);
    }
    return std::nullopt;
}

// A sorted select read in two steps: its first rows by a select that keeps only the smallest keys, its
// number of rows by a count that needs no sort, and the whole order only once a later row is asked for.
// The record number ends the sort keys, so that ties come in one order in both.
struct SortedInSteps {
    std::string head;  // the first rows in order
    std::string rest;  // every row in order
    std::string count; // the number of rows
};

// The record numbers a select of "__recno" alone gives, in its order.
std::vector<std::uint32_t> recordsOf(Statement& select, std::size_t expected = 0) {
    std::vector<std::uint32_t> records;
    records.reserve(expected);
    while (select.step())
        records.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(select.handle(), 0) - 1));
    return records;
}

// Rows the first step reads: more than a screen holds.
constexpr std::int64_t kFirstRows = 1000;

// The steps for a select with the record number as its "__recno" column; nullopt when its top level
// does not end in an ORDER BY (or goes on with a LIMIT), and it is read in one go.
std::optional<SortedInSteps> sortedInSteps(const std::string& numbered) {
    const auto tokens = sql::tokenize(numbered);
    std::optional<std::size_t> order;
    int depth = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const auto& t = tokens[i];
        if (t.kind == sql::TokenKind::Error) return std::nullopt;
        if (t.isSymbol("("))
            ++depth;
        else if (t.isSymbol(")"))
            --depth;
        else if (depth == 0 && (t.isWord("limit") || t.isWord("offset") || t.isSymbol(";")))
            return std::nullopt;
        else if (depth == 0 && t.isWord("order") && i + 1 < tokens.size() && tokens[i + 1].isWord("by"))
            order = t.begin;
    }
    if (!order) return std::nullopt;
    const std::string ordered = numbered + ", \"__recno\"";
    return SortedInSteps{"SELECT \"__recno\" FROM (" + ordered + " LIMIT " + std::to_string(kFirstRows) + ")",
                         "SELECT \"__recno\" FROM (" + ordered + ")",
                         "SELECT count(*) FROM (" + numbered.substr(0, *order) + ")"};
}

class RecordRows final : public TableBackedRows {
public:
    RecordRows(Database& db, const std::filesystem::path& file, std::string name)
        : TableBackedRows(db, file, std::move(name), db.files().table(file)) {}

    // Takes the columns of a prepared select (its own, not the sort keys TOP's ties add); false when one
    // of them is not a field of the table.
    bool takeColumns(Statement& select, const TopTies& ties) {
        sqlite3_stmt* s = select.handle();
        const auto names = columnNames(*m_table);
        const int columns = ties.shownColumns(select.columnCount());
        m_fields.clear();
        m_fieldOf.clear();
        m_columns.clear();
        if (columns < 2) return false;
        for (int i = 1; i < columns; ++i) {
            const char* origin = sqlite3_column_origin_name(s, i);
            const char* from = sqlite3_column_table_name(s, i);
            if (!origin || !from || m_name != from) return false;
            // The record number itself ([rowid]) comes from the table but is no field to write.
            const auto at = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
                return sql::equalsIgnoreCase(n, origin);
            });
            if (at == names.end()) return false;
            const std::size_t field = m_table->visibleFields()[static_cast<std::size_t>(at - names.begin())];
            const auto& f = m_table->fields()[field];
            m_fields.push_back(fieldInfo(sqlite3_column_name(s, i), f));
            m_fieldOf.push_back(field);
            m_columns.push_back(*at);
        }
        return true;
    }

    // Reads the record numbers; a TOP that keeps ties stops at the first row that does not tie. Returns
    // the rows read.
    std::int64_t read(Statement& select, TopTies& ties) {
        const Folder::Handling passing(m_db.files(), Folder::Unreadable::Pass);
        m_records.clear();
        while (select.step() && ties.keep(select.handle(), static_cast<std::int64_t>(m_records.size())))
            m_records.push_back(static_cast<std::uint32_t>(sqlite3_column_int64(select.handle(), 0) - 1));
        return static_cast<std::int64_t>(m_records.size());
    }

    // Reads the first rows of a sort, and how many rows there are; the rest waits for fetch().
    void readInSteps(SortedInSteps steps) {
        Statement head(m_db, steps.head);
        m_records = recordsOf(head);
        if (count() < kFirstRows) return;
        Statement counting(m_db, steps.count);
        m_total = counting.step() ? sqlite3_column_int64(counting.handle(), 0) : count();
        if (*m_total > count()) m_rest = std::move(steps.rest);
    }

    std::int64_t count() const override { return static_cast<std::int64_t>(m_records.size()); }
    bool fetch(std::int64_t row) override {
        if (row >= count() && m_rest) readRest();
        return row < count();
    }
    bool complete() const override { return !m_rest; }
    std::optional<std::int64_t> total() const override {
        if (m_rest) return m_total;
        return count();
    }
    std::optional<std::uint32_t> record(std::int64_t row) const override {
        return m_records[static_cast<std::size_t>(row)];
    }
    void removed(std::int64_t row) override {
        m_records.erase(m_records.begin() + row);
        if (m_total) --*m_total;
    }
    void appended(std::uint32_t r) override {
        // A new record comes after the rows of the result, not where the sort would put it.
        if (m_rest) {
            readRest();
            std::erase(m_records, r);
        }
        m_records.push_back(r);
    }

private:
    void readRest() {
        const Folder::Handling passing(m_db.files(), Folder::Unreadable::Pass);
        Statement rest(m_db, *m_rest);
        m_records = recordsOf(rest, static_cast<std::size_t>(m_total.value_or(0)));
        m_rest.reset();
    }

    std::vector<std::uint32_t> m_records;
    std::optional<std::string> m_rest; // the select that reads every row, until it ran
    std::optional<std::int64_t> m_total;
};

} // namespace

std::unique_ptr<TableBackedRows> openRecordRows(Database& db, std::string_view select, const Translation& st,
                                                const std::filesystem::path& file) {
    if (!picksRecords(select, st)) return nullptr;
    auto rows = std::make_unique<RecordRows>(db, file, sql::asciiLower(stripDbfExtension(st.tables[0])));
    Translation plain = st;
    plain.tiesSql.clear();
    auto ties = std::make_unique<TopTies>(st);
    std::optional<Statement> prepared;
    const auto prepare = [&] {
        const auto sql = withRecordNumber(ties->sql(), columnNames(*rows->table()));
        prepared = sql ? Statement::tryPrepare(db, *sql) : std::nullopt;
        return prepared && rows->takeColumns(*prepared, *ties);
    };
    if (!prepare()) {
        // A sort key that names a column of the result by its alias cannot be a column itself: then TOP
        // takes n rows.
        if (!ties->active()) return nullptr;
        ties = std::make_unique<TopTies>(plain);
        if (!prepare()) return nullptr;
    }
    if (!ties->active()) {
        const auto numbered = withRecordNumber(ties->sql(), columnNames(*rows->table()));
        if (auto steps = numbered ? sortedInSteps(*numbered) : std::nullopt) {
            const Folder::Handling passing(db.files(), Folder::Unreadable::Pass);
            rows->readInSteps(std::move(*steps));
            return rows;
        }
    }
    while (rows->read(*prepared, *ties) > 0 && ties->retry(rows->count()))
        if (!prepare()) return nullptr;
    return rows;
}

} // namespace engine
