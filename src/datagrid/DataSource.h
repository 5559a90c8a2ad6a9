// The data source Data1: opens a record source of a folder through the engine and holds its recordset.
#pragma once

#include "engine/Database.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace engine {
class Database;
class Recordset;
} // namespace engine

namespace datagrid {

// Set DatabaseName and RecordSource, then refresh(). The data source never shows a message: its
// failures are engine::Error exceptions for the caller to report.
class DataSource : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString DatabaseName READ databaseName WRITE setDatabaseName)
    Q_PROPERTY(QString RecordSource READ recordSource WRITE setRecordSource)
    Q_PROPERTY(QString Connect READ connectText WRITE setConnectText)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption NOTIFY captionChanged)

public:
    explicit DataSource(QObject* parent = nullptr);
    ~DataSource() override;

    // The folder whose tables later sources name; takes effect at the next refresh().
    QString databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& folder) { m_databaseName = folder; }
    // A table file name ("orders.dbf") or a select; used at the next refresh().
    QString recordSource() const { return m_recordSource; }
    void setRecordSource(const QString& source) { m_recordSource = source; }
    QString connectText() const { return m_connect; }
    void setConnectText(const QString& connect) { m_connect = connect; }
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    // The code pages the user chose for tables of a folder (file name -> code page), asked at every
    // refresh; the folder's database is opened again when they changed.
    using CodePagesOf = std::function<std::map<std::string, std::string>(const QString& folder)>;
    void setCodePagesOf(CodePagesOf codePagesOf) { m_codePagesOf = std::move(codePagesOf); }
    // The code page the open table's text is read in ("CP852"); empty when nothing is open or the
    // result is computed from several tables.
    QString codePage() const;

    // Closes the open recordset, then opens RecordSource in DatabaseName; the folder's database is
    // opened on first use and kept while DatabaseName names the same folder. Throws engine::Error for
    // a bad folder or source, and then nothing is open.
    void refresh();
    // The open recordset, or null. It stays the data source's; moves made on it directly should be
    // followed by notifyCurrentChanged().
    engine::Recordset* recordset() const { return m_recordset.get(); }
    // The database of the open recordset (or of the last refresh), or null.
    engine::Database* database() const { return m_database.get(); }
    // Releases the recordset and its tables, so that the folder can be opened exclusively.
    void close();

    // Moves of the recordset that tell the grid and the caption. Throw engine::Error as the recordset
    // does; with nothing open there is nothing to move, and they do nothing.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void setAbsolutePosition(std::int64_t row);
    // Makes the count complete, as a move to the last row and back to the first would (a sorted result
    // counts its rows without sorting them all). Does nothing while nothing is open: a source that
    // failed to open has been reported already.
    void completeCount();
    void notifyCurrentChanged() { emit currentChanged(); }

signals:
    // A new recordset is open.
    void refreshed();
    // The recordset is about to be closed: views over it must let go of it now.
    void aboutToClose();
    // The current record moved.
    void currentChanged();
    void captionChanged(const QString& caption);

private:
    // Runs a move of the open recordset and tells of it; nothing when nothing is open.
    void moved(const std::function<void(engine::Recordset&)>& move);
    void release();

    QString m_databaseName;
    QString m_recordSource;
    // The engine's driver text, as the data control carries it.
    QString m_connect =
        QString::fromLatin1(engine::kDbaseConnect.data(), qsizetype(engine::kDbaseConnect.size())) + ';';
    QString m_caption;
    QString m_openFolder; // the folder m_database was opened on
    CodePagesOf m_codePagesOf;
    std::map<std::string, std::string> m_openCodePages; // the code pages m_database was opened with
    std::unique_ptr<engine::Database> m_database;
    std::unique_ptr<engine::Recordset> m_recordset;
};

} // namespace datagrid
