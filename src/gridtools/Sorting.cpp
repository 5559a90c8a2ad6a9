// Rebuilt statements for header sorting, Sort and Filter, and the search for the next matching row.
#include "gridtools/Sorting.h"

#include "datagrid/DataSource.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "engine/SqlLexer.h"

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

std::optional<QString> headerSortSource(const QString& source, const QString& caption, SortState& state) {
    if (source.trimmed().isEmpty() || caption.isEmpty()) return std::nullopt;
    const std::string text = source.toStdString();
    const auto tokens = engine::sql::tokenize(text);
    if (tokens.empty() || tokens[0].isWord("transform")) return std::nullopt;
    QString statement;
    if (tokens[0].isWord("select") || tokens[0].isWord("parameters") || tokens[0].isSymbol("(")) {
        // The statement up to its own ORDER BY: the first ORDER outside parentheses.
        std::size_t end = text.size();
        int depth = 0;
        for (const auto& t : tokens) {
            depth += t.isSymbol("(") ? 1 : t.isSymbol(")") ? -1 : 0;
            if (depth == 0 && (t.isWord("order") || t.isSymbol(";"))) {
                end = t.begin;
                break;
            }
        }
        statement = QString::fromStdString(text.substr(0, end)).trimmed();
    } else {
        statement = selectAllFrom + bracketName(source.trimmed());
    }
    state.sortExp = bracketName(caption);
    if (state.sortExp == state.oldSortExp)
        state.sortMet = state.sortMet == ascending ? descending : ascending;
    else
        state.sortMet = ascending;
    state.oldSortExp = state.sortExp;
    return statement + QStringLiteral(" order by ") + state.sortExp + state.sortMet;
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
