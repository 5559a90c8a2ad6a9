// The two exports from the Results menu of the main window: the text file of the grid's rows, and
// the workbook of the statement run again, read back by openpyxl.
#include "app/Form1Fixture.h"
#include "browser/FileList.h"
#include "datagrid/ResultGrid.h"
#include "output/WorkbookDump.h"
#include "platform/RecordingSpreadsheet.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>

using namespace form1test;
using Form1ExportTest = Form1Test;

namespace {

// Stands in for the desktop: receives the URLs the program asks it to open.
class Desktop : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class Form1Export : public Form1ExportTest {
protected:
    void SetUp() override {
        Form1ExportTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void trigger(const char* action) {
        QAction* entry = named<QAction>(action);
        ASSERT_TRUE(entry->isEnabled()) << action;
        entry->trigger();
    }

    // Workbooks go to the data folder and every operation is logged.
    void recordSpreadsheets() {
        m_form->setSpreadsheetFactory(
            [this] { return std::make_unique<platform::RecordingSpreadsheet>(folder(), m_sheetLog); });
    }

    QStringList m_sheetLog;
};

} // namespace

TEST_F(Form1Export, TheTextFileHoldsTheGridsRowsAndTheTitleThePercentage) {
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
    EXPECT_EQ(m_form->windowTitle(), "66.67 %");
    ASSERT_EQ(m_dialogs.calls().size(), 3);
    EXPECT_EQ(m_dialogs.calls().at(1).text.toStdString(), "Lenght of 'Thing' (in character):");
    EXPECT_TRUE(rows().eof());
    EXPECT_FALSE(m_dialogs.busy());
}

TEST_F(Form1Export, TheWorkbookGetsTheFilteredSortedStatementTyped) {
    open(folder());
    recordSpreadsheets();
    enter("select * from orders where qty > 10 order by item desc");
    trigger("mnuExcel");

    EXPECT_EQ(m_sheetLog.first(), "workbook orders");
    EXPECT_EQ(m_sheetLog.mid(m_sheetLog.size() - 2), (QStringList{"visible", "release"}));
    const outputtest::WorkbookDump dump = outputtest::readWorkbook(m_data / "orders.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 3);
    EXPECT_EQ(dump.cells.at("A1"), "text|ITEM|General|bold");
    EXPECT_EQ(dump.cells.at("B1"), "text|QTY|General|bold");
    EXPECT_EQ(dump.cells.at("A2"), "text|screws|General|plain");
    EXPECT_EQ(dump.cells.at("B2"), "int|12|General|plain");
    EXPECT_EQ(dump.cells.at("A3"), "text|nails|General|plain");
    EXPECT_EQ(dump.cells.at("B3"), "int|40|General|plain");
    EXPECT_EQ(dump.widths.size(), 2u);
    EXPECT_FALSE(m_dialogs.busy());
}

TEST_F(Form1Export, AnOpenedTableGoesToANewTemporaryFolderAndToTheDesktop) {
    open(q(m_data / "ORDERS.DBF"));
    auto* files = named<browser::FileList>("File1");
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Return);
    ASSERT_EQ(m_form->dataSource()->recordSource().toLower(), "orders.dbf");

    // No factory set: the real workbook writer, which hands the file to the desktop.
    Desktop desktop;
    QDesktopServices::setUrlHandler("file", &desktop, "open");
    trigger("mnuExcel");
    QDesktopServices::unsetUrlHandler("file");

    ASSERT_EQ(desktop.opened.size(), 1);
    const QString book = desktop.opened.at(0).toLocalFile();
    const QFileInfo info(book);
    EXPECT_EQ(info.fileName(), "orders.xlsx");
    EXPECT_TRUE(info.absolutePath().startsWith(QDir::tempPath() + "/brindle-"));
    const outputtest::WorkbookDump dump = outputtest::readWorkbook(book.toStdString());
    QDir(info.absolutePath()).removeRecursively();
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 4);
    EXPECT_EQ(dump.cells.at("A4"), "text|bolts|General|plain");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

#include "Form1ExportTest.moc"
