// The workbook writer: typed cells, bold and fitted columns as an outside reader (openpyxl) sees
// them, the cells a sheet refuses, and where the file goes.
#include "output/WorkbookDump.h"
#include "platform/XlsxSpreadsheet.h"
#include "support/Errors.h"
#include "support/Qt.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using outputtest::readWorkbook;
using platform::XlsxSpreadsheet;
using testsupport::TempDir;

namespace {

using testsupport::q;

// The error a call throws, as "number description"; "-1 (no error)" when it throws none.
template <typename Call> std::string failure(Call&& call) {
    const engine::Error error = testsupport::errorOf(call);
    return std::to_string(error.number()) + " " + error.what();
}

} // namespace

TEST(XlsxSpreadsheet, CellsKeepTheirTypesRowOneIsBoldAndColumnsFitTheirWidestValue) {
    testsupport::application();
    TempDir temp;
    QStringList opened;
    {
        XlsxSpreadsheet book(q(temp.path()), [&](const QString& path) {
            opened.append(path);
            return true;
        });
        book.addWorkbook("orders");
        const QStringList names{"ITEM", "QTY", "PRICE", "DUE", "PAID", "NOTE", "STAMP"};
        for (int i = 1; i <= names.size(); ++i) {
            book.setCell(1, i, names[i - 1]);
            book.setBold(1, i);
        }
        book.setCell(2, 1, QStringLiteral("nails"));
        book.setCell(2, 2, 40.0);
        book.setCell(2, 3, 2.5);
        book.setCell(2, 4, QDate(2024, 3, 15));
        book.setCell(2, 5, true);
        book.setCell(2, 6, std::monostate{});
        book.setCell(2, 7, QDateTime(QDate(2024, 3, 15), QTime(13, 45, 30), Qt::UTC));
        // Set out of column order: the row still comes out whole.
        book.setCell(3, 3, -0.25);
        book.setCell(3, 1, QStringLiteral("hex bolts, galvanised"));
        book.setCell(3, 2, -7.0);
        // Before the sheet's calendar begins: kept as ISO text rather than lost.
        book.setCell(3, 4, QDate(1850, 1, 2));
        book.setCell(3, 5, false);
        book.setCell(3, 6, QStringLiteral("Ünïcödé ✓"));
        for (int k = 1; k <= 8; ++k)
            book.autofitColumn(k);
        book.makeVisible();
        EXPECT_EQ(book.filePath(), q(temp / "orders.xlsx"));
    }
    EXPECT_EQ(opened, QStringList{q(temp / "orders.xlsx")});

    const outputtest::WorkbookDump dump = readWorkbook(temp / "orders.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.rows, 3);
    EXPECT_EQ(dump.columns, 7);
    EXPECT_EQ(dump.cells.at("A1"), "text|ITEM|General|bold");
    EXPECT_EQ(dump.cells.at("G1"), "text|STAMP|General|bold");
    EXPECT_EQ(dump.cells.at("A2"), "text|nails|General|plain");
    EXPECT_EQ(dump.cells.at("B2"), "int|40|General|plain");
    EXPECT_EQ(dump.cells.at("C2"), "real|2.5|General|plain");
    EXPECT_EQ(dump.cells.at("D2"), "date|2024-03-15T00:00:00|mm-dd-yy|plain");
    EXPECT_EQ(dump.cells.at("E2"), "bool|True|General|plain");
    EXPECT_EQ(dump.cells.at("F2"), "empty||General|plain");
    EXPECT_EQ(dump.cells.at("G2"), "date|2024-03-15T13:45:30|m/d/yy h:mm|plain");
    EXPECT_EQ(dump.cells.at("A3"), "text|hex bolts, galvanised|General|plain");
    EXPECT_EQ(dump.cells.at("B3"), "int|-7|General|plain");
    EXPECT_EQ(dump.cells.at("C3"), "real|-0.25|General|plain");
    EXPECT_EQ(dump.cells.at("D3"), "text|1850-01-02|General|plain");
    EXPECT_EQ(dump.cells.at("E3"), "bool|False|General|plain");
    EXPECT_EQ(dump.cells.at("F3"), "text|Ünïcödé ✓|General|plain");

    // Widths follow the widest text and one character of margin; the file adds the application's
    // cell padding (0.71) to each.
    EXPECT_NEAR(dump.widths.at("A"), 22.71, 0.01); // the 21 characters of A3
    EXPECT_NEAR(dump.widths.at("C"), 7.71, 0.01);  // PRICE in bold, wider than -0.25
    EXPECT_NEAR(dump.widths.at("F"), 10.71, 0.01); // nine characters, the check mark counting one
    EXPECT_EQ(dump.widths.count("H"), 0u);         // nothing in it: the application's default width
}

TEST(XlsxSpreadsheet, RefusesWhatASheetCannotHoldOneCellAtATime) {
    testsupport::application();
    TempDir temp;
    XlsxSpreadsheet book(q(temp.path()), [](const QString&) { return true; });
    EXPECT_EQ(failure([&] { book.setCell(1, 1, 1.0); }), "3219 The spreadsheet has no open workbook.");
    book.addWorkbook("a/b:c");
    book.setCell(1, 1, QStringLiteral("first"));
    EXPECT_EQ(failure([&] { book.setCell(2, 1, QString(32768, QLatin1Char('x'))); }),
              "3001 Cell (2, 1): a text of 32768 characters is longer than a cell holds (32767).");
    EXPECT_EQ(failure([&] { book.setCell(2, 2, std::numeric_limits<double>::infinity()); }),
              "3001 Cell (2, 2): inf is not a number a cell can hold.");
    EXPECT_EQ(failure([&] { book.setCell(2, 16385, 1.0); }),
              "3001 Cell (2, 16385) lies outside the sheet, which holds 1048576 rows and 16384 columns.");
    EXPECT_EQ(failure([&] { book.setCell(1048577, 1, 1.0); }).substr(0, 31),
              "3001 Cell (1048577, 1) lies out");
    book.setCell(2, 3, QStringLiteral("kept"));
    book.setCell(3, 1, QStringLiteral("third"));
    // Rows already written are final.
    EXPECT_EQ(failure([&] { book.setCell(2, 1, 1.0); }),
              "3219 Cell (2, 1) lies in a row that is already written; cells are set row by row.");
    EXPECT_EQ(failure([&] { book.setBold(2, 1); }),
              "3219 Cell (2, 1) is not in the row being set; only its cells can be made bold.");
    book.save();
    EXPECT_GT(testsupport::errorOf([&] { book.setCell(4, 1, 1.0); }).number(), 0);

    const outputtest::WorkbookDump dump = readWorkbook(temp / "a_b_c.xlsx");
    ASSERT_EQ(dump.exitCode, 0) << dump.error;
    EXPECT_EQ(dump.cells.at("A1"), "text|first|General|plain");
    EXPECT_EQ(dump.cells.at("A2"), "empty||General|plain");
    EXPECT_EQ(dump.cells.at("B2"), "empty||General|plain");
    EXPECT_EQ(dump.cells.at("C2"), "text|kept|General|plain");
    EXPECT_EQ(dump.cells.at("A3"), "text|third|General|plain");
}

TEST(XlsxSpreadsheet, WithoutAFolderItWritesIntoANewTemporaryFolderThatStays) {
    testsupport::application();
    testsupport::DesktopCatcher desktop;
    QString folder;
    {
        XlsxSpreadsheet book;
        folder = book.folder();
        book.addWorkbook("ORDERS");
        book.setCell(1, 1, QStringLiteral("ITEM"));
        book.makeVisible();
    }
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(QFileInfo(folder).fileName().startsWith("brindle-"));
    const QString second = XlsxSpreadsheet().folder();
    EXPECT_NE(folder, second); // a new folder each time
    QDir(second).removeRecursively();
    // The user's application still has the file; the writer's own scratch files are gone.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"ORDERS.xlsx"});
    const QString file = QDir(folder).filePath("ORDERS.xlsx");
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened.at(0).toLocalFile(), file);
    QDir(folder).removeRecursively();
}

