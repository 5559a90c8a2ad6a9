// The current result copied into a new spreadsheet workbook: the statement run again on a
// database of its own, field names in bold on row 1, typed values below, columns fitted.
#include "output/SheetExport.h"

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "output/Repainter.h"
#include "output/TextLayout.h"
#include "platform/BusyPointer.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QTime>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>

namespace output {

namespace {

// The form every failure of this command is told in: number, one blank, description.
QString numbered(const std::exception& error) {
    const QString description = QString::fromStdString(error.what());
    if (const auto* numberedError = dynamic_cast<const engine::Error*>(&error))
        return QString::number(numberedError->number()) + QLatin1Char(' ') + description;
    return description;
}

// Cells the sheet refuses are not worth a message each: the first one is kept with a count.
class Refusals {
public:
    template <typename Operation> void attempt(Operation&& operation) {
        try {
            operation();
        } catch (const std::runtime_error& error) {
            if (m_count++ == 0) m_first = numbered(error);
        }
    }
    void report(platform::Dialogs& dialogs) const {
        if (m_count == 0) return;
        QString text = m_first;
        if (m_count > 1) text += " (and " + QString::number(m_count - 1) + " more like it)";
        dialogs.message(text);
    }

private:
    std::int64_t m_count = 0;
    QString m_first;
};

// Why the sheet cannot take the result whole, or the empty text when it can. Row 1 holds the names,
// so one row fewer than the sheet has is left for the values. Reading ahead to that row does not
// move the current row.
QString overflow(engine::Recordset& rows, const SheetLimits& limits) {
    const std::size_t columns = std::size_t(std::max(limits.columns, 0));
    if (rows.fieldCount() > columns)
        return "The result has " + QString::number(rows.fieldCount()) + " fields, more than the " +
               QString::number(columns) + " columns a sheet holds. Nothing was copied.";
    const std::int64_t fit = std::max(limits.rows, 1) - 1;
    if (rows.fetch(fit))
        return "The result has more rows than a sheet holds: " + QString::number(fit) +
               " fit below the field names. Nothing was copied; a filter can narrow the result.";
    return {};
}

} // namespace

platform::Spreadsheet::Value cellValue(const engine::Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return double(*integer);
    if (const auto* real = std::get_if<double>(&value)) return *real;
    if (const auto* logical = std::get_if<bool>(&value)) return *logical;
    if (const auto* date = std::get_if<xbase::Date>(&value)) return QDate(date->year, date->month, date->day);
    if (const auto* stamp = std::get_if<xbase::DateTime>(&value)) {
        // As written, with no time zone: a time that a clock change skips must not move.
        return QDateTime(QDate(stamp->date.year, stamp->date.month, stamp->date.day),
                         QTime::fromMSecsSinceStartOfDay(stamp->msecOfDay), Qt::UTC);
    }
    return std::monostate{};
}

QString workbookName(const QString& table) {
    QString name = table.trimmed();
    if (name.startsWith(QLatin1Char('['))) {
        const qsizetype close = name.indexOf(QLatin1Char(']'));
        name = name.mid(1, close < 0 ? -1 : close - 1);
    } else {
        const qsizetype end = std::find_if(name.begin(), name.end(),
                                           [](QChar c) {
                                               return c.isSpace() || c == QLatin1Char(',') ||
                                                      c == QLatin1Char('(') || c == QLatin1Char(';');
                                           }) -
                              name.begin();
        name.truncate(end);
    }
    name = name.mid(std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\'))) + 1);
    if (name.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive)) name.chop(4);
    name = name.trimmed().toLower();
    return name.isEmpty() ? QStringLiteral("result") : name;
}

void exportSheet(const SheetExportJob& job) {
    platform::Dialogs& dialogs = job.dialogs;
    platform::BusyPointer busy(dialogs);
    const auto report = [&](const std::exception& error) { dialogs.message(numbered(error)); };

    std::unique_ptr<engine::Database> database;
    std::unique_ptr<engine::Recordset> rows;
    QString tooBig;
    try {
        if (job.folder.trimmed().isEmpty())
            throw engine::Error(engine::InvalidArgument,
                                "The data source has no folder (DatabaseName) to open.");
        if (job.source.trimmed().isEmpty())
            throw engine::Error(engine::InvalidArgument, "The data source has no record source to open.");
        database = std::make_unique<engine::Database>(
            std::filesystem::path(QDir::cleanPath(job.folder).toStdString()));
        rows = database->openRecordset(job.source.toStdString());
        tooBig = overflow(*rows, job.limits);
    } catch (const std::runtime_error& error) {
        report(error);
        return;
    }
    // A sheet that shows part of the result could pass for all of it: one message, nothing copied.
    if (!tooBig.isEmpty()) {
        dialogs.message(tooBig);
        return;
    }

    std::unique_ptr<platform::Spreadsheet> sheet;
    try {
        sheet = job.newSpreadsheet();
        if (!sheet) throw engine::Error(engine::InvalidOperation, "No spreadsheet application is available.");
        sheet->addWorkbook(job.name);
    } catch (const std::runtime_error& error) {
        report(error);
        return;
    }

    Refusals refusals;
    // Escape stops the copy; other keys and clicks made meanwhile are dropped. The title shows the
    // progress at most ten times a second, and is the window's own again at the end.
    Repainter repainter(100, true);
    struct TitleBack {
        const SheetExportJob& job;
        ~TitleBack() {
            if (job.restoreTitle) job.restoreTitle();
        }
    } titleBack{job};
    // A fresh rowset has a current row exactly when it has rows; an empty one gives an empty workbook.
    if (!rows->eof()) {
        try {
            rows->countAll();
            const std::int64_t total = rows->recordCount();
            rows->moveFirst();
            const int columns = int(rows->fieldCount());
            for (int i = 1; i <= columns; ++i) {
                const QString name = QString::fromStdString(rows->field(std::size_t(i - 1)).name);
                refusals.attempt([&] { sheet->setCell(1, i, name); });
                refusals.attempt([&] { sheet->setBold(1, i); });
            }
            std::optional<engine::Recordset::Reading> reading;
            for (int r = 2; !rows->eof(); ++r) {
                // The table is held for reading a stretch of rows at a time, as the text export does.
                if ((r - 2) % 4096 == 0) {
                    reading.reset();
                    reading.emplace(*rows);
                }
                for (int i = 1; i <= columns; ++i) {
                    const platform::Spreadsheet::Value value = cellValue(rows->value(std::size_t(i - 1)));
                    refusals.attempt([&] { sheet->setCell(r, i, value); });
                }
                rows->moveNext();
                // The first row shows at once that the copy runs (and lets Escape in).
                if ((r == 2 || repainter.due()) && job.setTitle) job.setTitle(percentTitle(r - 1, total));
                repainter.tick(r == 2);
                if (repainter.cancelled()) return; // the unfinished workbook is dropped
            }
            for (int k = 1; k <= columns; ++k)
                refusals.attempt([&] { sheet->autofitColumn(k); });
        } catch (const std::runtime_error& error) {
            // The rowset failed; every later row would fail the same way.
            report(error);
            return;
        }
    }
    refusals.report(dialogs);
    try {
        if (sheet->makeVisible()) return;
        // Without an application the workbook is kept where the user wants it, rather than left in a
        // temporary folder.
        const QString path = dialogs.saveFileName(
            QStringLiteral("No spreadsheet application could be started: keep the workbook as"),
            QStringLiteral("Workbooks (*.xlsx)"),
            QDir::toNativeSeparators(QDir(job.folder).filePath(job.name + QStringLiteral(".xlsx"))));
        if (!path.isEmpty()) sheet->keepAt(path);
    } catch (const std::runtime_error& error) {
        report(error);
    }
}

} // namespace output
