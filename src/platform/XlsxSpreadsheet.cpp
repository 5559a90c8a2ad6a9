// The spreadsheet on this platform: an .xlsx workbook written with libxlsxwriter, opened in the
// desktop's default application for it.
#include "platform/XlsxSpreadsheet.h"

#include "engine/Error.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <optional>
#include <xlsxwriter.h>

namespace platform {

namespace {

// Excel's limits, which every application that reads .xlsx keeps to.
constexpr int MaxTextLength = 32767;
constexpr int FirstYear = 1900; // the 1900 date system starts there
constexpr int LastYear = 9999;

enum Kind { Plain = 0, DateKind = 1, DateTimeKind = 2 };

// Built-in number formats that the application shows in the user's own short date form.
constexpr uint8_t ShortDateFormat = 14;
constexpr uint8_t ShortDateTimeFormat = 22;

std::string utf8(const QString& text) {
    return text.toStdString();
}

[[noreturn]] void fail(int number, const QString& description) {
    throw engine::Error(number, description.toStdString());
}

QString cellName(int row, int column) {
    return "(" + QString::number(row) + ", " + QString::number(column) + ")";
}

bool representable(const QDate& date) {
    return date.isValid() && date.year() >= FirstYear && date.year() <= LastYear;
}

// The characters the application needs to show a value, as autofit measures it.
double textWidth(const Spreadsheet::Value& value) {
    if (const auto* text = std::get_if<QString>(&value)) {
        double widest = 0;
        for (const QString& line : text->split(QLatin1Char('\n')))
            widest = std::max<double>(widest, line.toUcs4().size());
        return widest;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        // The General format: whole numbers in full up to 11 digits, others to 10 significant ones.
        const double n = *number;
        if (n == std::floor(n) && std::fabs(n) < 1e11) return QString::number(n, 'f', 0).size();
        return QString::number(n, 'g', 10).size();
    }
    if (const auto* logical = std::get_if<bool>(&value)) return *logical ? 4 : 5; // TRUE, FALSE
    if (std::holds_alternative<QDate>(value)) return 10;
    if (std::holds_alternative<QDateTime>(value)) return 16;
    return 0;
}

lxw_datetime excelDateTime(const QDate& date, const QTime& time) {
    lxw_datetime dt{};
    dt.year = date.year();
    dt.month = date.month();
    dt.day = date.day();
    if (time.isValid()) {
        dt.hour = time.hour();
        dt.min = time.minute();
        dt.sec = time.second() + time.msec() / 1000.0;
    }
    return dt;
}

// A name the file system takes: no folder separators or characters other systems refuse.
QString fileNameFor(const QString& name) {
    QString fit;
    for (const QChar c : name.trimmed())
        fit.append(c.unicode() < 32 || QStringLiteral("/\\:*?\"<>|").contains(c) ? QLatin1Char('_') : c);
    while (fit.startsWith(QLatin1Char('.')))
        fit.remove(0, 1);
    return fit.isEmpty() ? QStringLiteral("result") : fit;
}

} // namespace

XlsxSpreadsheet::XlsxSpreadsheet(const QString& folder, Opener opener)
    : m_folder(folder), m_opener(std::move(opener)) {
    if (m_folder.isEmpty()) {
        QTemporaryDir made(QDir::tempPath() + QStringLiteral("/brindle-XXXXXX"));
        if (!made.isValid())
            fail(engine::PathFileAccess, "Cannot create a folder for the workbook in " +
                                             QDir::toNativeSeparators(QDir::tempPath()) + ": " +
                                             made.errorString());
        made.setAutoRemove(false);
        m_folder = made.path();
        m_ownFolder = true;
    } else if (!QFileInfo(m_folder).isDir()) {
        fail(engine::PathNotFound, "Cannot create the workbook in " + QDir::toNativeSeparators(m_folder) +
                                       ": the folder does not exist");
    }
    if (!m_opener)
        m_opener = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

XlsxSpreadsheet::~XlsxSpreadsheet() {
    // A workbook that was never finished is dropped without writing a file; one finished but neither
    // shown nor kept goes with the temporary folder made for it.
    if (m_workbook) lxw_workbook_free(m_workbook);
    if (m_ownFolder && !m_handedOver) QDir(m_folder).removeRecursively();
}

void XlsxSpreadsheet::addWorkbook(const QString& name) {
    if (m_workbook || !m_path.isEmpty())
        fail(engine::InvalidOperation, QStringLiteral("This spreadsheet already has its workbook."));
    const QString path = QDir(m_folder).filePath(fileNameFor(name) + QStringLiteral(".xlsx"));
    // Constant memory: each row goes to a temporary file as soon as it is complete, so a result of
    // any length is copied in the same memory.
    m_tmpdir = QFile::encodeName(m_folder);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tmpdir.data();
    options.use_zip64 = LXW_TRUE;
    const QByteArray file = QFile::encodeName(path);
    m_workbook = workbook_new_opt(file.constData(), &options);
    if (m_workbook) m_sheet = workbook_add_worksheet(m_workbook, nullptr);
    if (!m_workbook || !m_sheet)
        fail(engine::PathFileAccess, "Cannot create the workbook " + QDir::toNativeSeparators(path) + ".");
    for (int bold = 0; bold < 2; ++bold) {
        for (int kind : {Plain, DateKind, DateTimeKind}) {
            if (!bold && kind == Plain) continue; // the default format
            lxw_format* format = workbook_add_format(m_workbook);
            if (bold) format_set_bold(format);
            if (kind == DateKind) format_set_num_format_index(format, ShortDateFormat);
            if (kind == DateTimeKind) format_set_num_format_index(format, ShortDateTimeFormat);
            m_formats[bold][kind] = format;
        }
    }
    m_path = path;
    m_row = 0;
}

lxw_worksheet& XlsxSpreadsheet::sheet() const {
    if (!m_sheet) fail(engine::InvalidOperation, QStringLiteral("The spreadsheet has no open workbook."));
    return *m_sheet;
}

void XlsxSpreadsheet::setCell(int row, int column, const Value& value) {
    sheet();
    if (row < 1 || row > LXW_ROW_MAX || column < 1 || column > LXW_COL_MAX)
        fail(engine::InvalidArgument,
             "Cell " + cellName(row, column) + " lies outside the sheet, which holds " +
                 QString::number(LXW_ROW_MAX) + " rows and " + QString::number(LXW_COL_MAX) + " columns.");
    if (row < m_row)
        fail(engine::InvalidOperation,
             "Cell " + cellName(row, column) +
                 " lies in a row that is already written; cells are set row by row.");
    if (const auto* text = std::get_if<QString>(&value); text && text->size() > MaxTextLength)
        fail(engine::InvalidArgument,
             "Cell " + cellName(row, column) + ": a text of " + QString::number(text->size()) +
                 " characters is longer than a cell holds (" + QString::number(MaxTextLength) + ").");
    if (const auto* number = std::get_if<double>(&value); number && !std::isfinite(*number))
        fail(engine::InvalidArgument, "Cell " + cellName(row, column) + ": " + QString::number(*number) +
                                          " is not a number a cell can hold.");
    if (row > m_row) {
        flushRow();
        m_row = row;
    }
    auto same = std::find_if(m_pending.begin(), m_pending.end(),
                             [&](const Pending& p) { return p.column == column; });
    if (same != m_pending.end())
        same->value = value;
    else
        m_pending.push_back({column, value, false});
    if (m_widest.size() < std::size_t(column)) m_widest.resize(column, 0);
    m_widest[column - 1] = std::max(m_widest[column - 1], textWidth(value));
}

void XlsxSpreadsheet::setBold(int row, int column) {
    sheet();
    if (row != m_row)
        fail(engine::InvalidOperation, "Cell " + cellName(row, column) +
                                           " is not in the row being set; only its cells can be made bold.");
    auto cell = std::find_if(m_pending.begin(), m_pending.end(),
                             [&](const Pending& p) { return p.column == column; });
    if (cell == m_pending.end()) {
        m_pending.push_back({column, std::monostate{}, true});
        return;
    }
    cell->bold = true;
    // Bold characters are wider; the column has to leave room for them.
    m_widest[column - 1] = std::max(m_widest[column - 1], textWidth(cell->value) * 1.1);
}

void XlsxSpreadsheet::autofitColumn(int column) {
    lxw_worksheet& ws = sheet();
    if (column < 1 || column > LXW_COL_MAX)
        fail(engine::InvalidArgument, "Column " + QString::number(column) + " lies outside the sheet.");
    // A column that holds nothing keeps the application's default width.
    if (std::size_t(column) > m_widest.size() || m_widest[column - 1] <= 0) return;
    // One character more than the widest text, for the margins the application draws.
    const double width = std::min(maxColumnWidth, std::ceil(m_widest[column - 1]) + 1);
    const lxw_col_t col = lxw_col_t(column - 1);
    const lxw_error error = worksheet_set_column(&ws, col, col, width, nullptr);
    if (error != LXW_NO_ERROR)
        fail(engine::InvalidArgument, "Column " + QString::number(column) +
                                          " cannot be fitted: " + QString::fromUtf8(lxw_strerror(error)));
}

lxw_format* XlsxSpreadsheet::formatFor(const Value& value, bool bold) const {
    int kind = Plain;
    if (std::holds_alternative<QDate>(value)) kind = DateKind;
    if (std::holds_alternative<QDateTime>(value)) kind = DateTimeKind;
    return m_formats[bold ? 1 : 0][kind];
}

void XlsxSpreadsheet::write(int row, const Pending& cell) {
    const lxw_row_t r = lxw_row_t(row - 1);
    const lxw_col_t c = lxw_col_t(cell.column - 1);
    const Value& value = cell.value;
    lxw_format* format = formatFor(value, cell.bold);
    lxw_error error = LXW_NO_ERROR;
    if (const auto* number = std::get_if<double>(&value)) {
        error = worksheet_write_number(m_sheet, r, c, *number, format);
    } else if (const auto* logical = std::get_if<bool>(&value)) {
        error = worksheet_write_boolean(m_sheet, r, c, *logical ? 1 : 0, format);
    } else if (const auto* text = std::get_if<QString>(&value)) {
        error = worksheet_write_string(m_sheet, r, c, utf8(*text).c_str(), format);
    } else if (const auto* date = std::get_if<QDate>(&value)) {
        // Dates the sheet's calendar cannot hold are written as ISO text, so that none is lost.
        if (representable(*date)) {
            lxw_datetime dt = excelDateTime(*date, QTime());
            error = worksheet_write_datetime(m_sheet, r, c, &dt, format);
        } else {
            error = worksheet_write_string(m_sheet, r, c, utf8(date->toString(Qt::ISODate)).c_str(),
                                           formatFor({}, cell.bold));
        }
    } else if (const auto* stamp = std::get_if<QDateTime>(&value)) {
        if (representable(stamp->date())) {
            lxw_datetime dt = excelDateTime(stamp->date(), stamp->time());
            error = worksheet_write_datetime(m_sheet, r, c, &dt, format);
        } else {
            error = worksheet_write_string(
                m_sheet, r, c, utf8(stamp->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))).c_str(),
                formatFor({}, cell.bold));
        }
    } else if (cell.bold) {
        // An empty cell keeps its format, so that a value typed there later is bold too.
        error = worksheet_write_blank(m_sheet, r, c, format);
    }
    if (error != LXW_NO_ERROR)
        fail(engine::InvalidArgument, "Cell " + cellName(row, cell.column) +
                                          " was refused: " + QString::fromUtf8(lxw_strerror(error)));
}

