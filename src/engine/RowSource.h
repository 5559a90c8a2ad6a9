// The rows behind a recordset, read as they are asked for: a table by record number, the records a
// one-table select picked, or the computed rows of any other select.
#pragma once

#include "engine/Dialect.h"
#include "engine/Values.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace engine {

class Database;

struct FieldInfo {
    std::string name; // as the column header shows it
    FieldKind kind = FieldKind::Text;
    std::uint32_t size = 0; // defined width of a table field; 0 for computed columns
    int decimals = -1;      // a number field's decimals, as it shows them; -1 for computed numbers
};

// The column of a table field.
FieldInfo fieldInfo(const std::string& name, const xbase::Field& field);

// Callers hold the table's shared lock (Recordset::Reading) around every call that reads the file.
class RowSource {
public:
    virtual ~RowSource() = default;

    virtual const std::vector<FieldInfo>& fields() const = 0;
    // The table whose records the rows are, or null for rows a select computed.
    virtual std::shared_ptr<xbase::Table> table() const { return nullptr; }
    // The name of the table's virtual table, under which its records are changed; empty for computed rows.
    virtual const std::string& tableName() const;

    // Rows read so far.
    virtual std::int64_t count() const = 0;
    // Reads on until `row` is read or there are no more rows; true when the row exists.
    virtual bool fetch(std::int64_t row) = 0;
    // True once every row is read.
    virtual bool complete() const = 0;
    // How many rows there are, when that is known before they are all read.
    virtual std::optional<std::int64_t> total() const {
        if (complete()) return count();
        return std::nullopt;
    }
    // The record number behind a row of a table, nullopt for a computed row.
    virtual std::optional<std::uint32_t> record(std::int64_t row) const = 0;
    // The value of a column of a row that was read. Throws Error(BadTableFile) for a damaged value.
    virtual Value value(std::int64_t row, std::size_t column) = 0;
    // What identifies the rows a criteria (in the dialect) matches: their record numbers, or for
    // computed rows their row numbers (see key()).
    virtual std::unordered_set<std::int64_t> matching(std::string_view criteria) = 0;
    std::int64_t key(std::int64_t row) const { return record(row).value_or(static_cast<std::uint32_t>(row)); }

    // A row whose record was deleted since it was read (by the recordset or a statement).
    virtual bool gone(std::int64_t /*row*/) const { return false; }
    // The recordset deleted this row's record: it leaves the rows.
    virtual void removed(std::int64_t /*row*/) {}
    // The recordset added this record: it joins the rows at the end.
    virtual void appended(std::uint32_t /*record*/) {}
};

// The rows of a table (openTable) or of a one-table select's records (openRecords): common ground.
class TableBackedRows : public RowSource {
public:
    const std::vector<FieldInfo>& fields() const override { return m_fields; }
    std::shared_ptr<xbase::Table> table() const override { return m_table; }
    const std::string& tableName() const override { return m_name; }
    Value value(std::int64_t row, std::size_t column) override;
    std::unordered_set<std::int64_t> matching(std::string_view criteria) override;
    bool gone(std::int64_t row) const override;
    // The virtual table's column of each field, for writes.
    const std::vector<std::string>& columns() const { return m_columns; }

protected:
    TableBackedRows(Database& db, std::filesystem::path file, std::string name,
                    std::shared_ptr<xbase::Table> table)
        : m_db(db), m_file(std::move(file)), m_name(std::move(name)), m_table(std::move(table)) {}

    Database& m_db;
    std::filesystem::path m_file;
    std::string m_name;
    std::shared_ptr<xbase::Table> m_table;
    std::vector<FieldInfo> m_fields;
    std::vector<std::size_t> m_fieldOf; // column -> field of the table
    std::vector<std::string> m_columns; // column -> its name in the virtual table
};

// Every live record of a table, listed as they are asked for: a huge table is never read whole to show
// its first rows. The file, its SQLite name (attached already).
std::unique_ptr<TableBackedRows> openTableRows(Database& db, const std::filesystem::path& file,
                                               std::string name);

// The records a select over one table picked, when its top level neither groups, joins, unites nor
// computes: then its rows are records that can be changed. Null for any other select (and when the
// select cannot be run in that form).
std::unique_ptr<TableBackedRows> openRecordRows(Database& db, std::string_view select, const Translation& st,
                                                const std::filesystem::path& file);

// The computed rows of any select, all read at once.
std::unique_ptr<RowSource> openResultRows(Database& db, const Translation& st);

} // namespace engine
