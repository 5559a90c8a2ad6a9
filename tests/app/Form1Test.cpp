// The main window driven through its named controls: start-up, opening a table, Enter in the query
// box with selects, parameters, an update and a declined delete, and the query log.
#include "app/Form1Fixture.h"
#include "app/QueryAssist.h"
#include "browser/DriveList.h"
#include "browser/FileList.h"
#include "browser/FolderList.h"
#include "datagrid/ResultGrid.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QMenuBar>
#include <QPushButton>

using namespace form1test;

TEST_F(Form1Test, TheLogButtonMenuKeysAndTheQueryBoxFocus) {
    open(folder());
    // The log button hands the log file to the text editor.
    QTest::mouseClick(named<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(m_editor.opened(), QStringList{q(m_program / "sql.txt")});

    // A menu key wins over the query box's own use of it; Ctrl+Return only breaks the line.
    QAction* autofit = named<QAction>("mnuAutofit");
    autofit->setEnabled(true);
    int fitted = 0;
    QObject::connect(autofit, &QAction::triggered, [&] { ++fitted; });
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    app::QueryBox* box = m_form->queryBox();
    box->setFocus();
    box->setPlainText("select a");
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(fitted, 1);
    m_form->grid()->setFocus();
    QTest::keyClick(m_form->grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(fitted, 2);
    // Tabbing into the box selects the whole of it, so typing replaces the last statement.
    box->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(box->textCursor().selectedText(), "select a");
    // The focus coming back after a menu or a message box closed leaves the caret where it was.
    box->moveCursor(QTextCursor::End);
    m_form->grid()->setFocus();
    box->setFocus(Qt::PopupFocusReason);
    EXPECT_TRUE(box->textCursor().selectedText().isEmpty());
    m_form->grid()->setFocus();
    box->setFocus(Qt::ActiveWindowFocusReason);
    EXPECT_TRUE(box->textCursor().selectedText().isEmpty());
    // Nor does a choice right after a saved query was placed there, once.
    m_form->grid()->setFocus();
    m_form->UUpit = -1;
    box->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(box->textCursor().selectedText().isEmpty());
    // A click into the box selects all of it too; a click while it has the focus places the caret.
    m_form->grid()->setFocus();
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(box->textCursor().selectedText(), "select a");
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_TRUE(box->textCursor().selectedText().isEmpty());
    box->moveCursor(QTextCursor::End);
    EXPECT_EQ(m_form->UUpit, 0);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_B);
    EXPECT_EQ(box->statementText(), "select a\r\nb");
    // Typing refreshes the title; nothing ran.
    EXPECT_EQ(m_form->windowTitle(), folder() + "/  -  ");
    EXPECT_EQ(m_form->dataSource()->recordset(), nullptr);
}

TEST_F(Form1Test, StartsFromTheCommandLine) {
    writeFile(m_program / "brindle.ini", "/nowhere\r\n#\r\n");
    open("\"" + q(m_data / "ORDERS.DBF") + "\"");
    EXPECT_EQ(m_form->Putanja, folder() + "/");
    EXPECT_EQ(named<browser::FolderList>("Dir1")->path(), folder());
    EXPECT_EQ(named<browser::FileList>("File1")->fileName(), "ORDERS.DBF");
    // The parameter character survives the folder change's rewrite of the settings file.
    EXPECT_EQ(m_form->pChar, "#");
    EXPECT_EQ(readFile(m_program / "brindle.ini"), m_data.path().string() + "\r\n#\r\n");
    EXPECT_EQ(m_form->dataSource()->recordset(), nullptr);
    EXPECT_EQ(m_form->windowTitle(), "Select");

    // A relative path is taken from the current folder; a folder opens that folder.
    const QString before = QDir::currentPath();
    QDir::setCurrent(folder());
    open("ORDERS.DBF");
    QDir::setCurrent(before);
    EXPECT_EQ(m_form->Putanja, folder() + "/");
    EXPECT_EQ(named<browser::FileList>("File1")->fileName(), "ORDERS.DBF");
    open(folder());
    EXPECT_EQ(named<browser::FolderList>("Dir1")->path(), folder());
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
}

TEST_F(Form1Test, StartsFromTheSettingsFile) {
    // A first start: no message, the program's folder and the default marker, which are recorded.
    open("");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
    EXPECT_EQ(named<browser::FolderList>("Dir1")->path(), q(m_program.path()));
    EXPECT_EQ(m_form->pChar, "~");

    writeFile(m_program / "brindle.ini", m_data.path().string() + "\r\n#\r\n");
    open("");
    EXPECT_EQ(m_form->Putanja, folder());
    EXPECT_EQ(m_form->pChar, "#");
    EXPECT_EQ(named<browser::FolderList>("Dir1")->path(), folder());
    EXPECT_EQ(named<browser::FileList>("File1")->count(), 1);
    EXPECT_TRUE(m_dialogs.messages().isEmpty());

    // A settings file that cannot be read is reported as a start-up failure.
    std::filesystem::remove(m_program / "brindle.ini");
    std::filesystem::create_directory(m_program / "brindle.ini");
    m_dialogs.expectMessage();
    m_dialogs.expectMessage(); // the folder change cannot rewrite it either
    open("");
    ASSERT_EQ(m_dialogs.messages().size(), 2);
    EXPECT_TRUE(m_dialogs.messages()[0].endsWith(" (Form Load) Form1"))
        << m_dialogs.messages()[0].toStdString();
    EXPECT_FALSE(m_dialogs.messages()[1].contains("Form Load"));
    EXPECT_EQ(named<browser::FolderList>("Dir1")->path(), q(m_program.path()));
}

TEST_F(Form1Test, EnterInTheFileListOpensTheTable) {
    open(q(m_data / "ORDERS.DBF"));
    auto* files = named<browser::FileList>("File1");
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(m_form->grid()->model()->rowCount(), 3);
    EXPECT_EQ(caption(), "1/3");

    // Moving in the grid shows the position.
    m_form->grid()->setCurrentIndex(m_form->grid()->model()->index(2, 0));
    EXPECT_EQ(caption(), "3/3");

    // An empty table shows no position at all, not the last table's.
    testsupport::writeTable(m_data / "EMPTY.DBF", {{"ITEM", 'C', 10, 0}}, {});
    files->reload();
    files->selectFile("EMPTY.DBF");
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(m_form->grid()->model()->rowCount(), 0);
    EXPECT_EQ(caption(), "0/0");
}

TEST_F(Form1Test, ResizingTheWindowLaysTheControlsOut) {
    open(folder());
    auto* client = named<QWidget>("Form1Client");
    QWidget* grid = m_form->grid();
    const QSize before = grid->size();
    // The grid takes what the window gains (which control takes how much is Layout's arithmetic).
    m_form->resize(m_form->width() + 300, m_form->height() + 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->width() > before.width(); }));
    EXPECT_NEAR(grid->height(), before.height() + 200, 1);
    // Below the smallest size at which the layout holds, the window stops shrinking.
    m_form->resize(50, 50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->width() < before.width(); }));
    EXPECT_GE(client->width(), client->minimumWidth());
    EXPECT_GE(client->height(), client->minimumHeight());
}

