// Data1 and DBGrid1 together: refreshing sources, the navigation bar's moves and the view following
// them, the view moving the recordset, typing into a cell, and a big table read on demand.
#include "datagrid/ResultGrid.h"

#include "datagrid/DataSource.h"
#include "datagrid/GridCells.h"
#include "datagrid/NavigationBar.h"
#include "datagrid/RecordsetModel.h"
#include "engine/EngineTestSupport.h"
#include "support/Qt.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using datagrid::DataSource;
using datagrid::NavigationBar;
using datagrid::RecordsetModel;
using datagrid::ResultGrid;

namespace {

using testsupport::application;

class ResultGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeTable(m_dir / "towns.dbf", {{"TOWN", 'C', 12, 0}, {"PEOPLE", 'N', 8, 0}},
                                {{std::string("Split"), std::int64_t{160000}},
                                 {std::string("Zadar"), std::int64_t{70000}},
                                 {std::string("Osijek"), std::int64_t{96000}},
                                 {std::string("Pula"), std::int64_t{52000}}});
        m_source.setDatabaseName(QString::fromStdString(m_dir.path().string()));
    }

    QToolButton* button(const char* name) { return m_bar.findChild<QToolButton*>(name); }
    std::int64_t position() { return m_source.recordset()->absolutePosition(); }
    void click(const char* name) {
        QToolButton* b = button(name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    }

    testsupport::ApplicationFirst m_application; // before the widgets below
    // Typing into the grid: the first key opens the cell's editor, which then has the focus, and Return
    // commits.
    void type(const char* text) {
        QTest::keyClick(&m_grid, text[0]);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        ASSERT_EQ(editor->parentWidget()->parentWidget(), &m_grid);
        QTest::keyClicks(editor, text + 1);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits in a queued call
    }

    testsupport::TempDir m_dir;
    DataSource m_source;
    ResultGrid m_grid{&m_source};
    NavigationBar m_bar{&m_source};
};

TEST_F(ResultGridTest, RefreshOpensTablesAndSelects) {
    EXPECT_EQ(m_grid.columnCount(), 0);

    // Nothing to open yet: an error for the caller, never a dialog.
    EXPECT_EQ(testsupport::errorOf([&] { m_source.refresh(); }).number(), engine::InvalidArgument);

    QSignalSpy refreshed(&m_source, &DataSource::refreshed);
    m_source.setProperty("RecordSource", "TOWNS.DBF");
    m_source.refresh();
    EXPECT_EQ(refreshed.count(), 1);
    ASSERT_NE(m_source.recordset(), nullptr);
    ASSERT_EQ(m_grid.columnCount(), 2);
    EXPECT_EQ(m_grid.columnCaption(1), "PEOPLE");
    EXPECT_EQ(m_grid.model()->rowCount(), 4);
    EXPECT_EQ(m_grid.currentIndex().row(), 0); // the first record is current after an open
    engine::Database* database = m_source.database();

    m_source.setRecordSource("select town as t from towns where people > 60000 order by people");
    m_source.refresh();
    EXPECT_EQ(m_source.database(), database); // the same folder keeps its database
    ASSERT_EQ(m_grid.columnCount(), 1);
    EXPECT_EQ(m_grid.columnCaption(0), "t");
    EXPECT_EQ(m_grid.model()->data(m_grid.model()->index(2, 0)).toString(), "Split");

    // A bad source leaves nothing open: the grid and the bar let go of the old one.
    m_source.setRecordSource("nosuchtable.dbf");
    const engine::Error error = testsupport::errorOf([&] { m_source.refresh(); });
    EXPECT_EQ(error.number(), engine::TableNotFound);
    EXPECT_TRUE(testsupport::contains(error.description(), "nosuchtable")) << error.description();
    EXPECT_EQ(m_source.recordset(), nullptr);
    EXPECT_EQ(m_grid.model(), nullptr);
    EXPECT_EQ(m_grid.columnCount(), 0);
    EXPECT_FALSE(button("Data1Next")->isEnabled());

    // While a recordset is open the folder cannot be opened exclusively; after close() it can.
    m_source.setRecordSource("towns");
    m_source.refresh();
    EXPECT_TRUE(button("Data1Next")->isEnabled());
    EXPECT_EQ(
        testsupport::errorOf([&] { engine::Database exclusive(m_dir.path(), {.exclusive = true}); }).number(),
        engine::FolderInUse);
    m_source.close();
    EXPECT_EQ(m_grid.model(), nullptr);
    EXPECT_EQ(
        testsupport::errorOf([&] { engine::Database exclusive(m_dir.path(), {.exclusive = true}); }).number(),
        -1);

    // Another folder gets its own database.
    testsupport::TempDir other;
    testsupport::writeTable(other / "towns.dbf", {{"TOWN", 'C', 12, 0}}, {{std::string("Rijeka")}});
    m_source.setDatabaseName(QString::fromStdString(other.path().string()));
    m_source.refresh();
    EXPECT_EQ(m_grid.model()->rowCount(), 1);
    EXPECT_EQ(m_grid.model()->data(m_grid.model()->index(0, 0)).toString(), "Rijeka");
    m_source.close();
}

