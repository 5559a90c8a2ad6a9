// The main window driven through its named controls: start-up, opening a table, Enter in the query
// box with selects, parameters, an update and a declined delete, and the query log.
#include "app/Form1Fixture.h"
#include "browser/DriveList.h"
#include "browser/FileList.h"
#include "browser/FolderList.h"
#include "datagrid/ResultGrid.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

using namespace form1test;

TEST_F(Form1Test, ControlsAndMenusCarryTheirNames) {
    open(folder());
    EXPECT_EQ(m_form->objectName(), "Form1");
    for (const char* name : {"Drive1", "Dir1", "File1", "Text1", "DBGrid1", "Data1Bar"})
        EXPECT_TRUE(named<QWidget>(name)->isVisible()) << name;
    EXPECT_EQ(named<QPushButton>("Command1")->text(), "Load SQL query from log file");
    EXPECT_EQ(named<QPushButton>("Command2")->text(), "Load query");
    EXPECT_EQ(named<QPushButton>("Command3")->text(), "Save query");
    EXPECT_FALSE(named<QListWidget>("List1")->isVisible());
    EXPECT_EQ(named<QMenu>("mnuKom")->title(), "Commands");
    EXPECT_EQ(named<QAction>("mnuSort")->text(), "Sort by");
    EXPECT_EQ(named<QAction>("mnuSort")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(named<QAction>("mnuAutofit")->shortcut(), QKeySequence("Ctrl+A"));
    EXPECT_EQ(named<QAction>("mnuHelp")->shortcut(), QKeySequence("F1"));

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
    // Taking the focus selects the whole box, so typing replaces the last statement.
    box->setFocus();
    EXPECT_EQ(box->textCursor().selectedText(), "select a");
    // Except right after a saved query was placed there, and only once.
    box->moveCursor(QTextCursor::End);
    m_form->grid()->setFocus();
    m_form->UUpit = -1;
    box->setFocus();
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
    EXPECT_EQ(named<browser::FileList>("File1")->pattern(), "*.dbf");
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
    EXPECT_EQ(readFile(m_program / "brindle.ini"), m_program.path().string() + "\r\n~\r\n");

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
    EXPECT_EQ(m_form->grid()->columnCaption(0), "ITEM");
    EXPECT_EQ(caption(), "1/3");
    EXPECT_EQ(m_form->Tabela.toString(), "ORDERS");
    EXPECT_EQ(m_form->windowTitle(), folder() + "/  -  ORDERS");

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
    EXPECT_EQ(m_form->Tabela.toString(), "EMPTY");
}

TEST_F(Form1Test, ResizingTheWindowLaysTheControlsOut) {
    open(folder());
    auto* client = named<QWidget>("Form1Client");
    QWidget* grid = m_form->grid();
    QWidget* text = m_form->queryBox();
    QWidget* files = named<QWidget>("File1");
    QWidget* bar = named<QWidget>("Data1Bar");
    const QRect gridBefore = grid->geometry(), textBefore = text->geometry(), filesBefore = files->geometry();

    // The query box and the grid take what the window gains; the lists stay where they are.
    m_form->resize(m_form->width() + 300, m_form->height() + 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->width() > gridBefore.width(); }));
    EXPECT_NEAR(grid->width(), gridBefore.width() + 300, 1);
    EXPECT_NEAR(grid->height(), gridBefore.height() + 200, 1);
    EXPECT_NEAR(text->width(), textBefore.width() + 300, 1);
    EXPECT_EQ(text->height(), textBefore.height());
    EXPECT_EQ(files->geometry(), filesBefore);
    EXPECT_GT(bar->y(), grid->geometry().bottom());
    EXPECT_LE(bar->geometry().bottom(), client->height());

    // Below the smallest size at which the layout holds, the window stops shrinking.
    m_form->resize(50, 50);
    EXPECT_TRUE(QTest::qWaitFor([&] { return client->width() < gridBefore.width(); }));
    EXPECT_GE(client->width(), client->minimumWidth());
    EXPECT_GE(client->height(), client->minimumHeight());
    EXPECT_LE(bar->geometry().bottom(), client->height());
    EXPECT_LE(text->geometry().right(), client->width());
}