TEST_F(Form1Test, SelectShowsItsRowsAndIsLogged) {
    open(folder());
    enter("select ITEM, QTY from orders where QTY > 10");
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(rows().recordCount(), 2);
    EXPECT_EQ(m_form->grid()->model()->rowCount(), 2);
    EXPECT_EQ(m_form->grid()->model()->index(1, 0).data().toString().trimmed(), "screws");
    EXPECT_EQ(m_form->dataSource()->recordSource(), "select ITEM, QTY from orders where QTY > 10");
    // The bare count stays until the current row moves.
    EXPECT_EQ(caption(), "2");
    EXPECT_EQ(m_form->windowTitle(), folder() + "/  -  orders");
    // The Enter that ran is used up, and the statement is selected: Enter runs it again, typing replaces it.
    EXPECT_EQ(m_form->queryBox()->statementText(), "select ITEM, QTY from orders where QTY > 10");
    EXPECT_EQ(m_form->queryBox()->textCursor().selectedText(), "select ITEM, QTY from orders where QTY > 10");
    const std::vector<std::string> log = lines(readFile(m_program / "sql.txt"));
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2], m_data.path().string());
    EXPECT_EQ(log[3], "select ITEM, QTY from orders where QTY > 10");

    // Parameters are asked for and substituted; the log records the prepared statement.
    m_dialogs.expectPrompt("12");
    enter("select * from orders where QTY = ~min~");
    EXPECT_EQ(rows().recordCount(), 1);
    EXPECT_EQ(m_form->parNames().value(1), "min");
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).at(8), "select * from orders where QTY = 12");

    // Ctrl+Return only breaks the line; the keypad's Enter runs the statement over both lines.
    app::QueryBox* box = m_form->queryBox();
    box->setPlainText("select ITEM from orders");
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(box->statementText(), "select ITEM from orders\r\n");
    EXPECT_EQ(m_form->dataSource()->recordSource(), "select * from orders where QTY = 12");
    QTest::keyClicks(box, "where QTY < 10");
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(m_form->dataSource()->recordSource(), "select ITEM from orders\r\nwhere QTY < 10");
    EXPECT_EQ(rows().recordCount(), 1);
    const std::vector<std::string> all = lines(readFile(m_program / "sql.txt"));
    ASSERT_EQ(all.size(), 16u);
    EXPECT_EQ(all[13], "select ITEM from orders");
    EXPECT_EQ(all[14], "where QTY < 10");
}

