// What the grid adds to its cells: Null drawn apart from empty text, a memo's whole text in a viewer,
// and a range of cells copied with its column names.
#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QStyledItemDelegate>

class QAbstractItemModel;
class QItemSelection;
class QPlainTextEdit;

namespace datagrid {

// Draws a Null cell as a greyed, italic "Null"; edits and every other cell as usual.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The cells of a rectangular range as tab-separated lines, the column names first, which a spreadsheet
// pastes as columns. Tabs and line breaks inside a value become blanks.
QString copiedRange(const QAbstractItemModel& model, const QItemSelection& range);

// A memo's whole text in a window of its own: read-only, or (where the grid may change the cell)
// editable, with OK writing the text back to the cell.
class MemoViewer : public QDialog {
    Q_OBJECT

public:
    MemoViewer(const QModelIndex& cell, QWidget* parent);
    QPlainTextEdit* text() const { return m_text; }

private:
    QPersistentModelIndex m_cell;
    QPlainTextEdit* m_text;
};

} // namespace datagrid
