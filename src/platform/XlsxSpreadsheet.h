// The spreadsheet on this platform: an .xlsx workbook written with libxlsxwriter, opened in the
// desktop's default application for it.
#pragma once

#include "platform/Spreadsheet.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace platform {

class XlsxSpreadsheet : public Spreadsheet {
public:
    // Hands the finished file to an application; false when none could take it.
    using Opener = std::function<bool(const QString& path)>;

    // folder: where the workbook file goes; empty makes a new temporary folder, which is never
    // removed, since the user's application goes on using the file after the export.
    // opener: empty means the desktop's default application (QDesktopServices).
    // Throws engine::Error(PathFileAccess) when the folder cannot be made.
    explicit XlsxSpreadsheet(const QString& folder = {}, Opener opener = {});
    ~XlsxSpreadsheet() override;
    XlsxSpreadsheet(const XlsxSpreadsheet&) = delete;
    XlsxSpreadsheet& operator=(const XlsxSpreadsheet&) = delete;

    // The workbook file is the name, made fit for a file name, with ".xlsx".
    void addWorkbook(const QString& name) override;
    void setCell(int row, int column, const Value& value) override;
    void setBold(int row, int column) override;
    void autofitColumn(int column) override;
    // save(), then the opener; false when no application took the file.
    bool makeVisible() override;
    // Moves the saved file. Throws engine::Error(PathFileAccess) when it cannot be put there.
    void keepAt(const QString& path) override;

    // Writes the workbook file; nothing can be set afterwards. Throws engine::Error.
    void save();
    // The workbook file; empty before addWorkbook().
    QString filePath() const { return m_path; }
    QString folder() const { return m_folder; }

    // The widest a column gets, in characters, as the spreadsheet application allows.
    static constexpr double maxColumnWidth = 255;

private:
    struct Pending {
        int column;
        Value value;
        bool bold = false;
    };

    lxw_worksheet& sheet() const;
    void flushRow();
    void write(int row, const Pending& cell);
    lxw_format* formatFor(const Value& value, bool bold) const;

    QString m_folder;
    bool m_ownFolder = false;  // a temporary folder made for the workbook
    bool m_handedOver = false; // shown or kept: the file is the user's
    QString m_path;
    Opener m_opener;
    QByteArray m_tmpdir; // libxlsxwriter keeps the pointer until the workbook is closed
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    // Plain, date and date-time formats, without and with bold.
    lxw_format* m_formats[2][3] = {};
    // The row being set: libxlsxwriter in constant-memory mode writes a row's cells once, with
    // their format, so a bold set after the value has to be known before the row goes out.
    int m_row = 0;
    std::vector<Pending> m_pending;
    // Widest text per column (index 0 is column 1), in characters.
    std::vector<double> m_widest;
};

} // namespace platform
