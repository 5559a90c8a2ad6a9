// Rebuilt statements for header sorting, Sort and Filter, and the search for the next matching row.
#include "gridtools/Sorting.h"

#include "datagrid/DataSource.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

namespace gridtools {

namespace {

const QString selectAllFrom = QStringLiteral("select * from ");
const QString ascending = QStringLiteral(" asc");
const QString descending = QStringLiteral(" desc");

std::optional<QString> wholeTable(const QString& table, const QString& connector, const QString& expression) {
    if (expression.isEmpty()) {
        if (table.isEmpty()) return std::nullopt;
        return selectAllFrom + table;
    }
    return selectAllFrom + table + connector + expression;
}

} // namespace

std::optional<QString> headerSortSource(const CurrentStatement& current, int column, const QString& caption,
                                        SortState& state) {
    const QString item = columnItem(current, column);
    const QString expression = aliasedExpression(item);
    state.sortExp = expression.isEmpty() ? item : expression;
    if (state.sortExp.trimmed().isEmpty()) state.sortExp = bracketName(caption);

    const QString table = tablePart(current);
    if (state.sortExp.isEmpty()) {
        if (table.isEmpty()) return std::nullopt;
        state.oldSortExp = state.sortExp;
        return selectAllFrom + table;
    }

    const QString list = current.fldCount >= 1
                             ? current.fldExp.mid(0, current.fldCount).join(QLatin1Char(','))
                             : QStringLiteral("*");
    if (state.sortExp == state.oldSortExp)
        state.sortMet = state.sortMet == ascending ? descending : ascending;
    else
        state.sortMet = ascending;
    state.oldSortExp = state.sortExp;
    return QStringLiteral("select ") + list + QStringLiteral(" from ") + table +
           QStringLiteral(" order by ") + state.sortExp + state.sortMet;
}

std::optional<QString> sortSource(const QString& table, const QString& expression) {
    return wholeTable(table, QStringLiteral(" order by "), expression);
}

std::optional<QString> filterSource(const QString& table, const QString& expression) {
    return wholeTable(table, QStringLiteral(" where "), expression);
}

bool findNext(datagrid::DataSource& data, const QString& criteria) {
    engine::Recordset* rows = data.recordset();
    if (!rows) return false; // nothing shown: nothing to find
    rows->findNext(criteria.toStdString());
    if (rows->noMatch()) return false;
    data.notifyCurrentChanged();
    return true;
}

} // namespace gridtools
