// The main window under test: a Form1 over a temporary program folder and a data folder holding
// ORDERS.DBF, with scripted dialogs and editor, helpers that drive its named controls, and the table
// of saved queries.
#pragma once

#include "app/Form1.h"
#include "app/QueryBox.h"
#include "datagrid/DataSource.h"
#include "engine/EngineTestSupport.h"
#include "saved/SavedQueries.h"
#include "saved/TableLayout.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedTextEditor.h"

#include <QAction>
#include <QTest>
#include <gtest/gtest.h>

using app::Form1;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace form1test {

using testsupport::lines;
using testsupport::q;
using testsupport::writeOrders;
using Pairs = std::vector<std::pair<QString, QString>>;

class Form1Test : public ::testing::Test {
protected:
    testsupport::ApplicationFirst m_application;

    TempDir m_program;
    TempDir m_data;
    testsupport::ScriptedDialogs m_dialogs;
    testsupport::ScriptedTextEditor m_editor;
    std::unique_ptr<Form1> m_form;

    void SetUp() override { writeOrders(m_data / "ORDERS.DBF"); }

    void TearDown() override {
        m_form.reset();
        m_dialogs.expectScriptDone();
    }

    Form1& open(const QString& commandLine) {
        m_form = std::make_unique<Form1>(m_dialogs, m_editor, testsupport::programFolder(m_program));
        m_form->start(commandLine);
        m_form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
        return *m_form;
    }

    template <typename T> T* named(const char* name) {
        T* found = m_form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Chooses a command of the menus.
    void trigger(const char* action) {
        QAction* entry = named<QAction>(action);
        ASSERT_TRUE(entry->isEnabled()) << action;
        entry->trigger();
    }

    // Types a statement and presses Enter in the query box.
    void enter(const QString& statement) {
        app::QueryBox* box = named<app::QueryBox>("Text1");
        box->setPlainText(statement);
        box->moveCursor(QTextCursor::End);
        QTest::keyClick(box, Qt::Key_Return);
    }

    engine::Recordset& rows() {
        engine::Recordset* rs = m_form->dataSource()->recordset();
        if (!rs) throw std::runtime_error("no recordset");
        return *rs;
    }

    // The table of saved queries in the program folder, with these (name, text) rows.
    void makeTable(const std::vector<std::pair<std::string, std::string>>& rows = {}) {
        std::vector<testsupport::Row> values;
        for (const auto& [name, text] : rows)
            values.push_back({name, text});
        testsupport::writeTable(m_program / "upiti.dbf", saved::tableFields(), values,
                                saved::tableCodePage());
    }
    // Its rows as (name, text), in the order they are stored.
    Pairs stored() {
        Pairs pairs;
        for (const auto& query : saved::listQueries(
                 *saved::openDatabase(testsupport::programFolder(m_program)), saved::Order::Stored))
            pairs.emplace_back(query.name, query.text);
        return pairs;
    }

    QString folder() const { return q(m_data.path()); }
    QString caption() { return m_form->dataSource()->caption(); }
};

} // namespace form1test
