// What the grid adds to its cells: Null drawn apart from empty text, a memo's whole text in a viewer,
// and a range of cells copied with its column names.
#include "datagrid/GridCells.h"

#include "datagrid/RecordsetModel.h"

#include <QDialogButtonBox>
#include <QItemSelection>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace datagrid {

void CellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!index.data(RecordsetModel::NullRole).toBool()) return;
    option->text = QStringLiteral("Null");
    option->font.setItalic(true);
    option->features |= QStyleOptionViewItem::HasDisplay;
    const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
    option->palette.setColor(QPalette::Text, grey);
    option->palette.setColor(QPalette::HighlightedText,
                             option->palette.color(QPalette::Disabled, QPalette::HighlightedText));
}

namespace {

QString cell(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    return text;
}

} // namespace

QString copiedRange(const QAbstractItemModel& model, const QItemSelection& range) {
    if (range.isEmpty()) return {};
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const QItemSelectionRange& part : range) {
        top = std::min(top, part.top());
        bottom = std::max(bottom, part.bottom());
        left = std::min(left, part.left());
        right = std::max(right, part.right());
    }
    QString text;
    for (int c = left; c <= right; ++c)
        text += (c > left ? QStringLiteral("\t") : QString()) +
                cell(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    text += QLatin1Char('\n');
    for (int r = top; r <= bottom; ++r) {
        for (int c = left; c <= right; ++c) {
            if (c > left) text += QLatin1Char('\t');
            const QModelIndex index = model.index(r, c);
            if (range.contains(index)) text += cell(model.data(index, Qt::EditRole).toString());
        }
        text += QLatin1Char('\n');
    }
    return text;
}

MemoViewer::MemoViewer(const QModelIndex& cell, QWidget* parent)
    : QDialog(parent), m_cell(cell), m_text(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("MemoViewer"));
    const QAbstractItemModel* model = cell.model();
    setWindowTitle(model->headerData(cell.column(), Qt::Horizontal).toString() + QStringLiteral(", row ") +
                   QString::number(cell.row() + 1));
    const bool editable = model->flags(cell) & Qt::ItemIsEditable;
    m_text->setPlainText(model->data(cell, Qt::EditRole).toString());
    m_text->setReadOnly(!editable);
    auto* buttons = new QDialogButtonBox(
        editable ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_cell.isValid())
            const_cast<QAbstractItemModel*>(m_cell.model())
                ->setData(m_cell, m_text->toPlainText(), Qt::EditRole);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
    resize(560, 380);
}

} // namespace datagrid
