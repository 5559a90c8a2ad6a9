// Keyword search, statement kinds, the table part and the select list of typed statements.
#include "console/StatementParts.h"

#include <gtest/gtest.h>

using namespace console;

namespace {
const std::size_t npos = std::string::npos;
std::vector<std::string> items(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
}
} // namespace

TEST(StatementParts, KeywordsAreWholeWordsOutsideQuotesAndBrackets) {
    EXPECT_EQ(findKeyword("select * from orders", "order"), npos);
    EXPECT_EQ(findKeyword("select * FROM t", "from"), 9u);
    EXPECT_EQ(findKeyword("select 'from' as x, [from here] from t", "from"), 32u);
    EXPECT_EQ(findKeyword("select \"it\"\"s from\" from t", "from"), 20u);
    EXPECT_EQ(findKeyword("select a_from, fromage from t", "from"), 23u);
    EXPECT_EQ(findKeyword("select (select max(a) from u) from t", "from", true), 30u);
    EXPECT_EQ(findKeyword("select a from t\r\nwhere b=1", "where"), 17u);
    EXPECT_EQ(findKeyword("select 'unclosed from t", "from"), npos);
}

TEST(StatementParts, KindAfterBlanksAndLineBreaks) {
    EXPECT_TRUE(isSelect("select * from t"));
    EXPECT_TRUE(isSelect("  \r\nSELECT*FROM t"));
    EXPECT_FALSE(isSelect("selection from t"));
    EXPECT_FALSE(isSelect("update t set a='select'"));
    EXPECT_TRUE(isDelete("\r\n\r\ndelete from t"));
    EXPECT_TRUE(isDelete("DELETE * FROM t"));
    EXPECT_FALSE(isDelete("deleted from t"));
    EXPECT_FALSE(isDelete("select * from t"));
    EXPECT_EQ(deleteConfirmation("delete from t"), "Are you sure you want to delete  from t?");
    EXPECT_EQ(deleteConfirmation("\r\ndelete from ~t~"), "Are you sure you want to delete  from ~t~?");
    EXPECT_EQ(deleteConfirmation(""), "Are you sure you want to delete ?");
}

TEST(StatementParts, TablePart) {
    EXPECT_EQ(selectParts("select * from orders").tabela, "orders");
    EXPECT_EQ(selectParts("select * from t where a=1").tabela, "t ");
    EXPECT_EQ(selectParts("select * from t order by a").tabela, "t ");
    EXPECT_EQ(selectParts("select a, count(*) from t group by a").tabela, "t ");
    EXPECT_EQ(selectParts("select * from groups, wherever where x=1").tabela, "groups, wherever ");
    EXPECT_EQ(selectParts("SELECT a, (b,c) AS x FROM [my table] WHERE y = 'from'").tabela, "[my table] ");
    EXPECT_EQ(selectParts("select * from (select * from t where a=1) as q order by b").tabela,
              "(select * from t where a=1) as q ");
    EXPECT_EQ(selectParts("select *\r\nfrom\r\nt\r\nwhere a=1").tabela, "t\r\n");
    EXPECT_EQ(selectParts("select 1+1").tabela, "");
    EXPECT_EQ(selectParts("update t set a=1").tabela, "");
}

TEST(StatementParts, SingleItemKeepsItsBlanksAndTakesAllFields) {
    SelectParts parts = selectParts("select * from t where a=1");
    EXPECT_EQ(parts.fldExp, items({" * "}));
    EXPECT_EQ(parts.fldCount, 0);

    parts = selectParts("SELECT NAME FROM T");
    EXPECT_EQ(parts.fldExp, items({" NAME "}));
    EXPECT_EQ(parts.fldCount, 0);

    parts = selectParts("select distinct city from t");
    EXPECT_EQ(parts.fldExp, items({" city "}));
    EXPECT_EQ(parts.fldCount, 0);

    // A column that happens to be called distinct is the list, not a predicate.
    EXPECT_EQ(selectParts("select distinct from t").fldExp, items({" distinct "}));
    EXPECT_TRUE(selectParts("select from t").fldExp.empty());
}

TEST(StatementParts, ListSplitsAtTopLevelCommasOnly) {
    SelectParts parts = selectParts("SELECT a, (b,c) AS x FROM [my table] WHERE y = 'from'");
    EXPECT_EQ(parts.fldExp, items({"a", "(b,c) AS x"}));
    EXPECT_EQ(parts.fldCount, 2);

    parts = selectParts("select a, b from t");
    EXPECT_EQ(parts.fldExp, items({"a", "b"}));
    EXPECT_EQ(parts.fldCount, 2);

    parts = selectParts("select [last, first], 'a,b' as s, iif(x>1, 'y', 'n') from t");
    EXPECT_EQ(parts.fldExp, items({"[last, first]", "'a,b' as s", "iif(x>1, 'y', 'n')"}));
    EXPECT_EQ(parts.fldCount, 3);

    parts = selectParts("select\r\n  a,\r\n  b\r\nfrom t");
    EXPECT_EQ(parts.fldExp, items({"a", "b"}));

    parts = selectParts("select (select max(p) from u), q from t");
    EXPECT_EQ(parts.fldExp, items({"(select max(p) from u)", "q"}));
    EXPECT_EQ(parts.tabela, "t");

    parts = selectParts("select a, b union select c, d from t");
    EXPECT_EQ(parts.fldExp, items({"a", "b"}));
}

TEST(StatementParts, PredicatesAreNotPartOfTheFirstItem) {
    EXPECT_EQ(selectParts("select distinct a, b from t").fldExp, items({"a", "b"}));
    EXPECT_EQ(selectParts("SELECT DISTINCTROW a, b FROM t").fldExp, items({"a", "b"}));
    EXPECT_EQ(selectParts("select top 10 a, b from t").fldExp, items({"a", "b"}));
    EXPECT_EQ(selectParts("select TOP 25 Percent a, b from t").fldExp, items({"a", "b"}));
    EXPECT_EQ(selectParts("select distinct top 5 a, b from t").fldExp, items({"a", "b"}));
    EXPECT_EQ(selectParts("select top 3 * from t").fldExp, items({" * "}));
    // Without a number TOP is a column.
    EXPECT_EQ(selectParts("select top, b from t").fldExp, items({"top", "b"}));
    EXPECT_EQ(selectParts("select topmost, b from t").fldExp, items({"topmost", "b"}));
}

TEST(StatementParts, ExpressionStopsAtTheAliasMarker) {
    EXPECT_EQ(expressionOf("price AS p"), "price ");
    EXPECT_EQ(expressionOf("(b,c) as x"), "(b,c) ");
    EXPECT_EQ(expressionOf("cast(a as int) as b"), "cast(a as int) ");
    EXPECT_EQ(expressionOf("basket"), "basket");
    EXPECT_EQ(expressionOf("last_as_of"), "last_as_of");
    EXPECT_EQ(expressionOf("[a as b]"), "[a as b]");
    EXPECT_EQ(expressionOf("'x as y' as z"), "'x as y' ");
}
