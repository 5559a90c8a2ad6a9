// The main window among other programs: a damaged table says so once when it opens, and a table cut
// short under the grid is reported and shown afresh instead of ending the program.
#include "Form1Fixture.h"
#include "browser/FileList.h"
#include "datagrid/ResultGrid.h"

#include <QAbstractItemModel>
#include <unistd.h>

using namespace form1test;

TEST_F(Form1Test, ADamagedTableSaysSoOnceWhenItOpens) {
    std::string bytes = readFile(m_data / "ORDERS.DBF");
    bytes[4] = 9; // the header counts nine records; the file holds three
    writeFile(m_data / "DAMAGED.DBF", bytes);
    open(q(m_data / "DAMAGED.DBF"));
    auto* files = named<browser::FileList>("File1");
    files->selectFile("DAMAGED.DBF");
    m_dialogs.expectMessage();
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(
        m_dialogs.messages(),
        QStringList{"DAMAGED.DBF: The header counts 9 records, but the file holds 3; the rest is missing."});
    EXPECT_EQ(m_form->grid()->model()->rowCount(), 3);
    EXPECT_EQ(caption(), "1/3");
    // Opened again, it is the same table: no second message.
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    // A change is refused with the reason, and the file stays as it was.
    m_dialogs.expectMessage();
    enter("update DAMAGED set qty = 1");
    EXPECT_TRUE(m_dialogs.messages().last().contains("is damaged"))
        << m_dialogs.messages().last().toStdString();
    EXPECT_EQ(readFile(m_data / "DAMAGED.DBF"), bytes);
}

TEST_F(Form1Test, ATableCutShortUnderTheGridIsReportedAndShownAsItIsNow) {
    testsupport::writeRows(m_data / "NUMBERS.DBF", {{"ID", 'N', 6}, {"NAME", 'C', 30}}, 3000, [](int i) {
        return testsupport::Row{std::int64_t{i}, "number " + std::to_string(i)};
    });
    open(q(m_data / "NUMBERS.DBF"));
    auto* files = named<browser::FileList>("File1");
    files->selectFile("NUMBERS.DBF");
    QTest::keyClick(files, Qt::Key_Return);
    datagrid::ResultGrid* grid = m_form->grid();
    ASSERT_EQ(grid->model()->rowCount(), 3000);
    EXPECT_EQ(caption(), "1/3000");

    // Another program packs the table down to ten records while the window shows it.
    auto table = xbase::Table::open(m_data / "NUMBERS.DBF");
    const auto ten = table->header().headerLength + 10ull * table->header().recordLength;
    table.reset();
    ASSERT_EQ(::truncate((m_data / "NUMBERS.DBF").c_str(), static_cast<off_t>(ten)), 0);

    // Scrolling to rows that are gone: the grid says why, then shows the table as it is now.
    m_dialogs.expectMessage();
    grid->scrollTo(grid->model()->index(2500, 1));
    (void)grid->model()->data(grid->model()->index(2500, 1));
    QTest::qWait(50);
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages()[0].contains("NUMBERS.DBF") &&
                m_dialogs.messages()[0].contains("changed by another program"))
        << m_dialogs.messages()[0].toStdString();
    EXPECT_EQ(grid->model()->rowCount(), 10);
    EXPECT_EQ(caption(), "1/10");
    EXPECT_EQ(grid->model()->data(grid->model()->index(9, 1)).toString(), "number 10");
}
