// The Queries window through its list, buttons, text box and navigation bar: the list, the save prompt,
// Delete, and Load running the query in the main window, with queries of one name kept apart.
#include "app/FrmUpiti.h"

#include "app/Form1Fixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

using namespace form1test;

class FrmUpitiTest : public Form1Test {
protected:
    app::FrmUpiti* m_queries = nullptr;

    // The main window's "Load query" button.
    void openQueries() {
        if (!m_form) open(folder());
        QTest::mouseClick(named<QPushButton>("Command2"), Qt::LeftButton);
        m_queries = m_form->findChild<app::FrmUpiti*>("frmUpiti");
        ASSERT_TRUE(m_queries && m_queries->isVisible());
    }
    template <typename T> T* part(const char* name) {
        return m_queries->findChild<T*>(QString::fromLatin1(name));
    }
    QListWidget* list() { return part<QListWidget>("List1"); }
    QPlainTextEdit* box() { return part<QPlainTextEdit>("Text1"); }
    QString shown() { return box()->toPlainText(); }
    QString caption() { return part<QLabel>("Data1Caption")->text(); }
    QStringList entries() {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names.append(list()->item(i)->text());
        return names;
    }
    void click(const char* name) { QTest::mouseClick(part<QAbstractButton>(name), Qt::LeftButton); }
    void clickEntry(int row) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(row)).center());
    }
    void type(const QString& keys) {
        box()->moveCursor(QTextCursor::End);
        QTest::keyClicks(box(), keys);
    }
    QString lastQuestion() const {
        return m_dialogs.calls().isEmpty() ? QString() : m_dialogs.calls().back().text;
    }
};

TEST_F(FrmUpitiTest, AnEditIsSavedToTheChosenRowAloneAfterTheSavePrompt) {
    makeTable({{"Sales", "select 1"}, {"beta", "select 'b'"}, {"sales", "select 2"}, {"Sales", "select 3"}});
    openQueries();
    // Level with the main window's top, centred across its screen.
    EXPECT_EQ(m_queries->frameGeometry().top(), m_form->frameGeometry().top());
    EXPECT_NEAR(m_queries->frameGeometry().center().x(), m_form->screen()->geometry().center().x(), 1);
    EXPECT_EQ(entries(), (QStringList{"beta", "Sales", "sales", "Sales"}));
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(caption(), "0/4");

    // Choose, type, choose: the prompt names the query edited, and Yes writes its row alone.
    clickEntry(3);
    EXPECT_EQ(shown(), "select 3");
    EXPECT_EQ(caption(), "4/4");
    type(" where x = 'it''s'");
    m_dialogs.expectQuestion(true);
    clickEntry(1);
    EXPECT_EQ(lastQuestion(), "Query 'SALES' has been changed. Do you want to save changes?");
    EXPECT_EQ(shown(), "select 1");
    EXPECT_EQ(m_queries->uNaziv, "Sales");
    // A text of several lines is kept with CR LF; No keeps the table as it was.
    box()->moveCursor(QTextCursor::End);
    QTest::keyClick(box(), Qt::Key_Return);
    type("from t");
    m_dialogs.expectQuestion(true);
    QTest::keyClick(list(), Qt::Key_Down);
    type(" changed");
    m_dialogs.expectQuestion(false);
    clickEntry(0);
    EXPECT_FALSE(m_queries->queryChanged());
    EXPECT_EQ(stored(), (Pairs{{"Sales", "select 1\r\nfrom t"},
                               {"beta", "select 'b'"},
                               {"sales", "select 2"},
                               {"Sales", "select 3 where x = 'it''s'"}}));

    // Exit offers the same prompt, then closes and lets the main window's box keep its caret.
    type(";");
    m_dialogs.expectQuestion(true);
    click("Command2");
    EXPECT_FALSE(m_queries->isVisible());
    EXPECT_EQ(m_form->UUpit, -1);
    EXPECT_EQ(stored()[1].second, "select 'b';");
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();

    // Opened again, the window reads the table anew and remembers the name chosen last.
    openQueries();
    EXPECT_EQ(caption(), "0/4");
    EXPECT_EQ(m_queries->uNaziv, "beta");
}

