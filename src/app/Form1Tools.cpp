// Form1: sorting by a column header, the Sort, Filter and Search commands, and column auto-fit.
#include "app/Form1.h"
#include "datagrid/DataSource.h"
#include "datagrid/ResultGrid.h"
#include "engine/Database.h"
#include "engine/Error.h"
#include "gridtools/AutoFit.h"
#include "gridtools/CurrentStatement.h"
#include "gridtools/Sorting.h"
#include "platform/BusyPointer.h"
#include "platform/Dialogs.h"
#include "platform/Twips.h"

#include <QHeaderView>
#include <algorithm>
#include <filesystem>

namespace app {

namespace {

gridtools::CurrentStatement currentStatement(const Form1& form) {
    gridtools::CurrentStatement current;
    current.fldExp = form.fldExp();
    current.fldCount = form.FldCount;
    current.tabela = form.Tabela.toString();
    // Opening a table from the file list empties the select list; a select always records one.
    current.openedTable = form.fldExp().isEmpty();
    return current;
}

} // namespace

bool Form1::resultShown() {
    if (m_data1->recordset()) return true;
    m_dialogs.message(QStringLiteral("Open a table or run a select first."));
    return false;
}

void Form1::bindSource(const QString& source) {
    platform::BusyPointer busy(m_dialogs);
    m_data1->setRecordSource(source);
    step([&] { m_data1->refresh(); });
    step([&] { m_data1->completeCount(); });
}

void Form1::sortByColumn(int column) {
    // The first click on a new result sorts ascending.
    if (m_data1->recordSource() != m_headerSorted) OldSortExp = QString();
    gridtools::SortState state{SortExp.toString(), SortMet.toString(), OldSortExp.toString()};
    const std::optional<QString> source =
        gridtools::headerSortSource(m_data1->recordSource(), m_grid->columnCaption(column), state);
    if (!source) return;
    SortExp = state.sortExp;
    SortMet = state.sortMet;
    OldSortExp = state.oldSortExp;
    bindSource(*source);
    m_headerSorted = *source;
    // The header shows which column the rows are sorted by, and which way.
    if (m_data1->recordset() && column < m_grid->columnCount()) {
        m_grid->horizontalHeader()->setSortIndicatorShown(true);
        m_grid->horizontalHeader()->setSortIndicator(column, state.sortMet.trimmed() == QLatin1String("desc")
                                                                 ? Qt::DescendingOrder
                                                                 : Qt::AscendingOrder);
    }
}

void Form1::sortCommand() {
    if (!resultShown()) return;
    SortExp =
        m_dialogs.prompt(QStringLiteral("Sort by field :"), QStringLiteral("SORT:"), SortExp.toString());
    const gridtools::CurrentStatement current = currentStatement(*this);
    if (const std::optional<QString> source =
            gridtools::sortSource(gridtools::tablePart(current), SortExp.toString()))
        bindSource(*source);
}

void Form1::filterCommand() {
    if (!resultShown()) return;
    FilterExp = m_dialogs.prompt(QStringLiteral("Filter [field] [expression] [value] :"),
                                 QStringLiteral("FILTER:"), FilterExp.toString());
    const gridtools::CurrentStatement current = currentStatement(*this);
    if (const std::optional<QString> source =
            gridtools::filterSource(gridtools::tablePart(current), FilterExp.toString()))
        bindSource(*source);
}

void Form1::searchCommand() {
    if (!resultShown()) return;
    SearchExp = m_dialogs.prompt(QStringLiteral("Search [field] [expression] [value] :"),
                                 QStringLiteral("FIND NEXT:"), SearchExp.toString());
    const QString criteria = SearchExp.toString();
    if (criteria.isEmpty()) return;
    // A condition the engine refuses is reported as such, not also as a row not found.
    bool found = true;
    if (!step([&] { found = gridtools::findNext(*m_data1, criteria); })) return;
    if (!found) m_dialogs.message(QStringLiteral("Record not found"));
}

void Form1::autofitColumns() {
    const int count = m_grid->columnCount();
    if (count == 0) return;
    platform::BusyPointer busy(m_dialogs);
    const gridtools::CurrentStatement current = currentStatement(*this);
    std::vector<gridtools::ColumnToFit> columns;
    for (int i = 0; i < count; ++i) {
        const QString caption = m_grid->columnCaption(i);
        columns.push_back(
            {gridtools::measuredExpression(gridtools::columnItem(current, i), caption), caption});
    }

    gridtools::FitResult result;
    try {
        // Each measuring statement's TOP 30 takes 30 of the longest values: with the rows that tie with
        // the 30th, a column of values of one length would be measured whole.
        engine::Database database(std::filesystem::path(m_data1->databaseName().toStdString()),
                                  {.topKeepsTies = false});
        result = gridtools::fitColumns(
            database, columns, gridtools::tablePart(current),
            [this](const QString& text) { return platform::Twips::textWidth(*this, text); });
    } catch (const engine::Error& error) {
        // Without the database no column can be measured.
        result.failedColumns = count;
        result.firstFailure = error;
    }

    const platform::Twips twips = platform::Twips::of(*m_grid);
    // A long memo gets at most half the grid, so that the other columns stay in view.
    const int widest = std::max(m_grid->viewport()->width() / 2, 1);
    for (int i = 0; i < count && i < int(result.widths.size()); ++i)
        if (result.widths[std::size_t(i)])
            m_grid->setColumnWidth(i, std::min(twips.twipsToPixels(*result.widths[std::size_t(i)]), widest));
    if (result.firstFailure) m_dialogs.message(gridtools::failureMessage(result));
}

} // namespace app
