// Form1: saving the query box, the Queries window, direct display, and the export and import of
// saved queries.
#include "app/Form1.h"
#include "app/FrmUpiti.h"
#include "app/QueryBox.h"
#include "engine/Database.h"
#include "platform/Dialogs.h"
#include "saved/QueryExport.h"
#include "saved/SavedQueries.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>

namespace app {

void Form1::saveQuery() {
    const QString name = m_dialogs.prompt(QStringLiteral("Enter name for query :"));
    if (name.isEmpty()) return;
    step([&] {
        const std::unique_ptr<engine::Database> db = saved::openDatabase(m_programFolder);
        saved::addQuery(*db, name, m_text1->statementText());
    });
}

void Form1::showQueries() {
    if (!m_frmUpiti) m_frmUpiti = new FrmUpiti(*this, m_dialogs, m_programFolder);
    m_frmUpiti->showWindow();
}

void Form1::toggleDirectDisplay() {
    QAction* mark = findChild<QAction*>(QStringLiteral("mnuDirUpit"));
    if (m_directDisplay) {
        m_directDisplay = false;
        if (mark) mark->setChecked(false);
        for (QPushButton* button : {m_command1, m_command2, m_command3})
            button->show();
        m_list1->hide();
        applyLayout();
        return;
    }

    // The table is read before anything changes, so that a missing one leaves the window as it was.
    std::vector<saved::SavedQuery> queries;
    if (!step([&] {
            const std::unique_ptr<engine::Database> db = saved::openDatabase(m_programFolder);
            queries = saved::listQueries(*db, saved::Order::ByName);
        })) {
        if (mark) mark->setChecked(false);
        return;
    }
    m_directDisplay = true;
    if (mark) mark->setChecked(true);
    for (QPushButton* button : {m_command1, m_command2, m_command3})
        button->hide();
    m_list1->clear();
    UpitTxt.clear();
    for (const saved::SavedQuery& query : queries) {
        m_list1->addItem(query.name);
        UpitTxt.append(query.text);
    }
    m_list1->show();
    applyLayout();
    m_list1->setFocus();
}

void Form1::runListedQuery(int row) {
    if (row < 0 || row >= UpitTxt.size()) return;
    m_text1->setPlainText(UpitTxt.at(row).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    runQuery();
}

void Form1::exportQueries() {
    const QString path = m_dialogs.saveFileName();
    if (path.isEmpty()) return;
    // One failure ends the export; the file is written whole or not at all.
    step([&] {
        const std::unique_ptr<engine::Database> db = saved::openDatabase(m_programFolder);
        saved::exportQueries(*db, path);
    });
}

void Form1::importQueries() {
    m_dialogs.message(QStringLiteral("Currently unavailable."));
}

} // namespace app
