// The statements that header clicks, Sort and Filter build, and names bracketed where the dialect needs it.
#include "gridtools/Sorting.h"

#include <gtest/gtest.h>

using gridtools::CurrentStatement;
using gridtools::headerSortSource;
using gridtools::SortState;

namespace {

CurrentStatement recorded(const QStringList& items, int count, const QString& table,
                          bool openedTable = false) {
    return CurrentStatement{items, count, table, openedTable};
}

QString click(const CurrentStatement& current, int column, const QString& caption, SortState& state) {
    return headerSortSource(current, column, caption, state).value_or(QStringLiteral("<nothing>"));
}

} // namespace

TEST(HeaderSort, BuildsTheStatementsOfTheExamples) {
    const CurrentStatement items = recorded({"id", "price AS p"}, 2, "orders");
    SortState state;
    EXPECT_EQ(click(items, 1, "p", state), "select id,price AS p from orders order by price  asc");
    EXPECT_EQ(state.sortExp, "price ");
    EXPECT_EQ(click(items, 1, "p", state), "select id,price AS p from orders order by price  desc");
    EXPECT_EQ(click(items, 1, "p", state), "select id,price AS p from orders order by price  asc");
    EXPECT_EQ(click(items, 0, "id", state), "select id,price AS p from orders order by id asc");
    EXPECT_EQ(state.oldSortExp, "id");

    // A lower-case alias marker is cut the same way.
    SortState lower;
    EXPECT_EQ(click(recorded({"id", "price as p"}, 2, "orders"), 1, "p", lower),
              "select id,price as p from orders order by price  asc");

    // A table opened from the file list: all fields, sorted by the caption.
    SortState opened;
    EXPECT_EQ(click(recorded({}, 0, "orders", true), 1, "NAME", opened),
              "select * from orders order by NAME asc");
    EXPECT_EQ(opened.sortMet, " asc");

    // Sort writes only SortExp, so the column header-sorted last still reverses.
    state.sortExp = "city desc";
    EXPECT_EQ(click(items, 0, "id", state), "select id,price AS p from orders order by id desc");
}

TEST(HeaderSort, TakesOnlyTheCurrentStatementsOwnItems) {
    // select * ... where ...: the star is no item, so the first header sorts by its caption.
    SortState star;
    EXPECT_EQ(click(recorded({" * "}, 0, "orders "), 0, "ITEM", star),
              "select * from orders  order by ITEM asc");
    SortState qualified;
    EXPECT_EQ(click(recorded({" o.* "}, 0, "orders o "), 0, "ITEM", qualified),
              "select * from orders o  order by ITEM asc");

    // A single-item statement after one of three items: the stale entries do not count.
    const CurrentStatement narrow = recorded({" QTY ", "ITEM", "QTY*2 AS D"}, 0, "orders ");
    SortState state;
    EXPECT_EQ(click(narrow, 0, "QTY", state), "select * from orders  order by  QTY  asc");
    EXPECT_EQ(click(narrow, 1, "ITEM", state), "select * from orders  order by ITEM asc");
    SortState two;
    EXPECT_EQ(click(recorded({"ITEM", "QTY", "PRICE AS P"}, 2, "orders"), 2, "EXTRA", two),
              "select ITEM,QTY from orders order by EXTRA asc");

    // Columns after a star do not line up with the items after it.
    SortState after;
    EXPECT_EQ(click(recorded({"*", "QTY*2 AS D"}, 2, "orders"), 1, "QTY", after),
              "select *,QTY*2 AS D from orders order by QTY asc");
}

TEST(HeaderSort, WithoutItemOrCaptionShowsTheTableOrNothing) {
    SortState state{"x", " desc", "x"};
    EXPECT_FALSE(headerSortSource(recorded({}, 0, ""), 0, "", state));
    EXPECT_EQ(state.sortMet, " desc");
    EXPECT_EQ(state.oldSortExp, "x");

    EXPECT_EQ(click(recorded({}, 0, "orders", true), 0, "", state), "select * from orders");
    EXPECT_EQ(state.sortMet, " desc");
    EXPECT_EQ(state.oldSortExp, "");
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
    EXPECT_EQ(gridtools::tablePart(recorded({}, 0, "sales 2024", true)), "[sales 2024]");
    EXPECT_EQ(gridtools::tablePart(recorded({" * "}, 0, "orders o ", false)), "orders o ");
}
