// The current result to a text file of fixed-width columns: a file from the save dialog, a width
// per column asked of the user, a heading line, a line of nine blanks and one line per row.
#include "output/TextExport.h"

#include "datagrid/DataSource.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "output/Repainter.h"
#include "output/TextLayout.h"
#include "platform/BusyPointer.h"
#include "platform/Dialogs.h"
#include "platform/FileError.h"

#include <QFile>
#include <QFileInfo>
#include <optional>
#include <vector>

namespace output {

namespace {

// The export's output file, written line by line and closed whenever the export ends.
class ExportFile {
public:
    // Creates the file, or replaces one of that name. Throws engine::Error.
    explicit ExportFile(const QString& path) : m_file(path) {
        const QString action = QStringLiteral("Cannot create");
        platform::requireParentFolder(action, path);
        if (QFileInfo(path).isDir())
            throw platform::fileError(engine::PathFileAccess, action, path, QStringLiteral("it is a folder"));
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw platform::fileError(engine::PathFileAccess, action, path, m_file.errorString());
    }

    ~ExportFile() {
        if (m_file.isOpen()) m_file.close();
    }

    // The line as it is, line breaks inside it included, then CR LF.
    void writeLine(QString& line) {
        line += QStringLiteral("\r\n");
        const QByteArray bytes = line.toLocal8Bit();
        if (m_file.write(bytes) != bytes.size()) fail();
    }

    void close() {
        if (!m_file.flush()) fail();
        m_file.close();
        if (m_file.error() != QFileDevice::NoError) fail();
    }

private:
    [[noreturn]] void fail() {
        throw platform::fileError(engine::PathFileAccess, QStringLiteral("Cannot write"), m_file.fileName(),
                                  m_file.errorString());
    }

    QFile m_file;
};

} // namespace

constexpr std::int64_t kRowsPerHold = 4096;

QString widthPrompt(const QString& caption) {
    return "Lenght of '" + caption + "' (in character):";
}

void exportText(const TextExportWindow& window, const QLocale& locale) {
    platform::Dialogs& dialogs = window.dialogs;
    const auto report = [&](const std::exception& error) {
        dialogs.message(QString::fromStdString(error.what()));
    };

    const QString path = dialogs.saveFileName({}, {}, window.suggestedFile);
    if (path.isEmpty()) return;
    std::optional<ExportFile> file;
    try {
        file.emplace(path);
    } catch (const std::runtime_error& error) {
        // Every line would fail after this one: one message, and the command ends.
        report(error);
        return;
    }

    // An empty result has no first row; its two heading lines are still written.
    try {
        window.rows.moveFirst();
    } catch (const engine::Error& error) {
        if (error.number() != engine::NoCurrentRecord) report(error);
    }

    std::vector<int> widths;
    widths.reserve(std::size_t(window.captions.size()));
    QString header;
    for (const QString& caption : window.captions) {
        widths.push_back(padWidth(dialogs.prompt(widthPrompt(caption)), locale));
        appendRightAligned(header, caption.toUpper(), widths.back());
    }

    platform::BusyPointer busy(dialogs);
    // The rows are walked without moving the grid; the position and the title follow at most ten times a
    // second. Escape stops the export (the file keeps the lines written); other keys and clicks made
    // meanwhile are dropped. The title is the window's own again at the end.
    Repainter repainter(100, true);
    struct TitleBack {
        const TextExportWindow& window;
        ~TitleBack() {
            if (window.restoreTitle) window.restoreTitle();
        }
    } titleBack{window};
    try {
        file->writeLine(header);
        QString blanks(9, QLatin1Char(' '));
        file->writeLine(blanks);
        engine::Recordset* const rows = window.rows.recordset();
        const std::int64_t count = rows ? rows->recordCount() : 0;
        QString title;
        QString line;
        std::optional<engine::Recordset::Reading> reading;
        for (std::int64_t k = 0; k < count; ++k) {
            // The table is held for reading a stretch of rows at a time: another program's change
            // lands between stretches, never inside a row, and never waits for the whole export.
            if (rows && k % kRowsPerHold == 0) {
                reading.reset();
                reading.emplace(*rows);
            }
            if (window.rows.recordset() != rows)
                throw engine::Error(engine::NoCurrentRecord,
                                    "The result was closed before all its rows were written.");
            if (rows->eof()) break; // rows deleted meanwhile: the count was more than there are
            line.resize(0);         // keeps its room for the next line
            for (std::size_t m = 0; m < widths.size(); ++m)
                appendRightAligned(line, fieldText(rows->value(m), locale, rows->field(m).decimals),
                                   widths[m]);
            file->writeLine(line);
            rows->moveNext();
            if (k == 0 || repainter.due()) {
                const QString percent = percentTitle(k, count, locale);
                if (percent != title) window.setTitle(title = percent);
                if (k > 0) window.rows.notifyCurrentChanged();
                repainter.tick(k == 0);
            }
            if (repainter.cancelled()) break;
        }
        reading.reset();
        window.rows.notifyCurrentChanged();
        file->close();
    } catch (const std::runtime_error& error) {
        // A line that cannot be written or a row that cannot be read fails again on every later
        // row: reported once. What was written is closed into the file.
        file.reset();
        report(error);
    }
}

} // namespace output