TEST_F(FrmUpitiTest, DeleteRemovesTheChosenRowAndMovesTheLaterEntriesUp) {
    makeTable({{"a", "select 'a'"}, {"Dup", "first dup"}, {"dup", "second dup"}, {"e", "select 'e'"}});
    openQueries();
    // Nothing chosen: nothing asked, nothing deleted.
    click("Command3");
    EXPECT_TRUE(m_dialogs.calls().isEmpty());

    // The second of two queries whose names match without regard to case.
    clickEntry(2);
    m_dialogs.expectQuestion(true);
    click("Command3");
    EXPECT_EQ(lastQuestion(), "Are you sure you want to delete query DUP\r\n [second dup]");
    EXPECT_EQ(entries(), (QStringList{"a", "Dup", "e"}));
    EXPECT_EQ(list()->currentRow(), -1);
    EXPECT_EQ(shown(), "#deleted query#");
    EXPECT_EQ(caption(), "0/3");
    EXPECT_EQ(stored(), (Pairs{{"a", "select 'a'"}, {"Dup", "first dup"}, {"e", "select 'e'"}}));

    // The entry that moved up is itself: its own text in the prompt, and No keeps it.
    clickEntry(2);
    m_dialogs.expectQuestion(false);
    click("Command3");
    EXPECT_EQ(lastQuestion(), "Are you sure you want to delete query E\r\n [select 'e']");
    EXPECT_EQ(stored().size(), 3u);
}

TEST_F(FrmUpitiTest, LoadRunsTheChosenQueryInTheMainWindow) {
    makeTable({{"it's big", "select ITEM, QTY from orders where ITEM <> 'it''s' and QTY > 10"},
               {"it's big", "select ITEM from orders where QTY < 10"}});
    open(folder());
    m_form->queryBox()->setPlainText("select 'untouched'");
    openQueries();
    m_dialogs.expectMessage();
    click("Command1");
    EXPECT_EQ(m_dialogs.messages().value(0), "No query is chosen. Choose one in the list, then Load.");
    EXPECT_EQ(m_form->queryBox()->statementText(), "select 'untouched'");

    // Load closes the window, so an unsaved edit is asked about: Cancel runs nothing and keeps it; with
    // No the table's text is run, not the edit.
    clickEntry(0);
    type(" -- not saved");
    m_dialogs.expectQuestionOrCancel(std::nullopt);
    click("Command1");
    EXPECT_TRUE(m_queries->isVisible());
    EXPECT_TRUE(m_queries->queryChanged());
    EXPECT_EQ(m_form->queryBox()->statementText(), "select 'untouched'");
    m_dialogs.expectQuestionOrCancel(false);
    click("Command1");
    EXPECT_FALSE(m_queries->isVisible());
    // The Enter that runs it arrives once the handler has returned.
    QCoreApplication::sendPostedEvents();
    const QString loaded = "select ITEM, QTY from orders where ITEM <> 'it''s' and QTY > 10";
    EXPECT_EQ(m_form->queryBox()->statementText(), loaded);
    EXPECT_EQ(rows().recordCount(), 2);
    const auto log = lines(readFile(m_program / "sql.txt"));
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], loaded.toStdString());
    // After the run the statement is selected, ready to run again or be typed over.
    EXPECT_EQ(m_form->queryBox()->textCursor().selectedText(), loaded);
    EXPECT_EQ(m_dialogs.calls().size(), 3);

    // The second query of the same name runs its own text, here by a double-click.
    openQueries();
    clickEntry(1);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {},
                       list()->visualItemRect(list()->item(1)).center());
    EXPECT_FALSE(m_queries->isVisible());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(rows().recordCount(), 1);

    // A query deleted meanwhile, here by a statement on the program folder, is reported.
    openQueries();
    clickEntry(0);
    engine::Database(m_program.path()).execute("delete from upiti where u_txt like '*QTY > 10'");
    m_form->queryBox()->setPlainText("select 'untouched'");
    m_dialogs.expectMessage();
    click("Command1");
    EXPECT_EQ(m_dialogs.messages().back(),
              "The query 'it's big' is no longer in the table of saved queries.");
    EXPECT_EQ(m_form->queryBox()->statementText(), "select 'untouched'");
}

