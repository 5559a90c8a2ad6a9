// The copy into a spreadsheet: the statement run again with its sort and filter, typed cells and
// bold names as openpyxl reads them, the sheet's limits, and failures told once.
#include "output/SheetExport.h"

#include "output/ResultTables.h"
#include "output/WorkbookDump.h"
#include "platform/XlsxSpreadsheet.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace outputtest;
using testsupport::ScriptedDialogs;
using testsupport::TempDir;

namespace {

// Refuses every cell from a given row on, as an application refuses what it cannot hold.
class RefusingSpreadsheet : public platform::XlsxSpreadsheet {
public:
    RefusingSpreadsheet(const QString& folder, Opener opener, int fromRow)
        : XlsxSpreadsheet(folder, std::move(opener)), m_fromRow(fromRow) {}
    void setCell(int row, int column, const Value& value) override {
        if (row >= m_fromRow)
            throw engine::Error(engine::InvalidArgument,
                                "Cell " + std::to_string(row) + "," + std::to_string(column) + " refused.");
        XlsxSpreadsheet::setCell(row, column, value);
    }

private:
    int m_fromRow;
};

class SheetExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::application();
        writePeople(m_temp / "PEOPLE.DBF");
    }

    void TearDown() override {
        m_dialogs.expectScriptDone();
        EXPECT_FALSE(m_dialogs.busy()); // the pointer is back, whatever happened
    }

    void run(const QString& source, output::SheetLimits limits = {}) {
        output::exportSheet({m_dialogs, q(m_temp.path()), source, "people", workbooks(), limits});
    }

    // Workbooks are written into the test's folder; showing one only records its path.
    platform::XlsxSpreadsheet::Opener show() {
        return [this](const QString& path) {
            m_shown.append(path);
            return true;
        };
    }
    output::SheetExportJob::Factory workbooks() {
        return [this]() -> std::unique_ptr<platform::Spreadsheet> {
            ++m_created;
            return std::make_unique<platform::XlsxSpreadsheet>(q(m_temp.path()), show());
        };
    }

    TempDir m_temp;
    ScriptedDialogs m_dialogs;
    QStringList m_shown;
    int m_created = 0;
};

} // namespace

