// The parts of the current statement the grid tools rebuild statements from, and names made fit to
// stand in those statements.
#pragma once

#include <QString>
#include <QStringList>

namespace gridtools {

// What the window recorded of the statement shown (FldExp, FldCount, Tabela).
struct CurrentStatement {
    // Entries past those of the current statement may still hold items of an older one.
    QStringList fldExp;
    // Items recorded; below 1 means that the statement recorded one item (at index 0) or none.
    int fldCount = 0;
    QString tabela;
    // Tabela is the name of a table opened from the file list, not the table part of a statement.
    bool openedTable = false;
};

// The select-list item behind a grid column, or the empty text when the current statement has none
// there: only its own items count, and `*`, `table.*` and anything after them do not line up with the
// grid's columns.
QString columnItem(const CurrentStatement& current, int column);

// The expression of an item up to and including the blank before its alias marker AS ("price AS p"
// gives "price "); the empty text when the item has no alias.
QString aliasedExpression(const QString& item);

// The name between [ and ] when the dialect would not read it as one plain name (a blank, a leading
// digit, punctuation, or one of its words such as ORDER or DESC); otherwise the name as it is.
QString bracketName(const QString& name);

// The table part a rebuilt statement reads from: a statement's table part as typed, or the name of a
// table opened from the file list, bracketed when it needs it.
QString tablePart(const CurrentStatement& current);

} // namespace gridtools
