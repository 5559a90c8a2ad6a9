// The data source: one engine database per folder, one recordset at a time.
#include "datagrid/DataSource.h"

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"

#include <QDir>
#include <filesystem>

namespace datagrid {

DataSource::DataSource(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("Data1"));
}

DataSource::~DataSource() {
    release();
}

void DataSource::setCaption(const QString& caption) {
    if (caption == m_caption) return;
    m_caption = caption;
    emit captionChanged(m_caption);
}

void DataSource::release() {
    if (!m_recordset) return;
    emit aboutToClose();
    m_recordset->close();
    m_recordset.reset();
}

void DataSource::close() {
    release();
}

void DataSource::refresh() {
    // The old recordset goes first: while nothing is open the folder can be opened exclusively, and a
    // failed open leaves no stale rows behind.
    release();
    if (m_databaseName.trimmed().isEmpty())
        throw engine::Error(engine::InvalidArgument, "The data source has no folder (DatabaseName) to open.");
    if (m_recordSource.trimmed().isEmpty())
        throw engine::Error(engine::InvalidArgument, "The data source has no record source to open.");
    const QString folder = QDir::cleanPath(m_databaseName);
    auto codePages = m_codePagesOf ? m_codePagesOf(folder) : std::map<std::string, std::string>{};
    if (!m_database || folder != m_openFolder || codePages != m_openCodePages) {
        m_database.reset();
        const std::string connect = m_connect.toStdString();
        m_database = std::make_unique<engine::Database>(
            std::filesystem::path(folder.toStdString()),
            engine::DatabaseOptions{.connect = connect, .tableCodePages = codePages});
        m_openFolder = folder;
        m_openCodePages = std::move(codePages);
    }
    m_recordset = m_database->openRecordset(m_recordSource.toStdString());
    emit refreshed();
}

QString DataSource::codePage() const {
    const auto table = m_recordset ? m_recordset->table() : nullptr;
    return table ? QString::fromStdString(table->codePage().name()) : QString();
}

void DataSource::moved(const std::function<void(engine::Recordset&)>& move) {
    if (!m_recordset) return;
    move(*m_recordset);
    emit currentChanged();
}

void DataSource::completeCount() {
    moved([](engine::Recordset& rs) { rs.countAll(); });
}

void DataSource::moveFirst() {
    moved([](engine::Recordset& rs) { rs.moveFirst(); });
}

void DataSource::moveLast() {
    moved([](engine::Recordset& rs) { rs.moveLast(); });
}

void DataSource::moveNext() {
    moved([](engine::Recordset& rs) { rs.moveNext(); });
}

void DataSource::movePrevious() {
    moved([](engine::Recordset& rs) { rs.movePrevious(); });
}

void DataSource::setAbsolutePosition(std::int64_t row) {
    moved([row](engine::Recordset& rs) { rs.setAbsolutePosition(row); });
}

} // namespace datagrid
