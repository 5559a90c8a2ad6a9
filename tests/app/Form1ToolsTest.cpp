// The main window's grid tools driven as a user does: header clicks, Sort, Filter and Search from the
// menu, and the column auto-fit.
#include "app/Form1Fixture.h"
#include "browser/FileList.h"
#include "datagrid/ResultGrid.h"
#include "platform/Twips.h"

#include <QAction>
#include <QHeaderView>

using namespace form1test;
using Form1ToolsTest = Form1Test;

namespace {

void clickHeader(datagrid::ResultGrid* grid, int column) {
    QHeaderView* header = grid->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class Form1Tools : public Form1ToolsTest {
protected:
    // The first column of every row, as the grid shows it.
    QStringList firstColumn() {
        QStringList texts;
        QAbstractItemModel* model = m_form->grid()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, 0).data().toString().trimmed());
        return texts;
    }

    // Opens a table of the data folder as Enter in the file list does.
    void openTable(const std::string& file) {
        open(q(m_data / file));
        auto* files = named<browser::FileList>("File1");
        files->setFocus();
        QTest::keyClick(files, Qt::Key_Return);
    }

    QString source() { return m_form->dataSource()->recordSource(); }
    int currentRow() { return m_form->grid()->currentIndex().row(); }
};

// Which statement a click builds is SortingTest's; here, that the click sorts the result shown.
TEST_F(Form1Tools, HeaderClicksSortTheResultShown) {
    open(folder());
    enter("select ITEM, QTY as q from orders where QTY > 10");
    clickHeader(m_form->grid(), 1);
    EXPECT_EQ(source(), "select ITEM, QTY as q from orders where QTY > 10 order by q asc");
    EXPECT_EQ(firstColumn(), (QStringList{"screws", "nails"})) << "the WHERE stays";
    EXPECT_EQ(caption(), "1/2");
    QHeaderView* header = m_form->grid()->horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader(m_form->grid(), 1);
    EXPECT_EQ(firstColumn(), (QStringList{"nails", "screws"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // A grouped result keeps its groups; the first click on a new result sorts ascending.
    enter("select ITEM, count(*) as n from orders group by ITEM order by ITEM desc");
    EXPECT_FALSE(header->isSortIndicatorShown());
    clickHeader(m_form->grid(), 0);
    EXPECT_EQ(firstColumn(), (QStringList{"bolts", "nails", "screws"}));

    // A table opened from the file list whose name needs brackets stays editable.
    writeOrders(m_data / "sales 2024.dbf");
    openTable("sales 2024.dbf");
    clickHeader(m_form->grid(), 1);
    EXPECT_EQ(source(), "select * from [sales 2024.dbf] order by QTY asc");
    EXPECT_EQ(firstColumn(), (QStringList{"bolts", "screws", "nails"}));
    EXPECT_TRUE(m_form->dataSource()->recordset()->updatable());
}

TEST_F(Form1Tools, SortAndFilterRebuildTheWholeTable) {
    openTable("ORDERS.DBF");
    m_dialogs.expectPrompt("QTY");
    trigger("mnuSort");
    EXPECT_EQ(firstColumn(), (QStringList{"bolts", "screws", "nails"}));
    // A filter after a sort shows the filtered rows unsorted.
    m_dialogs.expectPrompt("QTY > 10");
    trigger("mnuFilter");
    EXPECT_EQ(firstColumn(), (QStringList{"nails", "screws"}));
    EXPECT_EQ(caption(), "1/2");

    // Cancelled prompts show the whole table; each prompt offers its own last answer.
    m_dialogs.expectPrompt("");
    trigger("mnuSort");
    EXPECT_EQ(m_dialogs.calls().back().defaultAnswer, "QTY");
    m_dialogs.expectPrompt("");
    trigger("mnuFilter");
    EXPECT_EQ(m_dialogs.calls().back().defaultAnswer, "QTY > 10");
    EXPECT_EQ(firstColumn(), (QStringList{"nails", "screws", "bolts"}));

    // A filter that leaves no rows shows no position of the result it replaced.
    m_dialogs.expectPrompt("QTY > 1000");
    trigger("mnuFilter");
    EXPECT_EQ(firstColumn(), QStringList{});
    EXPECT_EQ(caption(), "0/0");

    // A condition the engine refuses is reported with its description.
    m_dialogs.expectPrompt("nosuch = 1");
    m_dialogs.expectMessage();
    trigger("mnuFilter");
    ASSERT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages()[0].contains("nosuch")) << m_dialogs.messages()[0].toStdString();
}

TEST_F(Form1Tools, SearchMovesToEachFurtherMatch) {
    openTable("ORDERS.DBF");
    ASSERT_EQ(currentRow(), 0);
    m_dialogs.expectPrompt("QTY < 20");
    trigger("mnuSearch");
    EXPECT_EQ(rows().absolutePosition(), 1);
    EXPECT_EQ(caption(), "2/3");

    m_dialogs.expectPrompt("QTY < 20");
    trigger("mnuSearch");
    EXPECT_EQ(m_dialogs.calls().back().defaultAnswer, "QTY < 20");
    EXPECT_EQ(currentRow(), 2);

    // Past the last match: a message, and the current row stays where it was.
    m_dialogs.expectPrompt("QTY < 20");
    m_dialogs.expectMessage();
    trigger("mnuSearch");
    EXPECT_EQ(m_dialogs.messages(), QStringList{"Record not found"});
    EXPECT_EQ(rows().absolutePosition(), 2);

    // The search starts after the row the user picked in the grid, not after the last match.
    datagrid::ResultGrid* grid = m_form->grid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 1)).center());
    ASSERT_EQ(currentRow(), 0);
    m_dialogs.expectPrompt("QTY < 20");
    trigger("mnuSearch");
    EXPECT_EQ(currentRow(), 1);
    EXPECT_EQ(caption(), "2/3");
    EXPECT_EQ(m_dialogs.messages().size(), 1);

    // A refused condition gives the engine's message alone; an empty answer does nothing.
    m_dialogs.expectPrompt("nosuch = 1");
    m_dialogs.expectMessage();
    trigger("mnuSearch");
    ASSERT_EQ(m_dialogs.messages().size(), 2);
    EXPECT_NE(m_dialogs.messages()[1], "Record not found");
    m_dialogs.expectPrompt("");
    trigger("mnuSearch");
    EXPECT_EQ(m_dialogs.messages().size(), 2);
    EXPECT_EQ(currentRow(), 1);
    EXPECT_EQ(source(), "ORDERS.DBF");
}

