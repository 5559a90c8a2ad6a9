// The grid's model: rows and counts from the recordset, texts of the shown rows cached, edits written
// through the recordset.
#include "datagrid/RecordsetModel.h"

#include "datagrid/ValueText.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <QTimer>
#include <algorithm>
#include <climits>

namespace datagrid {

namespace {

int clampRows(std::int64_t rows) {
    return static_cast<int>(std::clamp<std::int64_t>(rows, 0, INT_MAX));
}

// The rows the grid shows: all of a result whose number is known (a sort, whose rows past the first
// ones are read when they are painted), else those read so far.
std::int64_t knownRows(const engine::Recordset& rs) {
    return rs.total().value_or(rs.fetchedCount());
}

} // namespace

RecordsetModel::RecordsetModel(engine::Recordset* recordset, QObject* parent)
    : QAbstractTableModel(parent), m_recordset(recordset) {
    if (m_recordset) m_rows = clampRows(knownRows(*m_recordset));
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_recordset) return 0;
    return static_cast<int>(m_recordset->fieldCount());
}

QString RecordsetModel::columnCaption(int column) const {
    if (column < 0 || column >= columnCount()) return {};
    return QString::fromStdString(m_recordset->field(static_cast<std::size_t>(column)).name);
}

void RecordsetModel::setAllowUpdate(bool allow) {
    if (allow == m_allowUpdate) return;
    m_allowUpdate = allow;
    if (m_rows > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

const CachedRow* RecordsetModel::row(int r) const {
    if (const CachedRow* held = m_cache.find(r)) return held;
    // A row can vanish under the model (deleted through the recordset) until the next sync().
    if (r >= knownRows(*m_recordset)) return nullptr;
    CachedRow values;
    const std::size_t fields = m_recordset->fieldCount();
    values.texts.resize(fields);
    values.nulls.assign(fields, false);
    // While another program holds the table, rows not read yet say so without trying again at once: a
    // grid that paints must not wait for every cell.
    if (std::chrono::steady_clock::now() < m_lockedUntil) {
        values.texts.assign(fields, QStringLiteral("#Error"));
        values.errors.assign(fields, m_lockedMessage);
        m_uncached = std::move(values);
        return &m_uncached;
    }
    bool passing = false;
    try {
        // One hold of the table's lock for the whole row, waited for briefly.
        const engine::Recordset::Reading reading(*m_recordset, LockWait);
        for (std::size_t f = 0; f < fields; ++f) {
            try {
                const engine::Value value = m_recordset->valueAt(r, f);
                values.nulls[f] = xbase::isNull(value);
                values.texts[f] = displayText(value, QLocale(), m_recordset->field(f).decimals);
            } catch (const engine::Error& e) {
                if (e.number() == engine::DataChanged) throw;
                // A damaged record shows what it can; the cell says why it cannot.
                passing = passing || e.number() == engine::CouldNotReadLocked;
                values.errors.resize(fields);
                values.texts[f] = QStringLiteral("#Error");
                values.errors[f] = QString::fromStdString(e.what());
            }
        }
    } catch (const engine::Error& e) {
        if (e.number() == engine::DataChanged) {
            failed(e);
            return nullptr;
        }
        // The table could not be read at all just now: every cell says why, and the rows are read again
        // a little later.
        m_lockedMessage = QString::fromStdString(e.what());
        m_lockedUntil = std::chrono::steady_clock::now() + RetryAfter;
        QTimer::singleShot(RetryAfter, const_cast<RecordsetModel*>(this), [this] {
            if (m_recordset && m_rows > 0 && columnCount() > 0)
                emit const_cast<RecordsetModel*>(this)->dataChanged(index(0, 0),
                                                                    index(m_rows - 1, columnCount() - 1));
        });
        values.errors.assign(fields, m_lockedMessage);
        values.texts.assign(fields, QStringLiteral("#Error"));
        passing = true;
    }
    if (passing) {
        m_uncached = std::move(values);
        return &m_uncached;
    }
    return &m_cache.insert(r, std::move(values));
}

void RecordsetModel::failed(const std::exception& e) const {
    if (m_failureReported) return;
    m_failureReported = true;
    const auto* engineError = dynamic_cast<const engine::Error*>(&e);
    emit const_cast<RecordsetModel*>(this)->readFailed(
        QString::fromStdString(e.what()), engineError && engineError->number() == engine::DataChanged);
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!m_recordset || !valid(index)) return {};
    const auto column = static_cast<std::size_t>(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const CachedRow* r = row(index.row());
        if (!r) return {};
        // dBASE's soft return (U+008D and a line feed) is where its editor wrapped a line, not a break.
        if (r->texts[column].contains(QChar(0x8D)))
            return QString(r->texts[column]).replace(QStringLiteral("\u008D\n"), QStringLiteral(" "));
        return r->texts[column];
    }
    case Qt::EditRole:
        if (const CachedRow* r = row(index.row())) return r->texts[column];
        return {};
    case Qt::ToolTipRole: {
        const CachedRow* r = row(index.row());
        if (!r) return {};
        if (!r->errors.empty() && !r->errors[column].isEmpty()) return r->errors[column];
        // A memo's whole text, as far as a tooltip can sensibly hold it.
        if (m_recordset->field(column).kind != engine::FieldKind::Memo || r->texts[column].isEmpty())
            return {};
        constexpr qsizetype kMostShown = 2000;
        const QString& text = r->texts[column];
        return text.size() > kMostShown ? text.left(kMostShown) + QStringLiteral(" ...") : text;
    }
    case NullRole:
        if (const CachedRow* r = row(index.row()); r && !r->nulls.empty()) return bool(r->nulls[column]);
        return false;
    case MemoRole:
        return m_recordset->field(column).kind == engine::FieldKind::Memo;
    case Qt::TextAlignmentRole: {
        const auto kind = m_recordset->field(column).kind;
        const bool number = kind == engine::FieldKind::Integer || kind == engine::FieldKind::Real;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return {};
    }
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount()) return {};
        return columnCaption(section);
    }
    if (section < 0 || section >= m_rows) return {};
    return section + 1;
}

