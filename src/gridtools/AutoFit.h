// Column auto-fit: each column is measured by a statement of its own that gives the longest values of
// its expression over the whole table part.
#pragma once

#include "engine/Error.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace engine {
class Database;
}

namespace gridtools {

// Room added to the widest text of a column, in twips.
constexpr int columnMargin = 120;

// What a column is measured by: the item's expression before its alias, or else the column's caption
// (bracketed when it needs it).
QString measuredExpression(const QString& item, const QString& caption);

// The statement that yields the 30 longest values of `expression` over `table` as the field txt.
// Both are put in exactly as given.
QString measuringStatement(const QString& expression, const QString& table);

struct ColumnToFit {
    QString expression;
    QString caption;
};

struct FitResult {
    // The new width of each column in twips; nullopt where the column keeps its width (its statement
    // failed or gave no rows).
    std::vector<std::optional<int>> widths;
    int failedColumns = 0;
    std::optional<engine::Error> firstFailure;
};

// The drawn width of a text in twips.
using TextWidth = std::function<int(const QString&)>;

// Runs each column's measuring statement on `database` and sizes the column to its widest value or
// its upper-cased caption, whichever is wider, plus the margin. A column whose statement fails is
// counted and left alone; the others are measured all the same.
FitResult fitColumns(engine::Database& database, const std::vector<ColumnToFit>& columns,
                     const QString& table, const TextWidth& textWidth);

// The one message for a run with failures: the first failure's number and description, and how many
// columns kept their width. Empty when nothing failed.
QString failureMessage(const FitResult& result);

} // namespace gridtools
