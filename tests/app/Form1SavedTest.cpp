// The main window's saved-query commands through its buttons, menus and list: Save query, direct
// display, the export and import of saved queries, and a program folder without their table.
#include "app/Form1Fixture.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>

using namespace form1test;

class Form1SavedTest : public Form1Test {
protected:
    QAction* directDisplay() { return named<QAction>("mnuDirUpit"); }
    QListWidget* list() { return named<QListWidget>("List1"); }
    void clickLine(int row) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(row)).center());
    }
};

TEST_F(Form1SavedTest, SaveQueryAddsARowEveryTimeAndExportWritesThemAll) {
    makeTable();
    open(folder());
    m_form->queryBox()->setPlainText("select *\nfrom orders\nwhere item = 'nails'");
    // The same name twice gives two rows; a name with an apostrophe is kept as typed; Cancel (an
    // empty answer) stores nothing.
    for (const char* name : {"Sales", "Sales", "Bob's", ""}) {
        m_dialogs.expectPrompt(name);
        QTest::mouseClick(named<QPushButton>("Command3"), Qt::LeftButton);
    }
    const QString text = "select *\r\nfrom orders\r\nwhere item = 'nails'";
    EXPECT_EQ(stored(), (Pairs{{"Sales", text}, {"Sales", text}, {"Bob's", text}}));
    // Saving runs nothing.
    EXPECT_EQ(m_form->dataSource()->recordset(), nullptr);

    // The export writes every row (in the form SavedQueriesTest checks) to the file chosen.
    const auto file = m_data / "queries.txt";
    m_dialogs.expectSaveFileName(q(file));
    named<QAction>("mnuExUp")->trigger();
    const auto written = lines(readFile(file));
    EXPECT_EQ(std::count_if(written.begin(), written.end(),
                            [](const std::string& l) { return l.starts_with("Naziv: "); }),
              3);
    // Cancel in the dialog writes nothing; a file that cannot be written is reported once.
    m_dialogs.expectSaveFileName("");
    m_form->exportQueries();
    m_dialogs.expectSaveFileName(q(m_data / "no such folder" / "queries.txt"));
    m_dialogs.expectMessage();
    m_form->exportQueries();
    m_dialogs.expectMessage();
    named<QAction>("mnuImpUp")->trigger();
    const QStringList messages = m_dialogs.messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains("no such folder")) << messages[0].toStdString();
    EXPECT_EQ(messages[1], "Currently unavailable.");
}

TEST_F(Form1SavedTest, WithoutTheTableEveryCommandNamesTheMissingFile) {
    open(folder());
    const QRect boxBefore = m_form->queryBox()->geometry();
    m_dialogs.expectPrompt("Sales");
    m_dialogs.expectMessage();
    QTest::mouseClick(named<QPushButton>("Command3"), Qt::LeftButton);
    m_dialogs.expectMessage();
    QTest::mouseClick(named<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(m_form->findChild<QWidget*>("frmUpiti")->isVisible());
    // Direct display leaves the window as it was.
    m_dialogs.expectMessage();
    directDisplay()->trigger();
    EXPECT_FALSE(directDisplay()->isChecked());
    EXPECT_FALSE(list()->isVisible());
    EXPECT_TRUE(named<QPushButton>("Command3")->isVisible());
    EXPECT_EQ(m_form->queryBox()->geometry(), boxBefore);
    m_dialogs.expectSaveFileName(q(m_data / "queries.txt"));
    m_dialogs.expectMessage();
    named<QAction>("mnuExUp")->trigger();
    EXPECT_FALSE(std::filesystem::exists(m_data / "queries.txt"));

    const QString missing = "Cannot find the table of saved queries " + q(m_program / "upiti.dbf") +
                            ". It belongs in the program folder; the program does not create it.";
    EXPECT_EQ(m_dialogs.messages(), QStringList(4, missing));
    EXPECT_FALSE(std::filesystem::exists(m_program / "upiti.dbf"));

    // An empty table switches direct display on with an empty list.
    makeTable();
    directDisplay()->trigger();
    EXPECT_TRUE(list()->isVisible());
    EXPECT_EQ(list()->count(), 0);
}

TEST_F(Form1SavedTest, DirectDisplayListsTheQueriesAboveTheBoxAndRunsTheLineClicked) {
    makeTable({{"small", "select ITEM from orders where QTY < 10"},
               {"Big", "select ITEM, QTY\r\nfrom orders\r\nwhere QTY > 10"},
               {"small", "select ITEM from orders where QTY < 20"},
               {"", ""}});
    open(folder());
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    app::QueryBox* box = m_form->queryBox();
    const QRect room = box->geometry();

    m_form->queryBox()->setFocus();
    QTest::keyClick(box, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(directDisplay()->isChecked());
    EXPECT_FALSE(named<QPushButton>("Command2")->isVisible());
    EXPECT_FALSE(named<QPushButton>("Command3")->isVisible());
    ASSERT_EQ(list()->count(), 4);
    EXPECT_EQ((QStringList{list()->item(0)->text(), list()->item(1)->text(), list()->item(3)->text()}),
              (QStringList{"", "Big", "small"}));
    EXPECT_EQ(QApplication::focusWidget(), list());
    // The line Qt makes current as the list takes the focus is not picked: Enter runs nothing.
    const QString typed = box->statementText();
    list()->selectionModel()->setCurrentIndex(list()->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_EQ(box->statementText(), typed);

    // Moving through the list runs nothing; a click or Enter on a line runs that line's query.
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_FALSE(std::filesystem::exists(m_program / "sql.txt"));
    clickLine(3);
    EXPECT_EQ(box->statementText(), "select ITEM from orders where QTY < 20");
    EXPECT_EQ(rows().recordCount(), 2);
    clickLine(2);
    EXPECT_EQ(rows().recordCount(), 1);
    list()->setCurrentRow(1);
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_EQ(box->statementText(), "select ITEM, QTY\r\nfrom orders\r\nwhere QTY > 10");
    EXPECT_EQ(rows().recordCount(), 2);
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();

    // Resizing keeps the list above the box, in the room the box would have (how the two share it is
    // LayoutTest's); switching off gives the box that room and the buttons back.
    const QRect wider(room.topLeft(), QSize(room.width() + 300, room.height()));
    m_form->resize(m_form->width() + 300, m_form->height() + 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->width() > room.width(); }));
    EXPECT_EQ(list()->geometry().topLeft(), wider.topLeft());
    EXPECT_EQ(list()->width(), wider.width());
    EXPECT_GT(box->y(), list()->y());
    directDisplay()->trigger();
    EXPECT_FALSE(directDisplay()->isChecked());
    EXPECT_FALSE(list()->isVisible());
    EXPECT_TRUE(named<QPushButton>("Command3")->isVisible());
    EXPECT_EQ(box->geometry(), wider);
}
