// A spreadsheet for tests: writes the workbook as the real one does, logs every operation, keeps
// the file and never starts an application.
#pragma once

#include "platform/XlsxSpreadsheet.h"

#include <QStringList>

namespace platform {

class RecordingSpreadsheet : public Spreadsheet {
public:
    // folder: where the workbook file is written (it must exist). log: receives one line per
    // operation ("workbook orders", "cell 2 1 text nails", "bold 1 1", "autofit 1", "visible",
    // "release"); it must outlive this object, which logs its own release.
    RecordingSpreadsheet(const QString& folder, QStringList& log);
    ~RecordingSpreadsheet() override;

    void addWorkbook(const QString& name) override;
    void setCell(int row, int column, const Value& value) override;
    void setBold(int row, int column) override;
    void autofitColumn(int column) override;
    // Writes the file and leaves it where it is.
    void makeVisible() override;

    QString filePath() const { return m_writer.filePath(); }

    // A value as the log shows it: "empty", "number 40", "logical true", "text nails",
    // "date 2024-03-15", "datetime 2024-03-15T13:45:00".
    static QString describe(const Value& value);

private:
    QStringList& m_log;
    XlsxSpreadsheet m_writer;
};

} // namespace platform
