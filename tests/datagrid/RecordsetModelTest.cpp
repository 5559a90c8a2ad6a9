// The grid's model over real tables: columns and headers, cell texts, edits written to the file, refused
// edits that leave it alone, read-only results, and cell texts typed back into values.
#include "datagrid/RecordsetModel.h"

#include "datagrid/DataSource.h"
#include "datagrid/ValueText.h"
#include "engine/EngineTestSupport.h"
#include "support/Qt.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

using datagrid::DataSource;
using datagrid::RecordsetModel;
using engine::Value;
using xbase::Date;

namespace {

using testsupport::application;

// people (CODE C(3), NAME, QTY N(6), PRICE N(8,2), BORN D, ACTIVE L) and orders, for a join.
class RecordsetModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        testsupport::writeTable(
            m_dir / "people.dbf",
            {{"CODE", 'C', 3, 0},
             {"NAME", 'C', 20, 0},
             {"QTY", 'N', 6, 0},
             {"PRICE", 'N', 8, 2},
             {"BORN", 'D', 8, 0},
             {"ACTIVE", 'L', 1, 0}},
            {{std::string("AB"), std::string("Ana"), std::int64_t{5}, 3.5, Date{2024, 3, 15}, true},
             {std::string("CD"), std::string("Bojan"), std::int64_t{-12}, 0.25, Date{1999, 12, 1}, false},
             {std::string("EF"), std::string("Cvijeta"), xbase::Null{}, xbase::Null{}, xbase::Null{},
              xbase::Null{}}});
        testsupport::writeTable(
            m_dir / "orders.dbf", {{"CODE", 'C', 3, 0}, {"AMOUNT", 'N', 6, 0}},
            {{std::string("AB"), std::int64_t{100}}, {std::string("CD"), std::int64_t{7}}});
        m_source.setDatabaseName(QString::fromStdString(m_dir.path().string()));
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    RecordsetModel& open(const QString& source) {
        m_source.setRecordSource(source);
        m_source.refresh();
        m_model = std::make_unique<RecordsetModel>(m_source.recordset());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        return *m_model;
    }

    QString text(int row, int column) { return m_model->data(m_model->index(row, column)).toString(); }
    std::vector<QString> row(int r) {
        std::vector<QString> out;
        for (int c = 0; c < m_model->columnCount(); ++c)
            out.push_back(text(r, c));
        return out;
    }
    // The value as a second, independent database reads it from the file.
    std::string fileValue(const std::string& select) {
        engine::Database db(m_dir.path());
        return enginetest::one(db, select);
    }

    testsupport::TempDir m_dir;
    DataSource m_source;
    std::unique_ptr<RecordsetModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

TEST_F(RecordsetModelTest, ColumnsHeadersAndCellTexts) {
    RecordsetModel& model = open("people.dbf");
    ASSERT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCaption(0), "CODE");
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), "ACTIVE");
    EXPECT_EQ(model.columnCaption(6), "");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toInt(), 3);

    // Plain decimals, the locale's short date with a four-digit year, True/False, Null as nothing.
    EXPECT_EQ(row(0), (std::vector<QString>{"AB", "Ana", "5", "3.50", "3/15/2024", "True"}));
    EXPECT_EQ(row(1), (std::vector<QString>{"CD", "Bojan", "-12", "0.25", "12/1/1999", "False"}));
    EXPECT_EQ(row(2), (std::vector<QString>{"EF", "Cvijeta", "", "", "", ""}));
    EXPECT_EQ(model.data(model.index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::Alignment());
    EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.canFetchMore({}));

    // Another locale: its date order and decimal comma.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    RecordsetModel& german = open("people.dbf");
    EXPECT_EQ(german.data(german.index(0, 4)).toString(), "15.03.2024");
    EXPECT_EQ(german.data(german.index(0, 3)).toString(), "3,50");

    // A select: its columns in order, headed by alias or field name.
    RecordsetModel& select = open("select name as who, qty from people where qty > 0");
    ASSERT_EQ(select.columnCount(), 2);
    EXPECT_EQ(select.columnCaption(0), "who");
    EXPECT_EQ(select.columnCaption(1).toUpper(), "QTY");
    ASSERT_EQ(select.rowCount(), 1);
    EXPECT_EQ(row(0), (std::vector<QString>{"Ana", "5"}));
}

