// The statements that header sorting, Sort and Filter bind to the grid, and Search's move to the
// next matching row.
#pragma once

#include "gridtools/CurrentStatement.h"

#include <QString>
#include <optional>

namespace datagrid {
class DataSource;
}

namespace gridtools {

// The window's sort state: the expression sorted by, its direction (" asc" or " desc", with the
// leading blank) and the expression of the previous header click.
struct SortState {
    QString sortExp;
    QString sortMet;
    QString oldSortExp;
};

// A click on the header of a column showing `caption`, over the result of `source` (the statement or
// table Data1 shows). Updates the state as the click does (the same column again turns the direction,
// another column sorts ascending) and returns the record source to bind: the same statement with only
// its ORDER BY replaced, so that its select list, FROM, WHERE, GROUP BY, HAVING and TOP stay; a table
// shown whole becomes "select * from" it, which stays editable. nullopt when the result cannot be sorted
// so (a crosstab, nothing shown).
std::optional<QString> headerSortSource(const QString& source, const QString& caption, SortState& state);

// Sort and Filter: every field of the whole table, ordered by `expression` or limited by it, which
// is put in as typed. An empty expression gives the whole table as it is; nullopt when it is empty
// and there is no table either.
std::optional<QString> sortSource(const QString& table, const QString& expression);
std::optional<QString> filterSource(const QString& table, const QString& expression);

// Moves the data source's recordset to the next row after the current one that meets `criteria`,
// and tells the grid. Returns false, leaving the current row where it was, when no later row does.
// Throws engine::Error for criteria the engine refuses and when nothing is open.
bool findNext(datagrid::DataSource& data, const QString& criteria);

} // namespace gridtools