void XlsxSpreadsheet::flushRow() {
    // Constant-memory mode wants the cells of a row in column order.
    std::sort(m_pending.begin(), m_pending.end(),
              [](const Pending& a, const Pending& b) { return a.column < b.column; });
    std::vector<Pending> cells;
    cells.swap(m_pending);
    // One refused cell does not cost the rest of its row.
    std::optional<engine::Error> refused;
    for (const Pending& cell : cells) {
        try {
            write(m_row, cell);
        } catch (const engine::Error& error) {
            if (!refused) refused = error;
        }
    }
    if (refused) throw *refused;
}

void XlsxSpreadsheet::save() {
    sheet();
    flushRow();
    const lxw_error error = workbook_close(m_workbook); // frees the workbook, whatever the outcome
    m_workbook = nullptr;
    m_sheet = nullptr;
    if (error != LXW_NO_ERROR)
        fail(engine::PathFileAccess, "Cannot write the workbook " + QDir::toNativeSeparators(m_path) + ": " +
                                         QString::fromUtf8(lxw_strerror(error)));
}

bool XlsxSpreadsheet::makeVisible() {
    save();
    m_handedOver = m_opener(m_path);
    return m_handedOver;
}

void XlsxSpreadsheet::keepAt(const QString& path) {
    if (m_path.isEmpty() || m_workbook)
        fail(engine::InvalidOperation, QStringLiteral("The workbook is not finished."));
    const QString action = "Cannot keep the workbook as " + QDir::toNativeSeparators(path) + ": ";
    if (QFileInfo(path).isDir()) fail(engine::PathFileAccess, action + "it is a folder");
    // The save dialog has asked before a file there is replaced.
    if (QFileInfo::exists(path) && !QFile::remove(path))
        fail(engine::PathFileAccess, action + "the file there cannot be replaced");
    // A move across file systems is a copy, and the file it was copied from goes.
    if (!QFile::rename(m_path, path) && !QFile::copy(m_path, path))
        fail(engine::PathFileAccess, action + "it cannot be written there");
    if (QFileInfo::exists(m_path)) QFile::remove(m_path);
    if (m_ownFolder) QDir().rmdir(m_folder); // empty now, unless the user chose it
    m_path = path;
    m_handedOver = true;
}

} // namespace platform
