// Expressions and statements as users of the classic dialect write them, with the results the classic
// engine gives, run through the engine on a real folder.
#include "EngineTestSupport.h"
#include "engine/Collation.h"

#include <gtest/gtest.h>

using engine::Database;
using enginetest::column;
using enginetest::one;
using enginetest::query;
using enginetest::Rows;
using testsupport::TempDir;
using xbase::Date;

namespace {

struct Case {
    const char* expression;
    const char* expected; // as enginetest::show writes the value
};

class ClassicDialectTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeTable(m_dir / "t.dbf", {{"D", 'D', 8, 0}, {"N", 'N', 8, 2}},
                                {{Date{2003, 1, 2}, 2.5}});
        testsupport::writeTable(m_dir / "scores.dbf", {{"NAME", 'C', 10, 0}, {"SCORE", 'N', 4, 0}},
                                {{std::string("ana"), std::int64_t{5}},
                                 {std::string("Bojan"), std::int64_t{9}},
                                 {std::string("cvijeta"), std::int64_t{9}},
                                 {std::string("dara"), std::int64_t{7}},
                                 {std::string("Ema"), std::int64_t{9}},
                                 {std::string("BOJAN"), std::int64_t{3}}});
    }
    void check(const std::vector<Case>& cases) {
        Database db(m_dir.path());
        for (const Case& c : cases)
            EXPECT_EQ(one(db, std::string("select ") + c.expression + " from t"), c.expected) << c.expression;
    }
    TempDir m_dir;
};

} // namespace

TEST_F(ClassicDialectTest, DatesAreDayNumbersInEveryOperator) {
    check({
        {"#1/2/2003# + #7:00:00 AM#", "2003-01-02 07:00:00"},
        {"#1/2/2003# + '37'", "2003-02-08"},
        {"#1/1/2017# * 3", "128208"},
        {"-#1/2/2003#", "-37623"},
        {"d * 1", "37623"},
        {"d / 2", "18811.5"},
        {"d \\ 2", "18811"},
        {"d mod 7", "5"},
        {"d + 1.5", "2003-01-03 12:00:00"},
        {"d - #12/25/2002#", "8"},
        {"d - 2", "2002-12-31"},
        {"-(d - d)", "0"},
        {"-n", "-2.5"},
        {"n * 2", "5"},
        {"int(d + 0.75)", "37623"},
        {"cdbl(#1/2/2003 6:00:00 PM#)", "37623.75"},
        {"d > 37000", "-1"},
        {"d < 37623.5", "-1"},
        {"sum(d)", "2003-01-02"},
        {"avg(d + 1)", "2003-01-03"},
        {"iif(n > 2, d, null)", "2003-01-02"},
    });
}

TEST_F(ClassicDialectTest, StatementForms) {
    Database db(m_dir.path());
    // A word followed by "(" calls a function, also the word that is a sort keyword elsewhere.
    EXPECT_EQ(one(db, "select Asc('A') from t"), "65");
    EXPECT_EQ(column(db, "select name from scores where asc(name) > 90 order by name asc"),
              (std::vector<std::string>{"ana", "cvijeta", "dara"}));
    // TOP n with ORDER BY keeps every row equal to the n-th.
    EXPECT_EQ(column(db, "select top 1 name from scores order by score desc, name"),
              (std::vector<std::string>{"Bojan"}));
    EXPECT_EQ(column(db, "select top 1 score from scores order by score desc"),
              (std::vector<std::string>{"9", "9", "9"}));
    EXPECT_EQ(column(db, "select top 2 name from scores order by name").size(), 3u) << "Bojan and BOJAN tie";
    EXPECT_EQ(column(db, "select top 4 score * 2 as twice from scores order by twice desc").size(), 4u);
    EXPECT_EQ(column(db, "select top 2 score from scores order by score").size(), 2u);
    auto rs = db.openRecordset("select top 1 * from scores order by score desc");
    EXPECT_TRUE(rs->updatable()) << "TOP leaves the records changeable";
    rs->moveLast();
    EXPECT_EQ(rs->recordCount(), 3);
    // The program's own statements may take n rows, ties or not.
    Database exact(m_dir.path(), {.topKeepsTies = false});
    EXPECT_EQ(column(exact, "select top 1 score from scores order by score desc"),
              (std::vector<std::string>{"9"}));
    auto first = exact.openRecordset("select top 1 * from scores order by score desc");
    first->moveLast();
    EXPECT_EQ(first->recordCount(), 1);
    // % and _ are ordinary characters in Like.
    EXPECT_EQ(one(db, "select count(*) from scores where name like '%a%'"), "0");
    EXPECT_EQ(one(db, "select count(*) from scores where '100%' like '100%' and '1000' not like '100%'"),
              "6");
    EXPECT_EQ(one(db, "select count(*) from scores where name like '*j*'"), "3");
    // PARAMETERS declarations are read and set aside.
    EXPECT_EQ(
        one(db, "PARAMETERS [Lowest score] Long, who Text(10); select count(*) from scores where score > 6"),
        "4");
}