TEST_F(RecordsetModelTest, EditsAreWrittenToTheFile) {
    RecordsetModel& model = open("people.dbf");
    QSignalSpy failed(&model, &RecordsetModel::editFailed);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setData(model.index(1, 1), "Zora"));
    EXPECT_TRUE(model.setData(model.index(1, 2), "42"));
    EXPECT_TRUE(model.setData(model.index(1, 3), "7.75"));
    EXPECT_TRUE(model.setData(model.index(1, 4), "4/1/2023"));
    EXPECT_TRUE(model.setData(model.index(1, 5), "true"));
    EXPECT_TRUE(model.setData(model.index(2, 4), "2020-02-29")); // ISO is read as well
    EXPECT_TRUE(model.setData(model.index(0, 2), ""));           // blank is Null
    EXPECT_EQ(failed.count(), 0) << failed.value(0).value(0).toString().toStdString();
    EXPECT_EQ(changed.count(), 7);
    EXPECT_EQ(row(1), (std::vector<QString>{"CD", "Zora", "42", "7.75", "4/1/2023", "True"}));

    EXPECT_EQ(fileValue("select name from people where code = 'CD'"), "Zora");
    EXPECT_EQ(fileValue("select qty from people where code = 'CD'"), "42");
    EXPECT_EQ(fileValue("select price from people where code = 'CD'"), "7.75");
    EXPECT_EQ(fileValue("select born from people where code = 'CD'"), "2023-04-01");
    EXPECT_EQ(fileValue("select active from people where code = 'CD'"), "True");
    EXPECT_EQ(fileValue("select born from people where code = 'EF'"), "2020-02-29");
    EXPECT_EQ(fileValue("select qty from people where code = 'AB'"), "NULL");

    // A select over one table is edited the same way.
    RecordsetModel& select = open("select code, name from people where code <> 'AB' order by name desc");
    ASSERT_TRUE(select.flags(select.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(text(0, 1), "Zora");
    EXPECT_TRUE(select.setData(select.index(1, 1), "Vera"));
    EXPECT_EQ(fileValue("select name from people where code = 'EF'"), "Vera");

    // dBASE's soft return shows as the space it stands for; the value keeps it.
    EXPECT_TRUE(select.setData(select.index(1, 1), QStringLiteral("Ve\u008D\nra")));
    EXPECT_EQ(text(1, 1), "Ve ra");
    EXPECT_EQ(select.data(select.index(1, 1), Qt::EditRole).toString(), QStringLiteral("Ve\u008D\nra"));
    EXPECT_EQ(fileValue("select count(*) from people where name = 'Ve' & chr(141) & chr(10) & 'ra'"), "1");
}

TEST_F(RecordsetModelTest, RefusedValuesLeaveTheFileAsItWas) {
    // What the engine says about a code too long for C(3).
    std::string engineSays;
    {
        engine::Database db(m_dir.path());
        auto rs = db.openRecordset("people");
        rs->edit();
        rs->setValue("CODE", Value(std::string("ABCD")));
        engineSays = testsupport::errorOf([&] { rs->update(); }).description();
        if (rs->editing()) rs->cancelUpdate();
    }
    ASSERT_TRUE(testsupport::contains(engineSays, "CODE")) << engineSays;
    const auto before = testsupport::snapshot(m_dir.path());

    RecordsetModel& model = open("people.dbf");
    QSignalSpy failed(&model, &RecordsetModel::editFailed);
    EXPECT_FALSE(model.setData(model.index(0, 0), "ABCD"));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString().toStdString(), engineSays);
    EXPECT_EQ(text(0, 0), "AB");

    // Text that is no value of the field's kind never reaches the file.
    EXPECT_FALSE(model.setData(model.index(0, 2), "many"));
    EXPECT_FALSE(model.setData(model.index(0, 4), "31/31/2024"));
    EXPECT_FALSE(model.setData(model.index(0, 5), "perhaps"));
    ASSERT_EQ(failed.count(), 4);
    EXPECT_TRUE(failed.at(1).at(0).toString().contains("QTY")) << failed.at(1).at(0).toString().toStdString();
    EXPECT_TRUE(failed.at(2).at(0).toString().contains("date"));
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(m_dir.path())), "");

    // The recordset is usable after a refusal: the next edit goes through.
    EXPECT_FALSE(m_source.recordset()->editing());
    EXPECT_TRUE(model.setData(model.index(0, 0), "XY"));
    EXPECT_EQ(fileValue("select name from people where code = 'XY'"), "Ana");
}