TEST_F(Form1Test, UpdateChangesTheFile) {
    open(folder());
    // Nothing is bound yet: the statement runs and nothing else is reported.
    enter("update orders set QTY = 99 where ITEM = 'bolts'");
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(m_form->Tabela.toString(), "");
    // Another program reads the changed record, and only that one.
    EXPECT_EQ(
        testsupport::cells(testsupport::dbfread(m_data / "ORDERS.DBF")),
        (enginetest::Rows{{"text:nails", "int:40"}, {"text:screws", "int:12"}, {"text:bolts", "int:99"}}));

    // With a table shown, the grid shows the changed data.
    enter("select * from orders");
    enter("update orders set QTY = QTY + 1");
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(m_form->grid()->model()->index(0, 1).data().toString().trimmed(), "41");
    EXPECT_EQ(caption(), "3 records changed");
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 15u);

    // A statement the engine refuses is reported once, and still logged.
    m_dialogs.expectMessage();
    enter("update nosuch set QTY = 1");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 20u);
    EXPECT_EQ(caption(), "3");

    // A select that fails leaves an empty grid that says so; the update after it shows no old error.
    m_dialogs.expectMessage();
    enter("select nosuch from orders");
    EXPECT_EQ(caption(), "0/0");
    enter("update orders set QTY = QTY - 1 where ITEM = 'nails'");
    EXPECT_EQ(m_dialogs.messages().size(), 2) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(caption(), "1 record changed");
    // A table a statement makes shows in the file list at once, and leaves it when dropped.
    auto* files = named<browser::FileList>("File1");
    enter("create table extra (name text(10))");
    EXPECT_TRUE(files->findItems("extra.dbf", Qt::MatchFixedString).size() == 1);
    m_dialogs.expectQuestion(true);
    enter("drop table extra");
    EXPECT_TRUE(files->findItems("extra.dbf", Qt::MatchFixedString).isEmpty());
}

TEST_F(Form1Test, DeclinedDeleteLeavesTheFileAsItWas) {
    open(q(m_data / "ORDERS.DBF"));
    const std::string before = readFile(m_data / "ORDERS.DBF");
    m_dialogs.expectQuestion(false);
    enter("\n\ndelete from orders where QTY > 10");
    EXPECT_EQ(readFile(m_data / "ORDERS.DBF"), before);
    // The selected table is shown where it stands, and the run is logged.
    EXPECT_EQ(rows().recordCount(), 3);
    EXPECT_EQ(caption(), "1/3");
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 7u);

    // The question shows the statement with its parameters filled in, and Enter answers No.
    m_dialogs.expectPrompt("10");
    m_dialogs.expectQuestion(false);
    enter("delete from orders where QTY > ~n~");
    EXPECT_EQ(m_dialogs.calls().back().text,
              "Are you sure you want to delete  from orders where QTY > 10?\r\n2 records will be deleted.");
    EXPECT_EQ(m_dialogs.calls().back().defaultAnswer, "No");
    EXPECT_EQ(readFile(m_data / "ORDERS.DBF"), before);

    // Cancel in a parameter prompt stops the run: nothing is asked, run or logged.
    m_dialogs.expectPromptCancelled();
    enter("delete from orders where ITEM like '~part~*'");
    EXPECT_EQ(readFile(m_data / "ORDERS.DBF"), before);
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 12u);

    m_dialogs.expectQuestion(true);
    enter("delete from orders where QTY > 10");
    engine::Database database(m_data.path());
    EXPECT_EQ(enginetest::rowsOf(*database.openRecordset("orders")).size(), 1u);
}