// The widths themselves are AutoFitTest's; here, that they reach the grid.
TEST_F(Form1Tools, AutofitAppliesTheWidthsAndReportsFailingColumnsOnce) {
    open(folder());
    // The computed columns have no alias, so each is measured by a caption the table does not have.
    enter("select QTY*2, ITEM, QTY+1 from orders where QTY <> 12");
    datagrid::ResultGrid* grid = m_form->grid();
    for (int i = 0; i < 3; ++i)
        grid->setColumnWidth(i, 41);
    m_dialogs.expectMessage();
    trigger("mnuAutofit");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(grid->columnWidth(0), 41);
    EXPECT_EQ(grid->columnWidth(2), 41);
    // Fitted to the whole table: "screws" is not among the rows shown.
    const platform::Twips twips = platform::Twips::of(*grid);
    EXPECT_EQ(grid->columnWidth(1), twips.twipsToPixels(platform::Twips::textWidth(*m_form, "screws") + 120));
    EXPECT_EQ(m_dialogs.busyChanges(), (QList<bool>{true, false}));

    // A long memo takes at most half the grid.
    testsupport::writeTable(m_data / "NOTES.DBF", {{"NOTE", 'M', 10, 0}}, {{std::string(2000, 'w')}});
    enter("select NOTE from notes");
    trigger("mnuAutofit");
    EXPECT_EQ(grid->columnWidth(0), grid->viewport()->width() / 2);
}

TEST_F(Form1Tools, SortFilterAndSearchWithNothingShownSayWhatToDoFirst) {
    open(folder());
    for (const char* command : {"mnuSort", "mnuFilter", "mnuSearch"}) {
        m_dialogs.expectMessage();
        trigger(command);
        EXPECT_EQ(m_dialogs.messages().last(), "Open a table or run a select first.") << command;
    }
    EXPECT_EQ(m_dialogs.calls().size(), 3) << "no prompt before it";
}
