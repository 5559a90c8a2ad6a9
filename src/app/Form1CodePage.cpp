// Form1: the Code page command, which reads the open table's text in a code page the user picks.
#include "app/Form1.h"
#include "browser/CodePageChoices.h"
#include "datagrid/DataSource.h"
#include "datagrid/ValueText.h"
#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Recordset.h"
#include "platform/BusyPointer.h"
#include "platform/Dialogs.h"
#include "xbase/CodePageTables.h"

#include <QDir>
#include <QFileInfo>

namespace app {

namespace {

constexpr int PreviewRows = 12;

// The first rows of a table read in a code page, a line a row with the fields apart by " | ".
QString preview(const QString& file, const std::string& page) {
    const QFileInfo info(file);
    try {
        engine::DatabaseOptions options{.readOnly = true};
        if (!page.empty()) options.tableCodePages[info.fileName().toStdString()] = page;
        engine::Database db(std::filesystem::path(info.absolutePath().toStdString()), options);
        auto rows = db.openRecordset(info.fileName().toStdString());
        QString text;
        for (std::int64_t row = 0; row < PreviewRows && rows->fetch(row); ++row) {
            QStringList cells;
            for (std::size_t f = 0; f < rows->fieldCount(); ++f) {
                try {
                    cells.append(datagrid::displayText(rows->valueAt(row, f)));
                } catch (const engine::Error&) {
                    cells.append(QStringLiteral("#Error"));
                }
            }
            text += cells.join(QStringLiteral(" | ")) + QLatin1Char('\n');
        }
        return text;
    } catch (const engine::Error& e) {
        return QString::fromStdString(e.description());
    }
}

} // namespace

void Form1::codePageCommand() {
    engine::Recordset* rows = m_data1->recordset();
    const auto table = rows ? rows->table() : nullptr;
    if (!table) {
        m_dialogs.message(
            QStringLiteral("A code page is chosen for the text of one table: open a table first."));
        return;
    }
    const QString file = QString::fromStdString(table->path().string());
    const auto pages = xbase::cptables::knownPages();
    // The first line forgets the choice: the table's own page again, as its file says or its text suggests.
    QStringList items{QStringLiteral("As the table says or its text suggests")};
    int current = 0;
    const bool chosen = m_codePageChoices.count(QDir::cleanPath(file)) != 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        items.append(QString::fromLatin1(pages[i].name) + QStringLiteral(" - ") +
                     QString::fromLatin1(pages[i].description));
        if (chosen && table->codePage().name() == pages[i].name) current = int(i) + 1;
    }
    const int answer = m_dialogs.choose(
        QStringLiteral("Read the text of %1 in the code page:").arg(QFileInfo(file).fileName()), items,
        current,
        [&](int item) {
            return preview(file, item == 0 ? std::string() : pages[std::size_t(item) - 1].name);
        },
        QStringLiteral("Code page"));
    if (answer < 0) return;
    const QString page = answer == 0 ? QString() : QString::fromLatin1(pages[std::size_t(answer) - 1].name);
    step([&] { m_codePageChoices = browser::CodePageChoices(m_programFolder).choose(file, page); });
    // The same source again, its text now read in the chosen page.
    platform::BusyPointer busy(m_dialogs);
    step([&] { m_data1->refresh(); });
    step([&] { m_data1->completeCount(); });
}

} // namespace app