TEST_F(ResultGridTest, NavigationBarAndGridFollowEachOther) {
    m_source.setRecordSource("towns.dbf");
    m_source.refresh();
    QSignalSpy moved(&m_source, &DataSource::currentChanged);

    click("Data1Next");
    EXPECT_EQ(position(), 1);
    EXPECT_EQ(m_grid.currentIndex().row(), 1);
    click("Data1Last");
    EXPECT_EQ(position(), 3);
    EXPECT_EQ(m_grid.currentIndex().row(), 3);
    click("Data1Next"); // stays on the last record
    EXPECT_EQ(position(), 3);
    EXPECT_FALSE(m_source.recordset()->eof());
    click("Data1Previous");
    EXPECT_EQ(m_grid.currentIndex().row(), 2);
    click("Data1First");
    click("Data1Previous"); // stays on the first
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(m_grid.currentIndex().row(), 0);
    EXPECT_EQ(moved.count(), 6);

    // The caption shows what the program sets.
    m_source.setCaption("1/4");
    EXPECT_EQ(m_bar.findChild<QLabel*>("Data1Caption")->text(), "1/4");

    // Selecting a row moves the recordset; arrow keys move between cells.
    m_grid.setCurrentIndex(m_grid.model()->index(2, 1));
    EXPECT_EQ(position(), 2);
    EXPECT_EQ(moved.count(), 7);
    QTest::keyClick(&m_grid, Qt::Key_Up);
    EXPECT_EQ(position(), 1);
    QTest::keyClick(&m_grid, Qt::Key_Left);
    EXPECT_EQ(m_grid.currentIndex().column(), 0);
    EXPECT_EQ(position(), 1);
    EXPECT_EQ(moved.count(), 8);

    // Moves of the program through the data source select the row.
    m_source.moveLast();
    EXPECT_EQ(m_grid.currentIndex(), m_grid.model()->index(3, 0));

    // An empty result: the buttons do nothing and the grid has no current row.
    m_source.setRecordSource("select * from towns where people < 0");
    m_source.refresh();
    EXPECT_EQ(m_grid.model()->rowCount(), 0);
    EXPECT_FALSE(m_grid.currentIndex().isValid());
    click("Data1Last");
    click("Data1Next");
    EXPECT_EQ(position(), -1);
    EXPECT_EQ(testsupport::errorOf([&] { m_source.moveFirst(); }).number(), engine::NoCurrentRecord);
}

TEST_F(ResultGridTest, TypingIntoACellReachesTheRecordsetOrSaysWhyNot) {
    m_source.setRecordSource("towns.dbf");
    m_source.refresh();
    m_grid.show();
    QApplication::setActiveWindow(&m_grid);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_grid));
    m_grid.setFocus();
    QSignalSpy failed(&m_grid, &ResultGrid::editFailed);

    // What the file then holds, and that a refusal leaves it alone, is RecordsetModelTest's.
    m_grid.setCurrentIndex(m_grid.model()->index(1, 1));
    type("71000");
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(m_grid.model()->data(m_grid.model()->index(1, 1)).toString(), "71000");
    // A number too wide for N(8) is refused with the engine's message.
    m_grid.setCurrentIndex(m_grid.model()->index(2, 1));
    type("123456789");
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("PEOPLE"))
        << failed.at(0).at(0).toString().toStdString();
}

