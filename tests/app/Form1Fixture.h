// The main window under test: a Form1 over a temporary program folder and a data folder holding
// ORDERS.DBF, with scripted dialogs and editor, and helpers that drive its named controls.
#pragma once

#include "app/Form1.h"
#include "app/QueryBox.h"
#include "datagrid/DataSource.h"
#include "engine/EngineTestSupport.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedTextEditor.h"

#include <QTest>
#include <gtest/gtest.h>

using app::Form1;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace form1test {

using testsupport::application;

inline QString q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

inline void writeOrders(const std::filesystem::path& path) {
    testsupport::writeTable(path, {{"ITEM", 'C', 10, 0}, {"QTY", 'N', 5, 0}},
                            {{std::string("nails"), std::int64_t{40}},
                             {std::string("screws"), std::int64_t{12}},
                             {std::string("bolts"), std::int64_t{7}}});
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
        result.push_back(text.substr(from, at - from));
    return result;
}

class Form1Test : public ::testing::Test {
protected:
    struct Application {
        Application() { application(); }
    } m_application;

    TempDir m_program;
    TempDir m_data;
    testsupport::ScriptedDialogs m_dialogs;
    testsupport::ScriptedTextEditor m_editor;
    std::unique_ptr<Form1> m_form;

    void SetUp() override { writeOrders(m_data / "ORDERS.DBF"); }

    void TearDown() override {
        m_form.reset();
        EXPECT_TRUE(m_dialogs.violations().isEmpty()) << m_dialogs.violations().join("; ").toStdString();
        EXPECT_EQ(m_dialogs.pending(), 0u);
    }

    Form1& open(const QString& commandLine) {
        m_form = std::make_unique<Form1>(m_dialogs, m_editor, platform::ProgramFolder(q(m_program.path())));
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

    QString folder() const { return q(m_data.path()); }
    QString caption() { return m_form->dataSource()->caption(); }
};

} // namespace form1test
