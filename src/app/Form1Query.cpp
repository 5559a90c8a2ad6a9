// Form1: Enter in the query box runs the statement, shows its result and logs the run.
#include "app/Form1.h"
#include "app/QueryBox.h"
#include "browser/Browser.h"
#include "browser/FileList.h"
#include "console/Parameters.h"
#include "console/QueryLog.h"
#include "console/StatementParts.h"
#include "datagrid/DataSource.h"
#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "platform/BusyPointer.h"
#include "platform/Dialogs.h"

#include <QDate>
#include <QElapsedTimer>
#include <QTime>
#include <filesystem>
#include <optional>

namespace app {

namespace {

QString now() {
    return console::logTime(QTime::currentTime());
}

} // namespace

std::optional<std::int64_t> Form1::recordsToDelete(const std::string& statement) {
    // The records the delete's FROM and WHERE pick, counted as a select; nothing when that cannot be
    // said (the statement is then run, and refused, as typed).
    const std::size_t from = console::findKeyword(statement, "from", true);
    if (from == std::string::npos) return std::nullopt;
    try {
        engine::Database database(std::filesystem::path(m_data1->databaseName().toStdString()),
                                  {.readOnly = true});
        const auto rows = database.openRecordset("select count(*) " + statement.substr(from));
        return std::get<std::int64_t>(rows->value(std::size_t{0}));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void Form1::runQuery() {
    if (pChar.isEmpty()) pChar = QString::fromStdString(console::DefaultParameterMarker);
    const QString startTime = now();
    const std::string typed = m_text1->statementText().toStdString();

    console::PreparedStatement prepared;
    // Cancel in a parameter prompt stops the run: nothing runs and nothing is logged (an empty value
    // in "like '~x~*'" would match every record).
    struct Cancelled {};
    try {
        step([&] {
            prepared = console::prepareStatement(
                typed, pChar.toStdString(),
                [this](const std::string& text, const std::string& title, const std::string& answer) {
                    bool cancelled = false;
                    const QString value =
                        m_dialogs.prompt(QString::fromStdString(text), QString::fromStdString(title),
                                         QString::fromStdString(answer), &cancelled);
                    if (cancelled) throw Cancelled{};
                    return value.toStdString();
                });
            ParCount = prepared.parCount;
            ParName.clear();
            ParValue.clear();
            for (const console::Parameter& parameter : prepared.parameters) {
                while (ParName.size() <= parameter.index) {
                    ParName.append(QString());
                    ParValue.append(QString());
                }
                ParName[parameter.index] = QString::fromStdString(parameter.name);
                ParValue[parameter.index] = QString::fromStdString(parameter.value);
            }
        });
    } catch (const Cancelled&) {
        return;
    }
    const QString statement = QString::fromStdString(prepared.text);
    const bool select = console::isSelect(typed);
    QElapsedTimer running; // for the status bar: the statement's own time, not the prompts'
    running.start();

    bool declined = false;
    std::optional<std::int64_t> changed; // records a statement that ran changed
    if (select) {
        // Only a select names the table shown; the parts come from the prepared text.
        step([&] {
            const console::SelectParts parts = console::selectParts(prepared.text);
            Tabela = QString::fromStdString(parts.tabela);
            FldCount = 0;
            for (std::size_t i = 0; i < parts.fldExp.size(); ++i) {
                const QString item = QString::fromStdString(parts.fldExp[i]);
                if (qsizetype(i) < FldExp.size())
                    FldExp[qsizetype(i)] = item;
                else
                    FldExp.append(item);
            }
            FldCount = std::int16_t(parts.fldCount);
        });
        step([&] { m_data1->setRecordSource(statement); });
    } else {
        // What destroys records or a table is asked first, showing the statement as it will run (its
        // parameters filled in); Enter answers No.
        std::string confirmation;
        if (console::isDelete(typed)) {
            confirmation = console::deleteConfirmation(prepared.text);
            if (const auto count = recordsToDelete(prepared.text))
                confirmation += "\r\n" + std::to_string(*count) + (*count == 1 ? " record" : " records") +
                                " will be deleted.";
        } else if (console::isDropTable(typed))
            confirmation = console::dropConfirmation(prepared.text);
        declined =
            !confirmation.empty() && !m_dialogs.question(QString::fromStdString(confirmation), {}, false);
        if (!declined) {
            platform::BusyPointer busy(m_dialogs);
            // Only a result that opened is shown again afterwards: a source that failed would only
            // report its failure once more.
            const bool hadResult = m_data1->recordset() != nullptr;
            // The folder is opened exclusively for the statement, so Data1 lets go of its tables first.
            step([&] { m_data1->close(); });
            step([&] {
                engine::Database database(std::filesystem::path(m_data1->databaseName().toStdString()),
                                          {.exclusive = true});
                changed = database.execute(prepared.text);
            });
            // A table the statement made or dropped shows in or leaves the file list at once.
            if (changed) m_file1->reload();
            if (hadResult) {
                step([&] { m_data1->refresh(); });
                step([&] { m_data1->completeCount(); });
            }
        }
    }

    if (select || declined) {
        if (!m_data1->recordSource().isEmpty()) step([&] { m_data1->refresh(); });
        if (declined && !m_file1->fileName().isEmpty()) step([&] { m_browser->openSelectedTable(); });
        step([&] { m_data1->completeCount(); });
    }

    const QString endTime = now();
    ranFor(running.nsecsElapsed() / 1e9);
    step([&] {
        if (declined && m_data1->recordset())
            showPosition(); // nothing ran: the grid shows where it stands, as before
        else if (engine::Recordset* rows = m_data1->recordset())
            m_data1->setCaption(QString::number(rows->recordCount()));
        else
            m_data1->setCaption(QStringLiteral("0/0")); // an empty grid (a select that failed, say)
    });
    if (changed)
        m_data1->setCaption(QString::number(*changed) + (*changed == 1 ? " record" : " records") +
                            " changed");
    console::LogEntry entry;
    entry.date = console::logDate(QDate::currentDate()).toStdString();
    entry.time = now().toStdString();
    entry.startTime = startTime.toStdString();
    entry.endTime = endTime.toStdString();
    entry.folder = m_data1->databaseName().toStdString();
    entry.statement = prepared.text;
    if (const std::optional<engine::Error> failure =
            console::appendLogRecord(m_programFolder.queryLog(), entry))
        m_dialogs.message(QString::fromStdString(failure->description()));
    refreshCaption();
}

} // namespace app
