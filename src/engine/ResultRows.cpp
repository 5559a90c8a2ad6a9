// The rows a select computed (grouped, joined, united, ...), read whole when it opens.
#include "engine/Database.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/RowSource.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "engine/TopTies.h"

#include <sqlite3.h>

namespace engine {

namespace {

FieldKind kindOfValue(const Value& v) {
    if (std::holds_alternative<std::int64_t>(v)) return FieldKind::Integer;
    if (std::holds_alternative<double>(v)) return FieldKind::Real;
    if (std::holds_alternative<xbase::Bytes>(v)) return FieldKind::Binary;
    return FieldKind::Text;
}

class ResultRows final : public RowSource {
public:
    ResultRows(Database& db, const Translation& st) : m_db(db) {
        TopTies ties(st);
        Translation run = st;
        try {
            do {
                run.sql = ties.sql();
                read(db.prepare(run), st, ties);
            } while (ties.retry(m_read));
            return;
        } catch (const Error&) {
            if (!ties.active()) throw;
        }
        // A sort key that names a column of the result by its alias cannot be a column itself: then TOP
        // takes n rows.
        run.sql = st.sql;
        run.tiesSql.clear();
        TopTies none(run);
        read(db.prepare(run), st, none);
    }

    const std::vector<FieldInfo>& fields() const override { return m_fields; }
    std::int64_t count() const override { return static_cast<std::int64_t>(m_rows.size()); }
    bool fetch(std::int64_t row) override { return row < count(); }
    bool complete() const override { return true; }
    std::optional<std::uint32_t> record(std::int64_t) const override { return std::nullopt; }
    Value value(std::int64_t row, std::size_t column) override {
        return m_rows[static_cast<std::size_t>(row)][column];
    }

    // The rows go into a scratch table, so that the criteria can name the result's columns.
    std::unordered_set<std::int64_t> matching(std::string_view criteria) override {
        Statement(m_db, "DROP TABLE IF EXISTS temp.\"__find\"").run();
        std::string create = "CREATE TEMP TABLE \"__find\"(\"__row\" INTEGER";
        std::string insert = "INSERT INTO temp.\"__find\" VALUES(?";
        for (const auto& f : m_fields) {
            create += ", " + sql::quoteIdentifier(f.name) +
                      (f.kind == FieldKind::Text || f.kind == FieldKind::Memo ? " TEXT COLLATE DBTEXT" : "");
            insert += ",?";
        }
        Statement(m_db, create + ")").run();
        Statement fill(m_db, insert + ")");
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            fill.bind(1, static_cast<std::int64_t>(r));
            for (std::size_t c = 0; c < m_fields.size(); ++c)
                fill.bind(static_cast<int>(c) + 2, m_rows[r][c]);
            fill.run();
            fill.reset();
        }
        const Translation st = translate("SELECT [__row] FROM [__find] WHERE " + std::string(criteria));
        Statement select(m_db, st.sql);
        std::unordered_set<std::int64_t> rows;
        while (select.step())
            rows.insert(sqlite3_column_int64(select.handle(), 0));
        return rows;
    }

private:
    // Reads the rows of the select; a TOP that keeps ties stops at the first row that does not tie.
    void read(Statement select, const Translation& st, TopTies& ties) {
        m_fields.clear();
        m_rows.clear();
        m_read = 0;
        sqlite3_stmt* s = select.handle();
        const int columns = ties.shownColumns(select.columnCount());
        std::vector<bool> typed(static_cast<std::size_t>(columns));
        std::vector<ComputedKind> computed(static_cast<std::size_t>(columns), ComputedKind::Unknown);
        for (int i = 0; i < columns; ++i) {
            FieldInfo info{sqlite3_column_name(s, i), FieldKind::Text, 0};
            if (const char* declared = sqlite3_column_decltype(s, i)) {
                info.kind = kindOfDeclaredType(declared);
                info.decimals = decimalsOfDeclaredType(declared);
                typed[static_cast<std::size_t>(i)] = true;
            } else if (const auto it = st.computedKinds.find(info.name); it != st.computedKinds.end()) {
                computed[static_cast<std::size_t>(i)] = it->second;
                // Text stays text however it looks (CStr of a date, a Format, a literal).
                typed[static_cast<std::size_t>(i)] = it->second == ComputedKind::Text;
            }
            m_fields.push_back(info);
        }
        while (select.step() && ties.keep(s, m_read)) {
            ++m_read;
            std::vector<Value> row;
            row.reserve(static_cast<std::size_t>(columns));
            for (int i = 0; i < columns; ++i) {
                auto& info = m_fields[static_cast<std::size_t>(i)];
                row.push_back(columnValue(s, i, info.kind));
                if (typed[static_cast<std::size_t>(i)] || xbase::isNull(row.back())) continue;
                // A computed date (Max of a date field, a #date# literal) is ISO text in SQL; only an
                // expression that may be a date is read as one.
                const auto kind = computed[static_cast<std::size_t>(i)];
                auto text = std::get_if<std::string>(&row.back());
                if (text && (kind == ComputedKind::Date || kind == ComputedKind::Unknown)) {
                    xbase::DateTime dt;
                    bool hasTime = false;
                    if (parseIso(*text, dt, hasTime)) {
                        info.kind = hasTime ? FieldKind::DateTime : FieldKind::Date;
                        row.back() = columnValue(s, i, info.kind);
                    }
                }
                info.kind = kindOfValue(row.back()); // a computed column takes the kind of its first value
                typed[static_cast<std::size_t>(i)] = true;
            }
            m_rows.push_back(std::move(row));
        }
    }

    Database& m_db;
    std::int64_t m_read = 0; // rows of the select read (and kept)
    std::vector<FieldInfo> m_fields;
    std::vector<std::vector<Value>> m_rows;
};

} // namespace

std::unique_ptr<RowSource> openResultRows(Database& db, const Translation& st) {
    return std::make_unique<ResultRows>(db, st);
}

} // namespace engine
