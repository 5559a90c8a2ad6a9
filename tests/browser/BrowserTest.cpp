// The three lists driven through their widgets: folder changes and the settings file, the table
// listing, opening a table by Enter or double-click, and the failures that are reported.
#include "browser/Browser.h"

#include "browser/DriveList.h"
#include "browser/FileList.h"
#include "browser/FolderList.h"
#include "datagrid/DataSource.h"
#include "engine/EngineTestSupport.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using browser::Browser;
using browser::DriveList;
using browser::FileList;
using browser::FolderList;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

using testsupport::application;
using testsupport::q;
using testsupport::writeOrders;

class BrowserTest : public ::testing::Test {
protected:
    testsupport::ApplicationFirst m_application;

    TempDir m_program;
    TempDir m_data;
    DriveList m_drives{QStringList{"/"}};
    FolderList m_folders;
    FileList m_files;
    testsupport::ScriptedDialogs m_dialogs;
    datagrid::DataSource m_source;

    // The window-level state as the window would hold it.
    QString m_putanja = "/home/default";
    QString m_pChar = "#";
    QString m_tabela;
    QString m_title;
    QStringList m_fldExp = {"a", "b", "c", "d", "kept"};
    int m_fldCount = 3;

    std::unique_ptr<Browser> m_browser;

    void SetUp() override {
        browser::WindowState state;
        state.defaultFolder = [this] { return m_putanja; };
        state.parameterChar = [this] { return m_pChar; };
        state.setTable = [this](const QString& t) { m_tabela = t; };
        state.clearSelectList = [this] {
            for (int i = 0; i <= m_fldCount; ++i)
                m_fldExp[i].clear();
            m_fldCount = 0;
        };
        state.setWindowTitle = [this](const QString& t) { m_title = t; };
        m_folders.show();
        m_files.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_folders));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_files));
        m_browser = std::make_unique<Browser>(m_drives, m_folders, m_files, m_dialogs, m_source,
                                              testsupport::programFolder(m_program), state);
    }

    void TearDown() override { m_dialogs.expectScriptDone(); }

    std::string settingsBytes() { return readFile(m_program / "brindle.ini"); }

    QStringList listed() {
        QStringList names;
        for (int i = 0; i < m_files.count(); ++i)
            names << m_files.item(i)->text();
        return names;
    }

    QRect rectOf(QListWidget& list, const QString& text) {
        const auto found = list.findItems(text, Qt::MatchFixedString);
        EXPECT_EQ(found.size(), 1) << text.toStdString();
        return found.isEmpty() ? QRect() : list.visualItemRect(found.first());
    }

    // A double-click as the system delivers it: a press and release, then the second press.
    static void doubleClick(QListWidget& list, const QPoint& point) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, point);
    }

    int rowOf(QListWidget& list, const QString& text) {
        const auto found = list.findItems(text, Qt::MatchEndsWith);
        return found.isEmpty() ? -1 : list.row(found.first());
    }
};