TEST_F(FrmUpitiTest, TheNavigationBarChoosesTheEntryOfTheRowItReaches) {
    makeTable({{"one", "select 1"}, {"two", "select 2"}, {"three", "select 3"}});
    openQueries();
    // Past the last row after opening, Next stays on the last one, and chooses it.
    click("Data1Next");
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_EQ(shown(), "select 2");
    EXPECT_EQ(caption(), "3/3");

    // An edit, then a move with the bar: the prompt concerns the query edited, as a click would.
    type(" + 0");
    m_dialogs.expectQuestion(true);
    click("Data1First");
    EXPECT_EQ(lastQuestion(), "Query 'TWO' has been changed. Do you want to save changes?");
    EXPECT_EQ(m_queries->curIndex(), 0);
    EXPECT_EQ(shown(), "select 1");
    EXPECT_EQ(stored(), (Pairs{{"one", "select 1"}, {"two", "select 2 + 0"}, {"three", "select 3"}}));

    // Previous on the first row stays there and keeps the edit in progress.
    type(" + 1");
    click("Data1Previous");
    EXPECT_EQ(shown(), "select 1 + 1");
    EXPECT_TRUE(m_queries->queryChanged());
    // The window's close control asks too: Cancel keeps the window and the edit, Yes saves and closes.
    m_dialogs.expectQuestionOrCancel(std::nullopt);
    EXPECT_FALSE(m_queries->close());
    EXPECT_EQ(lastQuestion(), "Query 'ONE' has been changed. Do you want to save changes?");
    EXPECT_EQ(shown(), "select 1 + 1");
    m_dialogs.expectQuestionOrCancel(true);
    EXPECT_TRUE(m_queries->close());
    EXPECT_EQ(stored()[0].second, "select 1 + 1");
    m_dialogs.expectScriptDone();
}

TEST_F(FrmUpitiTest, OnlyARealChoiceChoosesAndEnterLoadsIt) {
    makeTable({{"one", "select 1"}, {"two", "select 2"}});
    openQueries();
    m_queries->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_queries));
    list()->setFocus();
    // The list taking the focus makes its first row current without choosing it.
    list()->selectionModel()->setCurrentIndex(list()->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    ASSERT_EQ(list()->currentRow(), 0);
    EXPECT_EQ(caption(), "0/2");
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(box()->isReadOnly());
    click("Command3"); // Delete: nothing chosen, nothing asked
    m_dialogs.expectMessage();
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_EQ(m_dialogs.messages().value(0), "No query is chosen. Choose one in the list, then Load.");
    EXPECT_TRUE(m_queries->isVisible());

    // The arrow keys choose; Enter then loads and runs the chosen query.
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(caption(), "2/2");
    EXPECT_EQ(shown(), "select 2");
    QTest::keyClick(list(), Qt::Key_Return);
    EXPECT_FALSE(m_queries->isVisible());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_form->queryBox()->statementText(), "select 2");
    EXPECT_EQ(rows().value(std::size_t{0}), engine::Value(std::int64_t{2}));
    m_dialogs.expectScriptDone();
}

TEST_F(FrmUpitiTest, AClickOnTheEntryInUseOffersToSaveItsEditAndTheOpenWindowComesBack) {
    makeTable({{"one", "select 1"}, {"two", "select 2"}});
    openQueries();
    clickEntry(1);
    type(" + 0");
    // A click on the entry already chosen is a choice too: its edit is offered for saving.
    m_dialogs.expectQuestion(true);
    clickEntry(1);
    EXPECT_EQ(lastQuestion(), "Query 'TWO' has been changed. Do you want to save changes?");
    EXPECT_FALSE(m_queries->queryChanged());
    EXPECT_EQ(shown(), "select 2 + 0");
    // With No the edit is dropped and the box shows the table's text again.
    type(" + 1");
    m_dialogs.expectQuestion(false);
    clickEntry(1);
    EXPECT_EQ(shown(), "select 2 + 0");
    // Unedited, a click asks nothing.
    clickEntry(1);
    EXPECT_EQ(m_dialogs.calls().size(), 2);

    // Saving from the main window while the Queries window is open holds no lock against it; the
    // open window keeps its list until it is opened again.
    m_form->queryBox()->setPlainText("select 3");
    m_dialogs.expectPrompt("three");
    QTest::mouseClick(named<QPushButton>("Command3"), Qt::LeftButton);
    EXPECT_EQ(entries(), (QStringList{"one", "two"}));
    m_dialogs.expectQuestion(true);
    clickEntry(0);
    click("Command3");
    EXPECT_EQ(stored(), (Pairs{{"two", "select 2 + 0"}, {"three", "select 3"}}));
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();

    // "Load query" on an open but minimized window brings it back, as it was.
    clickEntry(0);
    m_queries->showMinimized();
    QTest::mouseClick(named<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_FALSE(m_queries->isMinimized());
    EXPECT_EQ(entries(), (QStringList{"two"}));
    EXPECT_EQ(m_queries->curIndex(), 0);
}