TEST(XlsxSpreadsheet, TellsWhenTheFileCannotBeWrittenOrShown) {
    testsupport::application();
    TempDir temp;
    EXPECT_EQ(failure([&] { XlsxSpreadsheet book(q(temp / "missing")); }),
              "76 Cannot create the workbook in " + (temp / "missing").string() +
                  ": the folder does not exist");

    std::filesystem::create_directory(temp / "gone");
    XlsxSpreadsheet lost(q(temp / "gone"), [](const QString&) { return true; });
    lost.addWorkbook("orders");
    lost.setCell(1, 1, 1.0);
    std::filesystem::remove(temp / "gone");
    const std::string written = failure([&] { lost.save(); });
    const std::string expected =
        "75 Cannot write the workbook " + (temp / "gone" / "orders.xlsx").string() + ": ";
    EXPECT_EQ(written.substr(0, expected.size()), expected);
    EXPECT_GT(written.size(), expected.size()); // and the library's reason

    // The offscreen platform has no desktop services, as a system without a spreadsheet application.
    XlsxSpreadsheet unseen(q(temp.path()));
    unseen.addWorkbook("orders");
    unseen.setCell(1, 1, 1.0);
    EXPECT_FALSE(unseen.makeVisible());
    EXPECT_TRUE(std::filesystem::exists(temp / "orders.xlsx")); // written all the same
    // Kept elsewhere, it moves there whole; a folder there cannot take it.
    std::filesystem::create_directory(temp / "gone");
    EXPECT_EQ(failure([&] { unseen.keepAt(q(temp / "gone")); }),
              "75 Cannot keep the workbook as " + (temp / "gone").string() + ": it is a folder");
    unseen.keepAt(q(temp / "gone" / "mine.xlsx"));
    EXPECT_FALSE(std::filesystem::exists(temp / "orders.xlsx"));
    EXPECT_EQ(readWorkbook(temp / "gone" / "mine.xlsx").rows, 1);
}
