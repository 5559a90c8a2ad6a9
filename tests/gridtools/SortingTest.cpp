// The statements that header clicks, Sort and Filter build, and names bracketed where the dialect needs it.
#include "gridtools/Sorting.h"

#include <gtest/gtest.h>

using gridtools::headerSortSource;
using gridtools::SortState;

namespace {

QString click(const QString& source, const QString& caption, SortState& state) {
    return headerSortSource(source, caption, state).value_or(QStringLiteral("<nothing>"));
}

} // namespace

TEST(HeaderSort, ReplacesOnlyTheOrderByOfTheStatementShown) {
    SortState state;
    // The select list, WHERE, GROUP BY and TOP stay; the same column again turns the direction.
    const QString grouped =
        "select top 5 city, count(*) as n from orders where qty > 1 group by city order by city";
    EXPECT_EQ(click(grouped, "n", state),
              "select top 5 city, count(*) as n from orders where qty > 1 group by city order by n asc");
    EXPECT_EQ(click(grouped, "n", state),
              "select top 5 city, count(*) as n from orders where qty > 1 group by city order by n desc");
    EXPECT_EQ(click(grouped, "city", state),
              "select top 5 city, count(*) as n from orders where qty > 1 group by city order by city asc");
    // An ORDER BY inside a subquery or a quoted word stays; a computed column sorts by its name.
    EXPECT_EQ(click("select (select max(x) from t order by x) as m, 'order' from u", "Expr1000", state),
              "select (select max(x) from t order by x) as m, 'order' from u order by Expr1000 asc");
    EXPECT_EQ(click("select * from [sales 2024] order by [unit price] desc;", "unit price", state),
              "select * from [sales 2024] order by [unit price] asc");
    // A table shown whole is selected whole, sorted by the caption.
    EXPECT_EQ(click("ORDERS.DBF", "NAME", state), "select * from [ORDERS.DBF] order by NAME asc");
    // A crosstab, or nothing shown, is not sorted.
    EXPECT_FALSE(headerSortSource("transform sum(a) select b from t group by b pivot c", "b", state));
    EXPECT_FALSE(headerSortSource("", "b", state));
}

TEST(SortAndFilter, TheWholeTableOrderedOrLimitedByTheExpressionAsTyped) {
    EXPECT_EQ(gridtools::sortSource("ORDERS", "QTY"), "select * from ORDERS order by QTY");
    EXPECT_EQ(gridtools::filterSource("[sales 2024]", "QTY > 10"),
              "select * from [sales 2024] where QTY > 10");
    // An empty expression gives the whole table; without a table either, nothing is bound.
    EXPECT_EQ(gridtools::sortSource("ORDERS", ""), "select * from ORDERS");
    EXPECT_EQ(gridtools::filterSource("ORDERS", ""), "select * from ORDERS");
    EXPECT_EQ(gridtools::sortSource("", ""), std::nullopt);
    EXPECT_EQ(gridtools::filterSource("", ""), std::nullopt);
}

TEST(Names, AreBracketedWhereTheyNeedIt) {
    using gridtools::bracketName;
    for (const char* plain : {"orders", "ID", "NAME", "Expr1000", "u_naziv", "grün"})
        EXPECT_EQ(bracketName(plain), plain);
    EXPECT_EQ(bracketName("sales 2024"), "[sales 2024]");
    EXPECT_EQ(bracketName("2024-q1"), "[2024-q1]");
    EXPECT_EQ(bracketName("order"), "[order]");
    EXPECT_EQ(bracketName("DESC"), "[DESC]");
    EXPECT_EQ(bracketName("[sales 2024]"), "[sales 2024]");

    // Only a table opened from the file list is a bare name; a statement's table part is SQL already.
    EXPECT_EQ(gridtools::tablePart(gridtools::CurrentStatement{{}, 0, "sales 2024", true}), "[sales 2024]");
    EXPECT_EQ(gridtools::tablePart(gridtools::CurrentStatement{{" * "}, 0, "orders o ", false}), "orders o ");
}
