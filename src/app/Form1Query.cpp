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
#include <QTime>
#include <filesystem>

namespace app {

namespace {

QString now() {
    return console::logTime(QTime::currentTime());
}

} // namespace

void Form1::runQuery() {
    if (pChar.isEmpty()) pChar = QString::fromStdString(console::DefaultParameterMarker);
    const QString startTime = now();
    const std::string typed = m_text1->statementText().toStdString();

    console::PreparedStatement prepared;
    step([&] {
        prepared = console::prepareStatement(
            typed, pChar.toStdString(),
            [this](const std::string& text, const std::string& title, const std::string& answer) {
                return m_dialogs
                    .prompt(QString::fromStdString(text), QString::fromStdString(title),
                            QString::fromStdString(answer))
                    .toStdString();
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
    const QString statement = QString::fromStdString(prepared.text);
    const bool select = console::isSelect(typed);

    bool declined = false;
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
        declined = console::isDelete(typed) &&
                   !m_dialogs.question(QString::fromStdString(console::deleteConfirmation(typed)));
        if (!declined) {
            platform::BusyPointer busy(m_dialogs);
            // The folder is opened exclusively for the statement, so Data1 lets go of its tables first.
            step([&] { m_data1->close(); });
            step([&] {
                engine::Database database(std::filesystem::path(m_data1->databaseName().toStdString()),
                                          {.exclusive = true});
                database.execute(prepared.text);
            });
            if (!m_data1->recordSource().isEmpty()) {
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
    step([&] {
        if (engine::Recordset* rows = m_data1->recordset())
            m_data1->setCaption(QString::number(rows->recordCount()));
    });
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