TEST_F(ResultGridTest, BigTableIsReadOnDemand) {
    constexpr std::uint32_t Records = 200000;
    testsupport::writeRows(m_dir / "big.dbf", {{"ID", 'N', 7}, {"NAME", 'C', 10}}, Records, [](int i) {
        return testsupport::Row{std::int64_t{i}, "n" + std::to_string(i)};
    });
    // Record ID 6 deleted: the rows after it are the next records.
    xbase::Table::open(m_dir / "big.dbf", xbase::OpenMode::ReadWrite)->setDeleted(5, true);
    m_source.setRecordSource("big.dbf");
    m_source.refresh();
    auto* model = m_grid.recordsetModel();
    ASSERT_NE(model, nullptr);
    const int first = model->rowCount();
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 20000);
    EXPECT_EQ(model->data(model->index(5, 0)).toString(), "7");
    ASSERT_TRUE(model->canFetchMore({}));
    model->fetchMore({});
    EXPECT_GT(model->rowCount(), first);
    EXPECT_LT(model->rowCount(), 100000);

    // The caller's moveLast gives the complete count at once, and the view the last row.
    m_source.moveLast();
    EXPECT_EQ(model->rowCount(), static_cast<int>(Records) - 1);
    EXPECT_FALSE(model->canFetchMore({}));
    EXPECT_EQ(m_grid.currentIndex().row(), static_cast<int>(Records) - 2);
    EXPECT_EQ(model->data(model->index(Records - 2, 0)).toString(), "200000");
    EXPECT_EQ(model->data(model->index(Records - 2, 1)).toString(), "n200000");
    QSignalSpy moved(&m_source, &DataSource::currentChanged);
    m_source.moveFirst();
    EXPECT_EQ(m_grid.currentIndex().row(), 0);

    // Reading many rows keeps only a few of them.
    for (int r = 0; r < 5000; r += 3)
        EXPECT_EQ(model->data(model->index(r, 0)).toString(), QString::number(r < 5 ? r + 1 : r + 2));
    EXPECT_LE(model->cachedRows(), RecordsetModel::CacheCapacity);
    EXPECT_GE(model->cachedRows(), RecordsetModel::CacheCapacity / 2);
}

} // namespace

// Null drawn apart from empty text, a memo's whole text in the tooltip and in a viewer (read-only where
// the grid may not change it), and a range of cells copied with its column names.
TEST_F(ResultGridTest, NullsMemosAndACopiedRange) {
    testsupport::writeTable(m_dir / "notes.dbf",
                            {{"NAME", 'C', 8, 0}, {"NOTE", 'M', 10, 0}, {"QTY", 'N', 5, 0}},
                            {{std::string("a\tb"), std::string("line one\r\nline two"), std::int64_t{1}},
                             {std::string(""), xbase::Null{}, std::int64_t{2}},
                             {std::string("c"), std::string("short"), xbase::Null{}}});
    m_source.setRecordSource("notes");
    m_source.refresh();
    m_grid.resize(400, 300);
    m_grid.show();
    RecordsetModel& model = *m_grid.recordsetModel();
    const auto styled = [&](int row, int column) {
        QStyleOptionViewItem option;
        option.initFrom(&m_grid);
        const QModelIndex index = model.index(row, column);
        auto* delegate = dynamic_cast<datagrid::CellDelegate*>(m_grid.itemDelegateForIndex(index));
        if (delegate) delegate->initStyleOption(&option, index);
        return option;
    };
    // An empty text and a Null differ on screen, not in what is edited.
    EXPECT_EQ(styled(1, 0).text, "");
    EXPECT_EQ(styled(2, 2).text, "Null");
    EXPECT_TRUE(styled(2, 2).font.italic());
    EXPECT_FALSE(styled(1, 0).font.italic());
    EXPECT_EQ(model.data(model.index(2, 2), Qt::EditRole).toString(), "");
    ASSERT_TRUE(model.data(model.index(0, 1), RecordsetModel::MemoRole).toBool());
    EXPECT_EQ(model.data(model.index(0, 1), Qt::ToolTipRole).toString(), "line one\r\nline two");

    // Double-click on a memo: its whole text in a viewer; OK writes an edit back to the file.
    const QModelIndex memo = model.index(0, 1);
    QTest::mouseClick(m_grid.viewport(), Qt::LeftButton, {}, m_grid.visualRect(memo).center());
    QTest::mouseDClick(m_grid.viewport(), Qt::LeftButton, {}, m_grid.visualRect(memo).center());
    auto* viewer = m_grid.findChild<QDialog*>("MemoViewer");
    ASSERT_NE(viewer, nullptr);
    auto* text = viewer->findChild<QPlainTextEdit*>();
    EXPECT_EQ(text->toPlainText(), "line one\nline two");
    EXPECT_FALSE(text->isReadOnly());
    text->setPlainText("rewritten");
    viewer->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(engine::Database(m_dir.path()).openRecordset("notes")->value("NOTE"),
              engine::Value(std::string("rewritten")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_grid.setAllowUpdate(false);
    QTest::mouseClick(m_grid.viewport(), Qt::LeftButton, {}, m_grid.visualRect(model.index(2, 1)).center());
    QTest::mouseDClick(m_grid.viewport(), Qt::LeftButton, {}, m_grid.visualRect(model.index(2, 1)).center());
    viewer = m_grid.findChild<QDialog*>("MemoViewer");
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->findChild<QPlainTextEdit*>()->isReadOnly());
    viewer->close();

    // A range of cells with its column names, tab-separated; a tab inside a value does not split it.
    m_grid.setCurrentIndex(model.index(0, 0));
    m_grid.selectionModel()->select(QItemSelection(model.index(0, 0), model.index(2, 2)),
                                    QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(&m_grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "NAME\tNOTE\tQTY\na b\trewritten\t1\n\t\t2\nc\tshort\t\n");
}
