// The two exports from the Results menu of the main window: the text file of the grid's rows, and
// the workbook of the statement run again, read back by openpyxl.
#include "app/Form1Fixture.h"
#include "output/WorkbookDump.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

using namespace form1test;
using Form1ExportTest = Form1Test;

class Form1Export : public Form1ExportTest {
protected:
    void SetUp() override {
        Form1ExportTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

TEST_F(Form1Export, TheTextFileHoldsTheGridsRowsAndTheTitleComesBack) {
    open(folder());
    enter("select item as Thing, qty from orders order by qty");
    const auto out = m_data / "orders.txt";
    m_dialogs.expectSaveFileName(q(out));
    m_dialogs.expectPrompt("8");
    m_dialogs.expectPrompt("");
    trigger("mnuExport");

    EXPECT_EQ(readFile(out), "    THING QTY\r\n"
                             "         \r\n"
                             "    bolts   7\r\n"
                             "   screws  12\r\n"
                             "    nails  40\r\n");
    EXPECT_EQ(m_form->windowTitle(), folder() + "/  -  orders") << "not the last percentage";
    // The save dialog suggested the table's name in the current folder.
    EXPECT_EQ(m_dialogs.calls().at(0).defaultAnswer, q(m_data / "orders.txt"));
    EXPECT_TRUE(rows().eof());
    EXPECT_FALSE(m_dialogs.busy());
}

// What the workbook holds and where it goes are SheetExportTest's and SpreadsheetTest's; here, that the
// command copies the statement shown and hands the workbook to the desktop.
TEST_F(Form1Export, TheWorkbookGetsTheShownStatementAndGoesToTheDesktop) {
    open(folder());
    enter("select * from orders where qty > 10 order by item desc");
    testsupport::DesktopCatcher desktop;
    trigger("mnuExcel");
    ASSERT_EQ(desktop.opened.size(), 1);
    const QFileInfo book(desktop.opened.at(0).toLocalFile());
    EXPECT_EQ(book.fileName(), "orders.xlsx");
    const outputtest::WorkbookDump dump = outputtest::readWorkbook(book.filePath().toStdString());
    QDir(book.absolutePath()).removeRecursively();
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 3);
    EXPECT_EQ(dump.cells.at("A2"), "text|screws|General|plain");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
    EXPECT_FALSE(m_dialogs.busy());
}