TEST_F(ClassicDialectTest, AComputedColumnIsOfTheKindItsExpressionGives) {
    Database db(m_dir.path());
    auto rs = db.openRecordset("select cstr(d) as a, format(d, 'yyyy-mm-dd hh:nn:ss') as b, "
                               "'2003-01-02 07:00:00' as c, d + 1 as e, max(d) as f, d * 1 as g, "
                               "iif(n > 9, null, d) as h from t");
    const auto kind = [&](const char* name) { return rs->value(name).index(); };
    const std::size_t text = xbase::Value(std::string()).index();
    EXPECT_EQ(kind("a"), text);
    EXPECT_EQ(kind("b"), text);
    EXPECT_EQ(kind("c"), text);
    EXPECT_EQ(kind("e"), xbase::Value(Date{}).index());
    EXPECT_EQ(kind("f"), xbase::Value(Date{}).index());
    EXPECT_EQ(kind("g"), xbase::Value(std::int64_t{}).index());
    EXPECT_EQ(kind("h"), xbase::Value(Date{}).index());
    EXPECT_EQ(enginetest::show(rs->value("b")), "2003-01-02 00:00:00");
}

TEST_F(ClassicDialectTest, CrosstabsTurnValuesIntoColumns) {
    testsupport::writeTable(m_dir / "sales.dbf",
                            {{"REGION", 'C', 10, 0}, {"YR", 'N', 4, 0}, {"AMOUNT", 'N', 8, 2}},
                            {{std::string("North"), std::int64_t{2001}, 10.0},
                             {std::string("North"), std::int64_t{2002}, 20.0},
                             {std::string("South"), std::int64_t{2001}, 5.0},
                             {std::string("south"), std::int64_t{2003}, 7.0},
                             {std::string("North"), std::int64_t{2001}, 1.0},
                             {std::string("East"), xbase::Null{}, 3.0}});
    Database db(m_dir.path());
    const auto headings = [&](const std::string& statement) {
        auto rs = db.openRecordset(statement);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < rs->fieldCount(); ++i)
            names.push_back(rs->field(i).name);
        return names;
    };
    // A column for each value in order, Null first as "<>"; text values group without regard to case.
    const std::string byYear = "transform sum(amount) select region from sales group by region pivot yr";
    EXPECT_EQ(headings(byYear), (std::vector<std::string>{"REGION", "<>", "2001", "2002", "2003"}));
    EXPECT_EQ(query(db, byYear), (Rows{{"East", "3", "NULL", "NULL", "NULL"},
                                       {"North", "NULL", "11", "20", "NULL"},
                                       {"South", "NULL", "5", "NULL", "7"}}));
    // IN fixes the columns and their order, also for values no row has; ORDER BY sorts the rows.
    EXPECT_EQ(
        query(db, "TRANSFORM Count(*) AS n SELECT region, Sum(amount) AS total FROM sales GROUP BY region "
                  "ORDER BY region DESC PIVOT yr IN (2003, 2001, 1999)"),
        (Rows{{"South", "12", "1", "1", "0"}, {"North", "31", "0", "2", "0"}, {"East", "3", "0", "0", "0"}}));
    EXPECT_EQ(headings("transform avg(amount) select yr from sales where amount > 4 group by yr "
                       "pivot iif(amount > 6, 'big', 'small')"),
              (std::vector<std::string>{"YR", "big", "small"}));
    EXPECT_EQ(testsupport::errorOf([&] {
                  db.openRecordset("transform amount select region from sales group by region pivot yr");
              }).what(),
              std::string("TRANSFORM needs an aggregate function (Sum, Count, Avg, ...) for the values."));
}

TEST_F(ClassicDialectTest, TextSortsInTheLanguageOfTheSystem) {
    testsupport::writeTable(m_dir / "people.dbf", {{"NAME", 'C', 12, 0}},
                            {{std::string("Zofia")},
                             {std::string("Ćirić")},
                             {std::string("čačak")},
                             {std::string("Cvetko")},
                             {std::string("Đorđe")},
                             {std::string("dara")},
                             {std::string("Łódź")},
                             {std::string("Lwów")},
                             {std::string("Öl")},
                             {std::string("Ozean")},
                             {std::string("Ofen")},
                             {std::string("ČAČAK")}},
                            "UTF-8");
    const auto sorted = [&](const char* locale, const std::string& select) {
        engine::useTextOrder(locale);
        Database db(m_dir.path());
        return column(db, select);
    };
    // Croatian and Serbian: Č and Ć after C, Đ after D; text equal but for case stays one group.
    EXPECT_EQ(sorted("hr_HR", "select name from people where name < 'e' order by name"),
              (std::vector<std::string>{"Cvetko", "čačak", "ČAČAK", "Ćirić", "dara", "Đorđe"}));
    EXPECT_EQ(sorted("hr_HR", "select count(*) from (select distinct name from people)"),
              (std::vector<std::string>{"11"}));
    // Polish: Ł after L. German: Ö with O.
    EXPECT_EQ(
        sorted("pl_PL", "select name from people where name like 'l*' or name like 'ł*' order by name desc"),
        (std::vector<std::string>{"Łódź", "Lwów"}));
    EXPECT_EQ(sorted("de_DE", "select name from people where name like 'o*' or name like 'ö*' order by name"),
              (std::vector<std::string>{"Ofen", "Öl", "Ozean"}));
    EXPECT_EQ(sorted("de_DE", "select max(name) from people where name < 'p'"),
              (std::vector<std::string>{"Ozean"}));
    engine::useTextOrder("");
}