bool RecordsetModel::valid(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.row() < m_rows && index.column() < columnCount();
}

bool RecordsetModel::editable(int column) const {
    return m_allowUpdate && m_recordset && m_recordset->updatable() &&
           m_recordset->field(static_cast<std::size_t>(column)).kind != engine::FieldKind::Binary;
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    if (!valid(index)) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (editable(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !m_recordset || !valid(index) || !editable(index.column())) return false;
    const QString text = value.toString();
    // Leaving a cell unchanged must not rewrite the record (and touch the file's date).
    if (text == data(index, Qt::EditRole).toString()) return true;
    const auto column = static_cast<std::size_t>(index.column());
    try {
        const engine::Value typed = valueFromText(text, m_recordset->field(column));
        m_recordset->setAbsolutePosition(index.row());
        m_recordset->edit();
        m_recordset->setValue(column, typed);
        m_recordset->update();
    } catch (const std::exception& e) {
        if (m_recordset->editing()) m_recordset->cancelUpdate();
        emit editFailed(QString::fromStdString(e.what()));
        return false;
    }
    m_cache.erase(index.row());
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    return true;
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.isValid() || !m_recordset || m_rows == INT_MAX || m_failureReported) return false;
    return knownRows(*m_recordset) > m_rows || (!m_recordset->complete() && !m_recordset->total());
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || !m_recordset) return;
    const std::int64_t step = std::max(FetchBlock, m_rows);
    try {
        m_recordset->fetch(std::int64_t{m_rows} + step - 1);
    } catch (const engine::Error& e) {
        failed(e); // and no more fetching until the next sync()
        return;
    }
    sync();
}

void RecordsetModel::sync() {
    if (!m_recordset) return;
    m_failureReported = false;
    const int known = clampRows(knownRows(*m_recordset));
    if (known > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, known - 1);
        m_rows = known;
        endInsertRows();
    } else if (known < m_rows) {
        beginResetModel();
        m_cache.clear();
        m_rows = known;
        endResetModel();
    }
}

void RecordsetModel::release() {
    beginResetModel();
    m_recordset = nullptr;
    m_rows = 0;
    m_cache.clear();
    endResetModel();
}

} // namespace datagrid
