// Column auto-fit: the measuring statement, widths from the longest values and the upper-cased caption,
// and failing columns that keep their width.
#include "gridtools/AutoFit.h"

#include "engine/EngineTestSupport.h"

#include <gtest/gtest.h>

using gridtools::ColumnToFit;
using gridtools::FitResult;

namespace {

// Capitals count double, so that measuring a caption in upper case shows in the width.
int width(const QString& text) {
    int total = 0;
    for (const QChar c : text)
        total += c.isUpper() ? 200 : 100;
    return total;
}

class AutoFit : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeTable(
            m_dir / "goods.dbf",
            {{"NAME", 'C', 20, 0}, {"QTY", 'N', 5, 0}, {"CODE", 'C', 4, 0}, {"OK", 'L', 1, 0}},
            {{std::string("abc"), xbase::Null{}, std::string("x"), true},
             {std::string("abcdefghij"), xbase::Null{}, std::string("xy"), true},
             {std::string("abcde"), xbase::Null{}, std::string(""), true}});
        testsupport::writeTable(m_dir / "empty.dbf", {{"NAME", 'C', 20, 0}}, {});
        m_db = std::make_unique<engine::Database>(m_dir.path());
    }

    FitResult fit(const std::vector<ColumnToFit>& columns, const QString& table = "goods") {
        return gridtools::fitColumns(*m_db, columns, table, width);
    }

    testsupport::TempDir m_dir;
    std::unique_ptr<engine::Database> m_db;
};

} // namespace

TEST(AutoFitStatement, IsBuiltFromTheExpressionAndTable) {
    EXPECT_EQ(
        gridtools::measuringStatement("price ", "orders"),
        "select top 30 len(trim(str(price ))) as duz,price  as txt from (orders) order by len (price ) desc");
    EXPECT_EQ(gridtools::measuredExpression("amount*2 AS total", "total"), "amount*2 ");
    EXPECT_EQ(gridtools::measuredExpression("amount*2", "Expr1000"), "Expr1000");
    EXPECT_EQ(gridtools::measuredExpression("", "DESC"), "[DESC]");
}

TEST_F(AutoFit, WidthsComeFromTheLongestValuesAndTheUpperCasedCaption) {
    const FitResult result =
        fit({{"NAME", "name"}, {"QTY", "qty"}, {"CODE", "codeword"}, {"NAME ", "n"}, {"OK", "ok"}});
    ASSERT_EQ(result.widths.size(), 5u);
    EXPECT_EQ(result.widths[0], 10 * 100 + 120); // abcdefghij beats NAME (800)
    EXPECT_EQ(result.widths[1], 3 * 200 + 120);  // all Null: the caption, in capitals
    EXPECT_EQ(result.widths[2], 8 * 200 + 120);  // CODEWORD beats xy
    EXPECT_EQ(result.widths[3], 10 * 100 + 120);
    EXPECT_EQ(result.widths[4], 200 + 4 * 100 + 120) << "False fits, though every stored value is True";
    EXPECT_EQ(result.failedColumns, 0);
    EXPECT_EQ(gridtools::failureMessage(result), "");

    // No rows: the column keeps its width.
    const FitResult empty = fit({{"NAME", "NAME"}}, "empty");
    ASSERT_EQ(empty.widths.size(), 1u);
    EXPECT_FALSE(empty.widths[0]);
    EXPECT_EQ(empty.failedColumns, 0);
}

TEST_F(AutoFit, AFailingColumnKeepsItsWidthAndIsReportedOnce) {
    // The first column fails: the next ones are measured from their own rows all the same.
    const FitResult result =
        fit({{"Expr1000", "Expr1000"}, {"CODE", "c"}, {"nosuch", "nosuch"}, {"NAME", "n"}});
    ASSERT_EQ(result.widths.size(), 4u);
    EXPECT_FALSE(result.widths[0]);
    EXPECT_EQ(result.widths[1], 2 * 100 + 120);
    EXPECT_FALSE(result.widths[2]);
    EXPECT_EQ(result.widths[3], 10 * 100 + 120);
    EXPECT_EQ(result.failedColumns, 2);
    ASSERT_TRUE(result.firstFailure);
    const engine::Error expected = testsupport::errorOf(
        [&] { m_db->openRecordset(gridtools::measuringStatement("Expr1000", "goods").toStdString()); });
    ASSERT_GT(expected.number(), 0);
    EXPECT_EQ(gridtools::failureMessage(result), QString::number(expected.number()) + " " +
                                                     QString::fromStdString(expected.description()) +
                                                     "\n2 columns kept their widths.");

    const FitResult one = fit({{"NAME", "n"}, {"nosuch", "nosuch"}});
    EXPECT_TRUE(gridtools::failureMessage(one).endsWith("\n1 column kept its width."));
}
