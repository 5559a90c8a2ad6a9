// DBGrid1: the table view bound to a data source, its current row kept with the recordset's record.
#pragma once

#include <QTableView>

namespace datagrid {

class DataSource;
class RecordsetModel;

// Shows the data source's recordset through a new RecordsetModel after each refresh. Selecting a row
// moves the recordset there (and the data source tells currentChanged); a move of the recordset made
// through the data source selects its row. Edited cells are written through the model when
// AllowUpdate is on.
class ResultGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(bool AllowUpdate READ allowUpdate WRITE setAllowUpdate)

public:
    explicit ResultGrid(DataSource* source, QWidget* parent = nullptr);
    ~ResultGrid() override;

    DataSource* dataSource() const { return m_source; }
    // The model of the open recordset, or null while nothing is open.
    RecordsetModel* recordsetModel() const { return m_model; }
    // Number of columns, and the header text of column i (from 0); 0 and empty while nothing is open.
    int columnCount() const;
    QString columnCaption(int column) const;
    bool allowUpdate() const { return m_allowUpdate; }
    void setAllowUpdate(bool allow);

signals:
    // An edited value was refused; the file is as it was. description is the engine's.
    void editFailed(const QString& description);
    // Selecting a row could not move the recordset there.
    void moveFailed(const QString& description);
    // The rows could not be read (RecordsetModel::readFailed); tableChanged: the result is out of date.
    void readFailed(const QString& description, bool tableChanged);
    // A click on the header of a column (from 0).
    void headerClicked(int column);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Ctrl+Tab and Ctrl+Shift+Tab move to the next and previous cell; Ctrl+C copies the cells chosen
    // with their column names, as tab-separated lines.
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    void bind();
    void unbind();
    void setGridModel(RecordsetModel* model);
    // Selects the recordset's current record (reading on to it first).
    void followRecordset();

    DataSource* m_source;
    RecordsetModel* m_model = nullptr;
    bool m_allowUpdate = true;
    bool m_following = false; // a row selected to follow the recordset must not move it back
};

} // namespace datagrid