TEST_F(RecordsetModelTest, ReadOnlyResultsAreNotEditable) {
    RecordsetModel& join = open(
        "select p.name, o.amount from people p inner join orders o on p.code = o.code order by o.amount");
    ASSERT_EQ(join.rowCount(), 2);
    EXPECT_EQ(row(0), (std::vector<QString>{"Bojan", "7"}));
    const auto before = testsupport::snapshot(m_dir.path());
    for (int c = 0; c < 2; ++c)
        EXPECT_FALSE(join.flags(join.index(0, c)) & Qt::ItemIsEditable);
    EXPECT_FALSE(join.setData(join.index(0, 0), "Nobody"));
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(m_dir.path())), "");

    // AllowUpdate off makes a changeable table read-only in the grid.
    RecordsetModel& table = open("people.dbf");
    table.setAllowUpdate(false);
    EXPECT_FALSE(table.flags(table.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(table.setData(table.index(0, 1), "Nobody"));
    EXPECT_EQ(fileValue("select name from people where code = 'AB'"), "Ana");

    // A released model is empty and leaves the recordset alone.
    table.release();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.columnCount(), 0);
    EXPECT_FALSE(table.canFetchMore({}));
}

// A sort over many records: the grid has all its rows at once, and a row past the first ones read is
// read when it is painted, in the sort's order.
TEST_F(RecordsetModelTest, ASortedResultHasAllItsRowsBeforeTheyAreRead) {
    std::vector<std::vector<Value>> records;
    for (int i = 0; i < 3000; ++i)
        records.push_back({std::int64_t{(i * 7919) % 3000}});
    testsupport::writeTable(m_dir / "many.dbf", {{"N", 'N', 6, 0}}, records);
    m_source.setRecordSource("select * from many order by n desc");
    m_source.refresh();
    ASSERT_FALSE(m_source.recordset()->complete());
    RecordsetModel model(m_source.recordset());
    EXPECT_EQ(model.rowCount(), 3000);
    EXPECT_FALSE(model.canFetchMore(QModelIndex()));
    EXPECT_EQ(model.data(model.index(2999, 0)).toString(), "0");
    EXPECT_TRUE(m_source.recordset()->complete());
    EXPECT_EQ(model.data(model.index(1500, 0)).toString(), "1499");
    EXPECT_EQ(model.rowCount(), 3000);
}

TEST(ValueTextTest, TextsReadBackByKind) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(datagrid::shortDateFormat(us), "M/d/yyyy");
    EXPECT_EQ(datagrid::displayText(Value(1e20), us), "100000000000000000000");
    EXPECT_EQ(datagrid::displayText(Value(0.1), us), "0.1");
    EXPECT_EQ(datagrid::displayText(Value(-0.0), us), "0");
    // A field's value shows its decimals; a computed number at most 15 significant digits.
    EXPECT_EQ(datagrid::displayText(Value(4365.3), us, 2), "4365.30");
    EXPECT_EQ(datagrid::displayText(Value(-0.001), de, 2), "0,00");
    EXPECT_EQ(datagrid::displayText(Value(1234567.1299999999), us), "1234567.13");
    EXPECT_EQ(datagrid::displayText(Value(0.1 + 0.2), us), "0.3");
    EXPECT_EQ(datagrid::displayText(Value(xbase::DateTime{{2024, 1, 2}, 3723000}), us), "1/2/2024 01:02:03");

    const engine::FieldInfo real{"PRICE", engine::FieldKind::Real, 8};
    const engine::FieldInfo logical{"OK", engine::FieldKind::Logical, 1};
    const engine::FieldInfo stamp{"AT", engine::FieldKind::DateTime, 8};
    EXPECT_EQ(datagrid::valueFromText("3,25", real, de), Value(3.25));
    EXPECT_EQ(datagrid::valueFromText("3.25", real, de), Value(3.25));
    EXPECT_EQ(datagrid::valueFromText(" .T. ", logical, us), Value(true));
    EXPECT_EQ(datagrid::valueFromText("No", logical, us), Value(false));
    EXPECT_EQ(datagrid::valueFromText("1/2/2024 01:02:03", stamp, us),
              Value(xbase::DateTime{{2024, 1, 2}, 3723000}));
    EXPECT_EQ(datagrid::valueFromText("2024-01-02T01:02", stamp, us),
              Value(xbase::DateTime{{2024, 1, 2}, 3720000}));
    EXPECT_EQ(datagrid::valueFromText("1/2/2024", stamp, us), Value(xbase::DateTime{{2024, 1, 2}, 0}));
    const auto error = testsupport::errorOf([&] { datagrid::valueFromText("1.2.3", real, us); });
    EXPECT_EQ(error.number(), engine::DataTypeMismatch);
    EXPECT_TRUE(testsupport::contains(error.description(), "PRICE")) << error.description();
}

} // namespace
