// A spreadsheet for tests: writes the workbook as the real one does, logs every operation, keeps
// the file and never starts an application.
#include "platform/RecordingSpreadsheet.h"

namespace platform {

namespace {

QString cell(int row, int column) {
    return QString::number(row) + QLatin1Char(' ') + QString::number(column);
}

} // namespace

RecordingSpreadsheet::RecordingSpreadsheet(const QString& folder, QStringList& log)
    : m_log(log), m_writer(folder, [](const QString&) { return true; }) {}

RecordingSpreadsheet::~RecordingSpreadsheet() {
    m_log.append(QStringLiteral("release"));
}

void RecordingSpreadsheet::addWorkbook(const QString& name) {
    m_log.append("workbook " + name);
    m_writer.addWorkbook(name);
}

void RecordingSpreadsheet::setCell(int row, int column, const Value& value) {
    m_log.append("cell " + cell(row, column) + QLatin1Char(' ') + describe(value));
    m_writer.setCell(row, column, value);
}

void RecordingSpreadsheet::setBold(int row, int column) {
    m_log.append("bold " + cell(row, column));
    m_writer.setBold(row, column);
}

void RecordingSpreadsheet::autofitColumn(int column) {
    m_log.append("autofit " + QString::number(column));
    m_writer.autofitColumn(column);
}

void RecordingSpreadsheet::makeVisible() {
    m_log.append(QStringLiteral("visible"));
    m_writer.save();
}

QString RecordingSpreadsheet::describe(const Value& value) {
    if (const auto* number = std::get_if<double>(&value))
        return "number " + QString::number(*number, 'g', 17);
    if (const auto* logical = std::get_if<bool>(&value))
        return *logical ? QStringLiteral("logical true") : QStringLiteral("logical false");
    if (const auto* text = std::get_if<QString>(&value)) return "text " + *text;
    if (const auto* date = std::get_if<QDate>(&value)) return "date " + date->toString(Qt::ISODate);
    if (const auto* stamp = std::get_if<QDateTime>(&value)) return "datetime " + stamp->toString(Qt::ISODate);
    return QStringLiteral("empty");
}

} // namespace platform
