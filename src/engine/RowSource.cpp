// What the rows that are records of a table have in common: values by record, searches by record
// number, records deleted since they were read.
#include "engine/RowSource.h"

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "xbase/Error.h"

namespace engine {

FieldInfo fieldInfo(const std::string& name, const xbase::Field& field) {
    const char* declared = declaredType(field);
    return {name, kindOfDeclaredType(declared), field.length, decimalsOfDeclaredType(declared)};
}

const std::string& RowSource::tableName() const {
    static const std::string none;
    return none;
}

Value TableBackedRows::value(std::int64_t row, std::size_t column) {
    try {
        return m_table->value(*record(row), m_fieldOf[column]);
    } catch (const xbase::Error& e) {
        if (e.kind() == xbase::ErrorKind::Changed) throw fromFileError(e);
        throw Error(ErrorNumber::BadTableFile, "Record " + std::to_string(*record(row) + 1) + ", field '" +
                                                   m_fields[column].name + "': " + e.what());
    }
}

std::unordered_set<std::int64_t> TableBackedRows::matching(std::string_view criteria) {
    m_db.attach(m_file, m_name); // again: a statement may have replaced it since
    const Translation st =
        m_db.translated("SELECT [rowid] FROM [" + m_name + "] WHERE " + std::string(criteria));
    Statement select(m_db, st.sql);
    std::unordered_set<std::int64_t> records;
    while (select.step())
        records.insert(sqlite3_column_int64(select.handle(), 0) - 1);
    return records;
}

bool TableBackedRows::gone(std::int64_t row) const {
    const std::uint32_t r = *record(row);
    return r >= m_table->recordCount() || m_table->isDeleted(r);
}

} // namespace engine
