// Column auto-fit: the measuring statements and the widths taken from their rows.
#include "gridtools/AutoFit.h"

#include "datagrid/ValueText.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "gridtools/CurrentStatement.h"

#include <algorithm>

namespace gridtools {

QString measuredExpression(const QString& item, const QString& caption) {
    const QString expression = aliasedExpression(item);
    return expression.isEmpty() ? bracketName(caption) : expression;
}

QString measuringStatement(const QString& expression, const QString& table) {
    return QStringLiteral("select top 30 len(trim(str(") + expression + QStringLiteral("))) as duz,") +
           expression + QStringLiteral(" as txt from (") + table + QStringLiteral(") order by len (") +
           expression + QStringLiteral(") desc");
}

namespace {

// The column's width in twips, or nullopt when its statement gave no rows.
std::optional<int> measure(engine::Database& database, const ColumnToFit& column, const QString& table,
                           const TextWidth& textWidth) {
    const std::unique_ptr<engine::Recordset> rows =
        database.openRecordset(measuringStatement(column.expression, table).toStdString());
    if (rows->recordCount() == 0 && rows->eof()) return std::nullopt;
    const std::size_t txt = rows->fieldIndex("txt");
    int widest = 0;
    for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
        const engine::Value value = rows->value(txt);
        // The text as the grid shows it is what has to fit.
        if (!xbase::isNull(value))
            widest = std::max(widest,
                              textWidth(datagrid::displayText(value, QLocale(), rows->field(txt).decimals)));
    }
    // A logical column shows True and False whichever of them its longest stored values are.
    if (rows->field(txt).kind == engine::FieldKind::Logical)
        widest = std::max({widest, textWidth(QStringLiteral("True")), textWidth(QStringLiteral("False"))});
    widest = std::max(widest, textWidth(column.caption.toUpper()));
    return widest + columnMargin;
}

} // namespace

FitResult fitColumns(engine::Database& database, const std::vector<ColumnToFit>& columns,
                     const QString& table, const TextWidth& textWidth) {
    FitResult result;
    result.widths.reserve(columns.size());
    for (const ColumnToFit& column : columns) {
        std::optional<int> width;
        try {
            width = measure(database, column, table, textWidth);
        } catch (const engine::Error& error) {
            ++result.failedColumns;
            if (!result.firstFailure) result.firstFailure = error;
        }
        result.widths.push_back(width);
    }
    return result;
}

QString failureMessage(const FitResult& result) {
    if (!result.firstFailure) return {};
    const QString count = result.failedColumns == 1
                              ? QStringLiteral("1 column kept its width.")
                              : QStringLiteral("%1 columns kept their widths.").arg(result.failedColumns);
    return QString::number(result.firstFailure->number()) + QLatin1Char(' ') +
           QString::fromStdString(result.firstFailure->description()) + QLatin1Char('\n') + count;
}

} // namespace gridtools