TEST_F(Form1Test, EnterRunsTheStatementAgainAndTypingReplacesIt) {
    open(folder());
    app::QueryBox* box = named<app::QueryBox>("Text1");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(box, "select * from orders where QTY > 10");
    for (int run = 0; run < 3; ++run) {
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->statementText(), "select * from orders where QTY > 10") << run;
        EXPECT_EQ(rows().recordCount(), 2);
    }
    // The next statement typed replaces the last one instead of joining it on a new line.
    QTest::keyClicks(box, "select * from orders where QTY < 10");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->statementText(), "select * from orders where QTY < 10");
    EXPECT_EQ(rows().recordCount(), 1);
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 20u) << "four runs of five log lines";

    // Ctrl+Up and Ctrl+Down walk through the logged statements, newest first; past the newest the text
    // typed before comes back.
    QTest::keyClicks(box, "select 'draft'");
    QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(box->statementText(), "select * from orders where QTY < 10");
    QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(box->statementText(), "select * from orders where QTY > 10");
    QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier); // the oldest: it stays
    EXPECT_EQ(box->statementText(), "select * from orders where QTY > 10");
    QTest::keyClick(box, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(box->statementText(), "select 'draft'");
    QTest::keyClick(box, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(rows().recordCount(), 1);
}

TEST_F(Form1Test, KeyboardGoesRoundTheControlsAndLeavesTheGrid) {
    open(q(m_data / "ORDERS.DBF"));
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    auto* files = named<browser::FileList>("File1");
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Return);
    // F6 goes on to the query box, which selects its text, then to the grid; Shift+F6 goes back.
    files->setFocus();
    QTest::keyClick(files, Qt::Key_F6);
    app::QueryBox* box = m_form->queryBox();
    ASSERT_TRUE(box->hasFocus());
    EXPECT_EQ(box->textCursor().selectedText(), box->toPlainText());
    QTest::keyClick(box, Qt::Key_F6);
    datagrid::ResultGrid* grid = m_form->grid();
    ASSERT_TRUE(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(box->hasFocus());
    // In the grid Ctrl+Tab moves to the next cell; Tab leaves the grid.
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(grid->currentIndex().column(), 1);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_FALSE(grid->hasFocus());
    // The menus have their access keys.
    EXPECT_EQ(m_form->menuBar()->actions().value(0)->text(), "&Results");
}

// The query box colours the parts of a statement and offers the folder's names on Ctrl+Space; Enter in
// the list of names takes one and runs nothing.
TEST_F(Form1Test, ColoursAndNamesInTheQueryBox) {
    EXPECT_EQ(
        app::SqlHighlighter::classify("select [a b], 'it''s' from t where d > #1/2/2003# and x = ~who~", "~"),
        "kkkkkk.nnnnn..sssssss.kkkk...kkkkk.....dddddddddd.kkk.....ppppp");
    open(folder());
    app::QueryBox* box = named<app::QueryBox>("Text1");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(box, "select qt");
    QTest::keyClick(box, Qt::Key_Space, Qt::ControlModifier);
    QCompleter* names = box->completer();
    ASSERT_NE(names, nullptr);
    ASSERT_TRUE(names->popup()->isVisible());
    EXPECT_EQ(names->currentCompletion(), "QTY");
    QTest::keyClick(names->popup(), Qt::Key_Return);
    EXPECT_EQ(box->statementText(), "select QTY");
    EXPECT_FALSE(std::filesystem::exists(m_program / "sql.txt")) << "Enter took a name and ran nothing";
    // Typing on narrows the names offered.
    QTest::keyClicks(box, " from ");
    QTest::keyClick(box, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClicks(box, "ord");
    ASSERT_TRUE(names->popup()->isVisible());
    EXPECT_EQ(names->currentCompletion(), "ORDERS");
    QTest::keyClick(names->popup(), Qt::Key_Return);
    EXPECT_EQ(box->statementText(), "select QTY from ORDERS");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(rows().recordCount(), 3);
}