TEST_F(BrowserTest, FolderChangesFollowAndRewriteTheSettingsFile) {
    std::filesystem::create_directory(m_data / "empty");
    writeOrders(m_data / "ORDERS.DBF");
    m_folders.setPath(q(m_data.path()));
    EXPECT_EQ(settingsBytes(), m_data.path().string() + "\r\n#\r\n");
    EXPECT_EQ(m_files.folder(), q(m_data.path()));
    EXPECT_EQ(m_files.pattern(), "*.dbf");
    EXPECT_EQ(m_source.databaseName(), q(m_data.path()));
    EXPECT_EQ(listed(), QStringList{"ORDERS.DBF"});

    // Enter on a highlighted subfolder opens it; the settings file gets the current pChar.
    m_pChar = "";
    m_folders.setFocus();
    const int row = rowOf(m_folders, "empty");
    ASSERT_GE(row, 0);
    m_folders.setCurrentRow(row);
    QTest::keyClick(&m_folders, Qt::Key_Down); // other keys only move the highlight
    EXPECT_EQ(m_folders.path(), q(m_data.path()));
    m_folders.setCurrentRow(row);
    QTest::keyClick(&m_folders, Qt::Key_Return);
    const std::string empty = (m_data / "empty").string();
    EXPECT_EQ(m_folders.path(), QString::fromStdString(empty));
    EXPECT_EQ(settingsBytes(), empty + "\r\n\r\n");
    // No tables there: an empty list, and Data1 still points at the folder.
    EXPECT_EQ(m_files.count(), 0);
    EXPECT_EQ(m_source.databaseName(), QString::fromStdString(empty));

    // A double-click on the parent among the ancestors goes back up.
    m_pChar = "~";
    const int parent = rowOf(m_folders, m_data.path().filename().string().c_str());
    ASSERT_GE(parent, 0);
    doubleClick(m_folders, m_folders.visualItemRect(m_folders.item(parent)).center());
    EXPECT_EQ(m_folders.path(), q(m_data.path()));
    EXPECT_EQ(settingsBytes(), m_data.path().string() + "\r\n~\r\n");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(BrowserTest, TablesListedWithoutRegardToCase) {
    writeOrders(m_data / "ORDERS.DBF");
    writeOrders(m_data / "sales.dbf");
    writeOrders(m_data / "Mixed.Dbf");
    writeFile(m_data / "notes.txt", "x");
    writeFile(m_data / "orders.dbf.bak", "x");
    std::filesystem::create_directory(m_data / "folder.dbf");
    m_folders.setPath(q(m_data.path()));
    EXPECT_EQ(listed(), (QStringList{"Mixed.Dbf", "ORDERS.DBF", "sales.dbf"}));
}

TEST_F(BrowserTest, EnterOpensLikeDoubleClickAndOtherKeysDoNot) {
    writeOrders(m_data / "ORDERS.DBF");
    writeOrders(m_data / "sales.dbf");
    m_folders.setPath(q(m_data.path()));
    m_files.show();

    // A single click only selects.
    QTest::mouseClick(m_files.viewport(), Qt::LeftButton, {}, rectOf(m_files, "sales.dbf").center());
    EXPECT_EQ(m_files.fileName(), "sales.dbf");
    EXPECT_TRUE(m_title.isEmpty());
    EXPECT_EQ(m_source.recordset(), nullptr);

    m_files.setFocus();
    QTest::keyClick(&m_files, Qt::Key_Up);
    QTest::keyClick(&m_files, Qt::Key_Space);
    QTest::keyClick(&m_files, Qt::Key_Tab);
    EXPECT_EQ(m_files.fileName(), "ORDERS.DBF");
    EXPECT_TRUE(m_title.isEmpty());
    EXPECT_EQ(m_source.recordset(), nullptr);

    QTest::keyClick(&m_files, Qt::Key_Return);
    ASSERT_NE(m_source.recordset(), nullptr);
    EXPECT_EQ(m_source.recordSource(), "ORDERS.DBF");
    EXPECT_EQ(m_tabela, "ORDERS");
    EXPECT_EQ(m_source.recordset()->recordCount(), 3);
    EXPECT_EQ(m_source.recordset()->absolutePosition(), 0);

    // A double-click on the other table does the same.
    m_title.clear();
    doubleClick(m_files, rectOf(m_files, "sales.dbf").center());
    EXPECT_EQ(m_source.recordSource(), "sales.dbf");
    EXPECT_EQ(m_tabela, "sales");
    EXPECT_EQ(m_title, "/home/default  -  sales");
    EXPECT_EQ(m_source.recordset()->recordCount(), 3);
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(BrowserTest, OpeningEmptiesTheSelectListAndTitlesWithTheDefaultFolder) {
    std::filesystem::create_directory(m_data / "sub");
    writeOrders(m_data / "sub" / "ORDERS.DBF");
    m_folders.setPath(q(m_data.path()));
    m_folders.setPath(q(m_data / "sub"));
    m_files.selectFile("orders.dbf");
    m_browser->openSelectedTable();

    EXPECT_EQ(m_fldExp, (QStringList{"", "", "", "", "kept"}));
    EXPECT_EQ(m_fldCount, 0);
    EXPECT_EQ(m_tabela, "ORDERS");
    // The title begins with the default folder, not the folder of the table.
    EXPECT_EQ(m_title, "/home/default  -  ORDERS");
    EXPECT_EQ(m_source.databaseName(), q(m_data / "sub"));
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(BrowserTest, TableThatCannotBeOpenedGivesTheEngineMessageAndTheTitle) {
    writeFile(m_data / "broken.dbf", "this is not a table");
    m_folders.setPath(q(m_data.path()));

    // The engine's own description, as opening the source directly gives it.
    datagrid::DataSource direct;
    direct.setDatabaseName(q(m_data.path()));
    direct.setRecordSource("broken.dbf");
    QString expected;
    try {
        direct.refresh();
    } catch (const engine::Error& error) {
        expected = QString::fromStdString(error.description());
    }
    direct.close();
    ASSERT_FALSE(expected.isEmpty());

    m_files.selectFile("broken.dbf");
    m_dialogs.expectMessage();
    m_files.setFocus();
    QTest::keyClick(&m_files, Qt::Key_Enter);
    EXPECT_EQ(m_dialogs.messages(), QStringList{expected});
    EXPECT_EQ(m_dialogs.calls().first().title, QString());
    EXPECT_EQ(m_tabela, "broken");
    EXPECT_EQ(m_title, "/home/default  -  broken");
    EXPECT_EQ(m_source.recordset(), nullptr);
}

TEST_F(BrowserTest, FailuresAreReportedOnceAndTheListsStay) {
    writeOrders(m_data / "ORDERS.DBF");
    // A settings file that cannot be replaced: one message, the other steps still done.
    std::filesystem::create_directory(m_program / "brindle.ini");
    m_dialogs.expectMessage();
    m_folders.setPath(q(m_data.path()));
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages().first().contains("brindle.ini"))
        << m_dialogs.messages().first().toStdString();
    EXPECT_EQ(listed(), QStringList{"ORDERS.DBF"});
    EXPECT_EQ(m_source.databaseName(), q(m_data.path()));
    std::filesystem::remove(m_program / "brindle.ini");

    // A subfolder removed behind the list's back: Enter reports it once and the list stays.
    std::filesystem::create_directory(m_data / "gone");
    m_folders.reload();
    std::filesystem::remove(m_data / "gone");
    m_folders.setCurrentRow(rowOf(m_folders, "gone"));
    m_dialogs.expectMessage();
    QTest::keyClick(&m_folders, Qt::Key_Return);
    EXPECT_EQ(m_dialogs.messages().size(), 2);
    EXPECT_EQ(m_folders.path(), q(m_data.path()));
    EXPECT_FALSE(std::filesystem::exists(m_program / "brindle.ini"));
}

TEST(DriveListTest, PickingADriveMovesTheFolderListAndAnUnreadyOneDoesNot) {
    application();
    TempDir program;
    TempDir data;
    std::filesystem::create_directory(data / "sub");
    // The temporary folder stands in for a second volume.
    const QString volume = q(data.path());
    const QString missing = "/no-such-volume-" + QString::number(QCoreApplication::applicationPid());
    DriveList drives{QStringList{"/", missing, volume}};
    FolderList folders;
    FileList files;
    testsupport::ScriptedDialogs dialogs;
    datagrid::DataSource source;
    browser::WindowState state;
    state.parameterChar = [] { return QString("~"); };
    Browser linked(drives, folders, files, dialogs, source, testsupport::programFolder(program), state);
    folders.setPath(q(data / "sub"));
    EXPECT_EQ(drives.drive(), volume); // the drive list follows the folder

    dialogs.expectMessage();
    drives.setCurrentIndex(1);
    EXPECT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(folders.path(), q(data / "sub"));
    EXPECT_EQ(drives.drive(), volume);

    drives.setCurrentIndex(0);
    EXPECT_EQ(folders.path(), "/");
    EXPECT_EQ(readFile(program / "brindle.ini"), "/\r\n~\r\n");
    drives.setCurrentIndex(2);
    EXPECT_EQ(folders.path(), volume);
    EXPECT_EQ(readFile(program / "brindle.ini"), data.path().string() + "\r\n~\r\n");
    dialogs.expectScriptDone();
}

} // namespace
