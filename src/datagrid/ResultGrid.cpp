// The result grid: binding to the data source and the two-way link of current row and current record.
#include "datagrid/ResultGrid.h"

#include "datagrid/DataSource.h"
#include "datagrid/GridCells.h"
#include "datagrid/RecordsetModel.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace datagrid {

ResultGrid::ResultGrid(DataSource* source, QWidget* parent) : QTableView(parent), m_source(source) {
    setObjectName(QStringLiteral("DBGrid1"));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // A range (Shift with a click or the arrow keys) is for copying; the current cell is the record.
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setItemDelegate(new CellDelegate(this));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    // Tab and Shift+Tab leave the grid, as they leave every other control; Ctrl+Tab moves between cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    horizontalHeader()->setHighlightSections(false);
    // Row heights are all alike: a header over a million rows must not measure them.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setHighlightSections(false);

    connect(m_source, &DataSource::refreshed, this, &ResultGrid::bind);
    connect(m_source, &DataSource::aboutToClose, this, &ResultGrid::unbind);
    connect(m_source, &DataSource::currentChanged, this, &ResultGrid::followRecordset);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ResultGrid::headerClicked);
    if (m_source->recordset()) bind();
}

ResultGrid::~ResultGrid() {
    setGridModel(nullptr);
}

int ResultGrid::columnCount() const {
    return m_model ? m_model->columnCount() : 0;
}

QString ResultGrid::columnCaption(int column) const {
    return m_model ? m_model->columnCaption(column) : QString();
}

void ResultGrid::setAllowUpdate(bool allow) {
    m_allowUpdate = allow;
    if (m_model) m_model->setAllowUpdate(allow);
}

void ResultGrid::setGridModel(RecordsetModel* model) {
    RecordsetModel* old = m_model;
    QItemSelectionModel* oldSelection = selectionModel();
    {
        QScopedValueRollback<bool> guard(m_following, true);
        m_model = model;
        setModel(model);
    }
    // The view replaces its selection model with the model but leaves the old one to us.
    if (oldSelection && oldSelection != selectionModel()) oldSelection->deleteLater();
    if (old) {
        old->release();
        old->deleteLater();
    }
}

void ResultGrid::bind() {
    auto* model = new RecordsetModel(m_source->recordset(), this);
    model->setAllowUpdate(m_allowUpdate);
    connect(model, &RecordsetModel::editFailed, this, &ResultGrid::editFailed);
    connect(model, &RecordsetModel::readFailed, this, &ResultGrid::readFailed);
    setGridModel(model);
    // A new result is in the order its statement gives; whoever sorts it shows the indicator again.
    horizontalHeader()->setSortIndicatorShown(false);
    followRecordset();
}

void ResultGrid::unbind() {
    // Setting a model closes an open editor without committing it to the closing recordset.
    setGridModel(nullptr);
}

void ResultGrid::followRecordset() {
    if (!m_model || !m_model->recordset()) return;
    m_model->sync();
    const std::int64_t position = m_model->recordset()->absolutePosition();
    if (position < 0 || position >= m_model->rowCount()) return;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex target = m_model->index(static_cast<int>(position), column);
    if (target == currentIndex()) return;
    QScopedValueRollback<bool> guard(m_following, true);
    setCurrentIndex(target);
    scrollTo(target);
}

bool ResultGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A double-click on a memo shows its whole text in a window rather than a one-line editor.
    if (trigger == DoubleClicked && index.isValid() && index.data(RecordsetModel::MemoRole).toBool()) {
        auto* viewer = new MemoViewer(index, this);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->open();
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

void ResultGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) && m_model) {
        QItemSelection range = selectionModel()->selection();
        if (range.isEmpty() && currentIndex().isValid()) range.select(currentIndex(), currentIndex());
        if (!range.isEmpty()) QGuiApplication::clipboard()->setText(copiedRange(*m_model, range));
        event->accept();
        return;
    }
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        const QModelIndex next = moveCursor(back ? MovePrevious : MoveNext, event->modifiers());
        if (next.isValid()) setCurrentIndex(next);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (m_following || !m_model || !current.isValid()) return;
    engine::Recordset* rs = m_model->recordset();
    if (!rs || rs->absolutePosition() == current.row()) return;
    try {
        m_source->setAbsolutePosition(current.row());
    } catch (const engine::Error& e) {
        emit moveFailed(QString::fromStdString(e.description()));
    }
}

} // namespace datagrid