TEST_F(Form1Test, SelectShowsItsRowsAndIsLogged) {
    open(folder());
    enter("select ITEM, QTY from orders where QTY > 10");
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();
    EXPECT_EQ(rows().recordCount(), 2);
    EXPECT_EQ(m_form->grid()->model()->rowCount(), 2);
    EXPECT_EQ(m_form->grid()->model()->index(1, 0).data().toString().trimmed(), "screws");
    EXPECT_EQ(m_form->dataSource()->recordSource(), "select ITEM, QTY from orders where QTY > 10");
    EXPECT_EQ(m_form->FldCount, 2);
    EXPECT_EQ(m_form->fldExp().mid(0, 2), (QStringList{"ITEM", "QTY"}));
    EXPECT_EQ(m_form->Tabela.toString(), "orders ");
    // The bare count stays until the current row moves.
    EXPECT_EQ(caption(), "2");
    EXPECT_EQ(m_form->windowTitle(), folder() + "/  -  orders ");
    // Enter still breaks the line in the box.
    EXPECT_TRUE(m_form->queryBox()->statementText().endsWith("\r\n"));

    const std::vector<std::string> log = lines(readFile(m_program / "sql.txt"));
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1].rfind("start : ", 0), 0u);
    EXPECT_NE(log[1].find(" -  end : "), std::string::npos);
    EXPECT_EQ(log[2], m_data.path().string());
    EXPECT_EQ(log[3], "select ITEM, QTY from orders where QTY > 10");
    EXPECT_EQ(log[4], "");

    // Parameters are asked for and substituted; the log records the prepared statement.
    m_dialogs.expectPrompt("12");
    enter("select * from orders where QTY = ~min~");
    ASSERT_EQ(m_dialogs.calls().size(), 1);
    EXPECT_EQ(m_dialogs.calls()[0].text, "Enter value for parameter 'MIN' :");
    EXPECT_EQ(rows().recordCount(), 1);
    EXPECT_EQ(m_form->parNames().value(1), "min");
    EXPECT_EQ(m_form->FldCount, 0);
    const std::vector<std::string> more = lines(readFile(m_program / "sql.txt"));
    ASSERT_EQ(more.size(), 10u);
    EXPECT_EQ(more[8], "select * from orders where QTY = 12");

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
    EXPECT_EQ(m_form->Tabela.toString(), "orders\r\n");
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
    EXPECT_EQ(caption(), "3");
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 15u);

    // A statement the engine refuses is reported once, and still logged.
    m_dialogs.expectMessage();
    enter("update nosuch set QTY = 1");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 20u);
    EXPECT_EQ(caption(), "3");
}

TEST_F(Form1Test, DeclinedDeleteLeavesTheFileAsItWas) {
    open(q(m_data / "ORDERS.DBF"));
    const std::string before = readFile(m_data / "ORDERS.DBF");
    m_dialogs.expectQuestion(false);
    enter("\n\ndelete from orders where QTY > 10");
    ASSERT_EQ(m_dialogs.calls().size(), 1);
    EXPECT_EQ(m_dialogs.calls()[0].kind, testsupport::ScriptedDialogs::Kind::Question);
    EXPECT_TRUE(m_dialogs.calls()[0].text.startsWith("Are you sure you want to delete "));
    EXPECT_TRUE(m_dialogs.calls()[0].text.endsWith(" from orders where QTY > 10?"));
    EXPECT_EQ(readFile(m_data / "ORDERS.DBF"), before);
    // The selected table is shown, and the run is logged.
    EXPECT_EQ(rows().recordCount(), 3);
    EXPECT_EQ(lines(readFile(m_program / "sql.txt")).size(), 7u);

    m_dialogs.expectQuestion(true);
    enter("delete from orders where QTY > 10");
    engine::Database database(m_data.path());
    EXPECT_EQ(enginetest::rowsOf(*database.openRecordset("orders")).size(), 1u);
}
