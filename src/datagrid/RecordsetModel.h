// The grid's table model over an engine recordset: rows read on demand, cells written back to the file.
#pragma once

#include "datagrid/RowCache.h"

#include <QAbstractTableModel>
#include <chrono>

namespace engine {
class Recordset;
}

namespace datagrid {

// Columns are the recordset's fields in order. Rows are those the recordset has read so far
// (fetchedCount); canFetchMore/fetchMore read on, and sync() takes over what a move of the caller read
// (after moveLast, the complete count). Cell values are read only for the rows a view asks for, and only
// a few recently shown rows are kept.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Whether a cell holds Null (a bool), which its text alone does not tell from empty text.
    static constexpr int NullRole = Qt::UserRole + 1;
    // Whether a cell holds a memo, whose whole text the tooltip shows.
    static constexpr int MemoRole = Qt::UserRole + 2;

    static constexpr std::size_t CacheCapacity = 256;
    // Rows fetchMore() reads at least; it reads as many again as are known, so that reaching the end of
    // a huge table takes few steps.
    static constexpr int FetchBlock = 1024;
    // How long a row's read waits for another program's commit, and how long the grid then waits before
    // reading again.
    static constexpr std::chrono::milliseconds LockWait{200};
    static constexpr std::chrono::milliseconds RetryAfter{1000};

    // The recordset stays its owner's; call release() before it is closed or destroyed.
    explicit RecordsetModel(engine::Recordset* recordset, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes the text, read by the field's kind, to the row's record: moves the recordset to the row,
    // Edit, value, Update. A refused value is cancelled (the file stays as it was), reported through
    // editFailed, and false is returned.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    engine::Recordset* recordset() const { return m_recordset; }
    // Header text of a column (field name or alias); empty outside the columns.
    QString columnCaption(int column) const;
    // Edits are allowed when this is on and the recordset can be changed.
    bool allowUpdate() const { return m_allowUpdate; }
    void setAllowUpdate(bool allow);
    // Takes over the rows the recordset knows now: new ones are inserted; fewer (a record deleted
    // through the recordset) reset the model.
    void sync();
    // Lets go of the recordset: the model becomes empty and never touches it again.
    void release();
    // Rows whose texts are held now; never more than CacheCapacity.
    std::size_t cachedRows() const { return m_cache.size(); }

signals:
    void editFailed(const QString& description);
    // The rows could not be read: another program changed the table under the result (tableChanged:
    // the result is to be opened again), or held it locked longer than a reader waits. Rows that could
    // not be read are not kept, so they are read again when next shown.
    void readFailed(const QString& description, bool tableChanged);

private:
    const CachedRow* row(int row) const;
    // An index of this model inside its rows and columns (views pass none other; testers do).
    bool valid(const QModelIndex& index) const;
    bool editable(int column) const;

    // Reports a failure that concerns the whole result, once until the next sync().
    void failed(const std::exception& e) const;

    engine::Recordset* m_recordset;
    int m_rows = 0;
    bool m_allowUpdate = true;
    mutable RowCache m_cache{CacheCapacity};
    mutable CachedRow m_uncached; // a row read with errors that may pass (a lock held elsewhere)
    mutable bool m_failureReported = false;
    mutable std::chrono::steady_clock::time_point m_lockedUntil{};
    mutable QString m_lockedMessage;
};

} // namespace datagrid