TEST_F(SheetExportTest, AFilteredSortedResultArrivesTypedUnderBoldFieldNames) {
    run("select name, age as years, price, born, member from people where price > 2 order by price desc");

    const WorkbookDump dump = readWorkbook(m_temp / "people.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 3);
    EXPECT_EQ(dump.columns, 5);
    // Names as the statement gives them, aliases included.
    EXPECT_EQ(dump.cells.at("A1"), "text|NAME|General|bold");
    EXPECT_EQ(dump.cells.at("B1"), "text|years|General|bold");
    EXPECT_EQ(dump.cells.at("E1"), "text|MEMBER|General|bold");
    // Bob first (the higher price); Zoë has no price and is filtered out.
    EXPECT_EQ(dump.cells.at("A2"), "text|Bob|General|plain");
    EXPECT_EQ(dump.cells.at("B2"), "empty||General|plain");
    EXPECT_EQ(dump.cells.at("C2"), "real|1234.75|General|plain");
    EXPECT_EQ(dump.cells.at("D2"), "empty||General|plain");
    EXPECT_EQ(dump.cells.at("E2"), "bool|False|General|plain");
    EXPECT_EQ(dump.cells.at("A3"), "text|Ann|General|plain");
    EXPECT_EQ(dump.cells.at("B3"), "int|7|General|plain");
    EXPECT_EQ(dump.cells.at("C3"), "real|2.5|General|plain");
    EXPECT_EQ(dump.cells.at("D3"), "date|2024-03-15T00:00:00|mm-dd-yy|plain");
    EXPECT_EQ(dump.cells.at("E3"), "bool|True|General|plain");
    for (const char* column : {"A", "B", "C", "D", "E"})
        EXPECT_EQ(dump.widths.count(column), 1u) << column << " fitted";
    EXPECT_EQ(m_shown, QStringList{q(m_temp / "people.xlsx")});
    EXPECT_TRUE(m_dialogs.calls().isEmpty());
    EXPECT_EQ(m_dialogs.busyChanges(), (QList<bool>{true, false}));
}

TEST_F(SheetExportTest, ATableByFileNameAndAnEmptyResult) {
    run("PEOPLE.DBF");
    WorkbookDump dump = readWorkbook(m_temp / "people.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 4);
    EXPECT_EQ(dump.cells.at("A4"), "text|Zo\u00eb|General|plain");
    EXPECT_EQ(dump.cells.at("E4"), "empty||General|plain"); // a Null logical stays Null

    run("select * from people where age > 100");
    dump = readWorkbook(m_temp / "people.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_TRUE(dump.cells.empty()) << dump.cells.begin()->second; // an empty new workbook, shown
    EXPECT_EQ(m_shown.size(), 2);
    EXPECT_TRUE(m_dialogs.calls().isEmpty());
}

TEST_F(SheetExportTest, AResultLongerOrWiderThanTheSheetGivesOneMessageAndNothingIsCopied) {
    // PEOPLE has three rows and five fields: with the names it needs four sheet rows, five columns.
    m_dialogs.expectMessage();
    run("PEOPLE.DBF", {3, 5});
    m_dialogs.expectMessage();
    run("select * from people order by name", {4, 4});
    m_dialogs.expectMessage();
    run("select * from people order by name", {3, 2}); // too long and too wide: still one message
    const QString longer = "The result has more rows than a sheet holds: 2 fit below the field names. "
                           "Nothing was copied; a filter can narrow the result.";
    EXPECT_EQ(
        m_dialogs.messages(),
        (QStringList{longer,
                     "The result has 5 fields, more than the 4 columns a sheet holds. Nothing was copied.",
                     "The result has 5 fields, more than the 2 columns a sheet holds. Nothing was copied."}));
    EXPECT_EQ(m_created, 0); // no spreadsheet, so no half-filled workbook is shown
    EXPECT_FALSE(std::filesystem::exists(m_temp / "people.xlsx"));
    EXPECT_EQ(m_dialogs.busyChanges(), (QList<bool>{true, false, true, false, true, false}));

    // Exactly as many rows and fields as fit: copied whole, without a message.
    run("PEOPLE.DBF", {4, 5});
    EXPECT_EQ(m_dialogs.messages().size(), 3);
    const WorkbookDump dump = readWorkbook(m_temp / "people.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 4);
    EXPECT_EQ(dump.columns, 5);
    EXPECT_EQ(dump.cells.at("A4"), "text|Zo\u00eb|General|plain");
}

TEST_F(SheetExportTest, AFailureEveryLaterStepWouldRepeatIsToldOnceAndEndsTheCommand) {
    m_dialogs.expectMessage();
    run("");
    m_dialogs.expectMessage();
    run("select nothing from nowhere");
    EXPECT_EQ(m_created, 0); // no spreadsheet for a statement that cannot run
    m_dialogs.expectMessage();
    output::exportSheet({m_dialogs,
                         q(m_temp.path()),
                         "PEOPLE.DBF",
                         "people",
                         []() -> std::unique_ptr<platform::Spreadsheet> {
                             throw engine::Error(engine::PathFileAccess, "No spreadsheet application here.");
                         },
                         {}});
    const QStringList messages = m_dialogs.messages();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages.at(0), "3001 The data source has no record source to open.");
    EXPECT_TRUE(messages.at(1).startsWith("3078 ")) << messages.at(1).toStdString();
    EXPECT_TRUE(messages.at(1).contains("nowhere")) << messages.at(1).toStdString();
    EXPECT_EQ(messages.at(2), "75 No spreadsheet application here.");
    EXPECT_EQ(m_dialogs.busyChanges(), (QList<bool>{true, false, true, false, true, false}));
}

TEST_F(SheetExportTest, RefusedCellsAreCountedIntoOneMessageAndTheWorkbookIsStillShown) {
    m_dialogs.expectMessage();
    output::exportSheet(
        {m_dialogs,
         q(m_temp.path()),
         "PEOPLE.DBF",
         "people",
         [this] { return std::make_unique<RefusingSpreadsheet>(q(m_temp.path()), show(), 3); },
         {}});
    EXPECT_EQ(m_dialogs.messages(), QStringList{"3001 Cell 3,1 refused. (and 9 more like it)"});
    EXPECT_EQ(m_shown.size(), 1);
    const WorkbookDump dump = readWorkbook(m_temp / "people.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 2);
    EXPECT_EQ(dump.cells.at("A2"), "text|Ann|General|plain");
}

TEST_F(SheetExportTest, WithoutAnApplicationTheWorkbookIsKeptWhereTheUserChooses) {
    QStringList folders;
    QStringList titles;
    const auto job = [&](const QString& source) {
        return output::SheetExportJob{m_dialogs,
                                      q(m_temp.path()),
                                      source,
                                      "people",
                                      [&]() -> std::unique_ptr<platform::Spreadsheet> {
                                          // A temporary folder of its own, as in the window.
                                          auto sheet = std::make_unique<platform::XlsxSpreadsheet>(
                                              QString(), [](const QString&) { return false; });
                                          folders.append(sheet->folder());
                                          return sheet;
                                      },
                                      {},
                                      [&](const QString& title) { titles.append(title); },
                                      [&] { titles.append("(own title)"); }};
    };
    const auto kept = m_temp / "kept" / "mine.xlsx";
    std::filesystem::create_directory(m_temp / "kept");
    m_dialogs.expectSaveFileName(q(kept));
    output::exportSheet(job("select name from people order by name"));
    // The dialog suggests the table's name in the folder; the file is there whole, the temporary
    // folder gone.
    EXPECT_EQ(m_dialogs.calls().back().defaultAnswer, q(m_temp / "people.xlsx"));
    const WorkbookDump dump = readWorkbook(kept);
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 4);
    EXPECT_EQ(dump.cells.at("A2"), "text|Ann|General|plain");
    EXPECT_FALSE(QFileInfo::exists(folders.at(0)));
    EXPECT_EQ(titles.first(), "33.33 %");
    EXPECT_EQ(titles.last(), "(own title)");

    // Cancel drops it, and nothing is left behind.
    m_dialogs.expectSaveFileName("");
    output::exportSheet(job("PEOPLE.DBF"));
    EXPECT_FALSE(QFileInfo::exists(folders.at(1)));
    EXPECT_TRUE(m_dialogs.messages().isEmpty()) << m_dialogs.messages().join("; ").toStdString();

    // Escape while the rows are copied stops it: nothing is shown, asked or left.
    QCoreApplication::postEvent(qApp, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    output::exportSheet(job("PEOPLE.DBF"));
    EXPECT_FALSE(QFileInfo::exists(folders.at(2)));
    EXPECT_EQ(titles.last(), "(own title)");
}

TEST(WorkbookName, TheTableAsAFileNameInLowerCase) {
    EXPECT_EQ(output::workbookName("ORDERS"), "orders");
    EXPECT_EQ(output::workbookName("orders "), "orders");
    EXPECT_EQ(output::workbookName("[Sales 2024] s"), "sales 2024");
    EXPECT_EQ(output::workbookName("orders o, items i"), "orders");
    EXPECT_EQ(output::workbookName("C:\\data\\ORDERS.DBF"), "orders");
    EXPECT_EQ(output::workbookName("(select * from x)"), "result");
    EXPECT_EQ(output::workbookName(""), "result");
}
