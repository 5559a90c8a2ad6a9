// The dialect front: errors with their numbers, the translated SQL run on SQLite, and the SQLite text of
// the constructs whose rows cannot tell them apart.
#include "engine/Dialect.h"

#include "engine/Error.h"
#include "support/Sqlite.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using engine::translate;

namespace {

// orders, [sales 2024] and upiti in an in-memory database set up as the engine sets up a folder.
class Db : public testsupport::SqliteRunner {
public:
    Db() {
        exec(R"(
            CREATE TABLE orders(id INTEGER, name TEXT COLLATE DBTEXT, city TEXT COLLATE DBTEXT, price REAL,
                                odate TEXT COLLATE DBTEXT, active INTEGER);
            INSERT INTO orders VALUES (1, 'Alice', 'Paris', 10.5, '2024-01-10', -1),
                                      (2, 'bob', 'paris', 20, '2024-01-20', 0),
                                      (3, 'Carol', 'London', 5, '2024-02-01', -1),
                                      (4, 'dave', NULL, 15, '2024-03-01', NULL),
                                      (5, 'Eve', 'Berlin', 200, '2023-12-31', 0);
            CREATE TABLE "sales 2024"("ORDER" INTEGER, "DESC" TEXT COLLATE DBTEXT);
            INSERT INTO "sales 2024" VALUES (1, 'a'), (4, 'd'), (5, 'c'), (3, 'b');
            CREATE TABLE upiti(u_naziv TEXT COLLATE DBTEXT, u_txt TEXT COLLATE DBTEXT);
            INSERT INTO upiti VALUES ('Sales', 'select * from orders'), ('alpha', 'x'), ('Beta', 'y');
        )");
    }
};

// The SQLite text of a statement of the dialect.
std::string sql(const std::string& classic) {
    return translate(classic).sql;
}

using Strings = std::vector<std::string>;

void expectError(const std::string& classic, int number, const std::string& text) {
    try {
        translate(classic);
        ADD_FAILURE() << "no error for: " << classic;
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), number) << classic;
        EXPECT_EQ(e.description(), text) << classic;
    }
}

} // namespace

// The forms no test of rows tells apart: what they turn into is the point.
TEST(DialectTest, ConstructsTranslateByExample) {
    EXPECT_EQ(sql("select x from t where x between a and 'm'"),
              "SELECT \"x\" FROM \"t\" WHERE (\"x\" BETWEEN min(\"a\" COLLATE DBTEXT, 'm') AND "
              "max(\"a\" COLLATE DBTEXT, 'm'))");
    EXPECT_EQ(sql("select distinctrow x from a"), "SELECT \"x\" FROM \"a\"");
    EXPECT_EQ(sql("select o.* from (ORDERS.DBF as o left join [Sales 2024.dbf] s on o.id = s.[order]) "
                  "right outer join c on c.id = o.id"),
              "SELECT \"o\".* FROM (\"orders\" AS \"o\" LEFT JOIN \"sales 2024\" AS \"s\" ON (\"o\".\"id\" = "
              "\"s\".\"order\")) RIGHT JOIN \"c\" ON (\"c\".\"id\" = \"o\".\"id\")");
    EXPECT_EQ(sql("select first(a), count(*), count(distinct b), sum(c) from t group by lcase(d)"),
              "SELECT dlg_first(\"a\") AS \"Expr1000\", count(*) AS \"Expr1001\", count(DISTINCT \"b\") AS "
              "\"Expr1002\", sum(\"c\") AS \"Expr1003\" FROM \"t\" GROUP BY dlg_lcase(\"d\") COLLATE DBTEXT");
    // Left$ is Left refusing Null.
    EXPECT_EQ(sql("select Left$(a, 2) from t"), "SELECT dlg_left_s(\"a\", 2) AS \"Expr1000\" FROM \"t\"");
    EXPECT_EQ(sql("select * from t where d > #17:04:23# or d = #3/1/2024 10:30:00 PM# or d = #1 Jan 93#"),
              "SELECT * FROM \"t\" WHERE (((\"d\" > '17:04:23') OR (\"d\" = '2024-03-01 22:30:00')) OR "
              "(\"d\" = '1993-01-01'))");
    EXPECT_EQ(translate("select * from Orders, orders o, [ORDERS.dbf] where o.x = 1").tables,
              Strings{"Orders"});
}

TEST(DialectTest, ErrorsNameTheConstructWithTheirNumbers) {
    expectError("select * from t where a =", 3075, "Syntax error in query expression 'a ='.");
    expectError("select a b, c from t", 3075, "Syntax error (missing operator) in query expression 'a b'.");
    expectError("select * from t where (a = 1", 3075, "Missing ), ], or Item in query expression '(a = 1'.");
    expectError("select * from t where a = 'open", 3075,
                "Syntax error in string in query expression ''open'.");
    expectError("select * from t where d = #2/30/2024#", 3075,
                "Syntax error in date in query expression '#2/30/2024#'.");
    expectError("select left(a) from t", 3075,
                "Wrong number of arguments used with function in query expression 'left(a)'.");
    expectError("select * from [t where a = 1", 3126, "Invalid bracketing of name '[t where a = 1'.");
    expectError("select * from orders; delete from orders", 3142,
                "Characters found after end of SQL statement.");
    // An apostrophe inside a text ends it: the classic engine's report for the program's own update.
    expectError("update upiti set u_txt='it's' where lcase(u_naziv)='x'", 3075,
                "Syntax error (missing operator) in query expression ''it's' where lcase(u_naziv)='x'.");
    expectError("", 3129,
                "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    expectError(" show tables", 3129,
                "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    expectError("select from t", 3141,
                "The SELECT statement includes a reserved word or an argument name that is misspelled or "
                "missing, or the punctuation is incorrect.");
    expectError("select * from t u v", 3131, "Syntax error in FROM clause.");
    expectError("select * from a inner join b", 3135, "Syntax error in JOIN operation.");
    expectError("select * from t order a", 3138, "Syntax error in ORDER BY clause.");
    expectError("insert into t (a, b) values (1)", 3346,
                "Number of query values and destination fields are not the same.");
    expectError("update t a = 1", 3144, "Syntax error in UPDATE statement.");
    expectError("delete where a = 1", 3128, "Specify the table containing the records you want to delete.");
    expectError("TRANSFORM Sum(x) SELECT a FROM t GROUP BY a", 3000,
                "TRANSFORM needs a PIVOT clause naming the column headings.");
    expectError("PARAMETERS [x] Long SELECT * FROM t", 3000,
                "Syntax error in PARAMETERS clause: the declarations end with ';' and a statement follows.");
    expectError("create index i on t (a)", 3251,
                "CREATE INDEX is not supported: indexes are not maintained.");
    expectError("drop index i on t", 3251, "DROP INDEX is not supported: indexes are not maintained.");
    expectError("select * from t in 'other.mdb'", 3251,
                "FROM ... IN (a table of an external database) is not supported.");
    expectError("alter table t alter column a text(5)", 3251,
                "ALTER TABLE ... ALTER COLUMN is not supported.");
    expectError("create table t (a text, constraint pk primary key (a))", 3251,
                "CONSTRAINT (a key or index) is not supported.");
    expectError("create table t (id counter, a text)", 3251,
                "Field 'id': counter (auto-numbered) fields are not supported: dBASE III tables have none; "
                "use LONG.");
    expectError("create table t (customername text(20))", 3125,
                "'customername' is not a valid field name: a dBASE field name has at most 10 characters.");
    expectError(
        "create table t ([my field] text)", 3125,
        "'my field' is not a valid field name: a dBASE field name holds only letters, digits and '_', "
        "and begins with a letter.");
    expectError("create table t (a text, A long)", 3191, "Field 'A' is defined more than once.");
    expectError(
        "create table t (a numeric(19,2))", 3001,
        "Field 'a': NUMERIC(19,2) does not fit a dBASE numeric field, which holds at most 19 digits, or "
        "18 with decimals.");
    expectError("create table t (a widget)", 3290,
                "Field 'a': unknown field type 'widget'. Syntax error in CREATE TABLE statement.");
    expectError("drop t", 3295, "Syntax error in DROP TABLE or DROP INDEX.");
    expectError("select * from t where a > all (select b from u)", 3251,
                "Comparison with ANY, SOME or ALL of a subquery is not supported.");
}

TEST(DialectTest, OperatorsKeepTheirClassicPrecedenceAndMeaning) {
    Db db;
    EXPECT_EQ(db.one(sql("select 1 + 2 & 3 * 4")), "312");     // & after arithmetic
    EXPECT_EQ(db.one(sql("select 'a' & 1 + 2 = 'A3'")), "-1"); // comparison after &, case-insensitive
    EXPECT_EQ(db.one(sql("select 2 + 3 * 4 ^ 2")), "50.0");
    EXPECT_EQ(db.one(sql("select -2 ^ 2")), "-4.0");
    EXPECT_EQ(db.one(sql("select 3 > 2 = True")), "-1");      // True is -1, and so is a true comparison
    EXPECT_EQ(db.one(sql("select 1 - - 1")), "2");            // "--" is no comment
    EXPECT_EQ(db.one(sql("select -True & 2 ^ -True")), "12"); // nor is minus True
    EXPECT_EQ(db.one(sql("select 7 / 2")), "3.5");
    EXPECT_EQ(db.one(sql("select 7 \\ 2 mod 3")), "0"); // \ before Mod
    EXPECT_EQ(db.one(sql("select \"it's\" & 'x'")), "it'sx");
    EXPECT_EQ(db.one(sql("select name + ' ' + city from orders where id = 1")), "Alice Paris");
    EXPECT_EQ(db.one(sql("select odate + 1 from orders where id = 5")), "2024-01-01");
    EXPECT_EQ(db.one(sql("select #3/1/2024# - #2/1/2024#")), "29");
    EXPECT_EQ(db.one(sql("select count(*) from orders where ucase(name) = 'alice'")), "1");
    EXPECT_EQ(db.one(sql("select count(*) from orders where (price > 10 or city = 'berlin') and not active")),
              "2");
    EXPECT_EQ(db.one(sql("select count(*) from orders where price > 10 xor active")), "3");
}

TEST(DialectTest, PredicatesAndSelectFormsReturnTheRightRows) {
    Db db;
    EXPECT_EQ(db.column(sql("select id from orders where price between 20 and 10 order by id")),
              (Strings{"1", "2", "4"}));
    EXPECT_EQ(db.column(sql("select id from orders where name between 'D' and 'b' order by id")),
              (Strings{"2", "3"}));
    EXPECT_EQ(
        db.column(sql("select id from orders where odate between #2/15/2024# and #1/15/2024# order by id")),
        (Strings{"2", "3"}));
    EXPECT_EQ(db.column(sql("select id from orders where odate >= #1/20/2024# order by odate")),
              (Strings{"2", "3", "4"}));
    EXPECT_EQ(db.column(sql("select id from orders where city is null")), Strings{"4"});
    EXPECT_EQ(db.column(sql("select id from orders where city in ('PARIS', 'berlin') order by id")),
              (Strings{"1", "2", "5"}));
    EXPECT_EQ(db.column(sql(
                  "select id from orders where id not in (select [order] from [sales 2024]) order by id")),
              Strings{"2"});
    EXPECT_EQ(db.column(sql("select iif(active, 'yes', 'no') from orders order by id")),
              (Strings{"yes", "no", "yes", "no", "no"})); // a Null condition takes the else branch
    EXPECT_EQ(db.column(sql("select id from orders where name like '[a-c]*' order by id")),
              (Strings{"1", "2", "3"}));

    EXPECT_EQ(db.column(sql("select top 2 id from orders order by price desc")), (Strings{"5", "2"}));
    EXPECT_EQ(db.column(sql("select top 50 percent id from orders order by price")),
              (Strings{"3", "1", "4"}));
    EXPECT_EQ(db.column(sql("select top 10 percent id from orders order by price")), Strings{"3"});
    EXPECT_EQ(db.column(sql(
                  "select top 1 id from orders where id < 3 union all select top 1 [order] from [sales 2024] "
                  "where [order] > 4")),
              (Strings{"1", "5"}));
    EXPECT_EQ(
        db.column(sql("select distinctrow o.city from orders o inner join [sales 2024] s on o.id = s.[order] "
                      "where o.city is not null order by o.city")),
        (Strings{"Berlin", "London", "Paris"}));
    EXPECT_EQ(db.column(sql("select x.n from (select name as n, price from orders where price > 12) as x "
                            "where exists (select * from upiti) order by x.price")),
              (Strings{"dave", "bob", "Eve"}));
    EXPECT_EQ(db.one(sql("select count(*) from orders group by city having count(*) > 1")), "2");

    db.rows(sql("select len(name), name from orders"));
    EXPECT_EQ(db.names(), (Strings{"Expr1000", "name"}));
}

TEST(DialectTest, DataChangesRunOnSqlite) {
    Db db;
    EXPECT_EQ(
        db.exec(sql("insert into orders (id, name, odate, active) values (6, \"Zoe\", #12/24/99#, True)")),
        1);
    EXPECT_EQ(db.rows(sql("select odate, active from orders where id = 6"))[0],
              (Strings{"1999-12-24", "-1"}));
    EXPECT_EQ(db.exec(sql("insert into [sales 2024] select id, name from orders where id > 4")), 2);
    EXPECT_EQ(db.exec(sql("update orders set price = price * 2, city = 'Rome' where id in (1, 3)")), 2);
    EXPECT_EQ(db.column(sql("select price from orders where city = 'rome' order by id")),
              (Strings{"21.0", "10.0"}));
    EXPECT_EQ(db.exec(sql("delete * from orders where active = false")), 2);
    EXPECT_EQ(db.exec(sql("delete orders.* from orders where price is null")), 1);
    EXPECT_EQ(db.one(sql("select count(*) from orders")), "3");

    db.exec("CREATE TABLE cheap AS " +
            sql("select name, price * 2 as dbl into cheap from orders where price < 20"));
    EXPECT_EQ(db.one(sql("select count(*) from cheap")), "2");
}

TEST(DialectTest, PlusAndMinusFollowTheOperandsAtRunTime) {
    Db db;
    // Texts join, numbers add, dates move by days and subtract to a count of days.
    EXPECT_EQ(db.rows("SELECT dlg_add('ab', 'cd'), dlg_add(2, 3), dlg_add(2, 0.5), dlg_add('5', 1)")[0],
              (Strings{"abcd", "5", "2.5", "6"}));
    EXPECT_EQ(db.rows("SELECT dlg_add('2024-02-28', 2), dlg_add(1, '2023-12-31'), dlg_sub('2024-03-01', 1), "
                      "dlg_add('2024-01-01', 0.5)")[0],
              (Strings{"2024-03-01", "2024-01-01", "2024-02-29", "2024-01-01 12:00:00"}));
    EXPECT_EQ(
        db.rows("SELECT dlg_sub('2024-03-01 12:00:00', '2024-03-01'), dlg_sub(10, 4), dlg_add(NULL, 1), "
                "dlg_sub(9223372036854775807, -1)")[0],
        (Strings{"0.5", "6", "NULL", "9.22337203685478e+18"}));
    // A text that is neither number nor date cannot take part in arithmetic.
    EXPECT_EQ(db.error("SELECT dlg_add('abc', 1)"),
              "Data type mismatch: 'abc' is not a number in operator +");

    // The translator picks SQLite's own operators where both sides are known numbers.
    EXPECT_EQ(translate("select sum(a) + count(*) - 1, a + 1, 'x' + 'y' from t").sql,
              "SELECT ((sum(\"a\") + count(*)) - 1) AS \"Expr1000\", dlg_add(\"a\", 1) AS \"Expr1001\", "
              "('x' || 'y') AS \"Expr1002\" FROM \"t\"");
}

TEST(DialectTest, OddInputIsRefusedWithoutHarm) {
    expectError("select " + std::string(5000, '(') + "1", 3360,
                "Query is too complex: it nests more than 100 levels deep.");
    std::string negations;
    for (int i = 0; i < 5000; ++i)
        negations += "- ";
    expectError("select " + negations + "1", 3360,
                "Query is too complex: it nests more than 100 levels deep.");
    expectError("select a, from t", 3141,
                "The SELECT statement includes a reserved word or an argument name that is misspelled or "
                "missing, or the punctuation is incorrect.");
    expectError("select * from t where a = 1)", 3075, "Extra ) in query expression 'a = 1)'.");
    expectError("update t set a =", 3075,
                "Syntax error in query expression: an expression is missing after '='.");
    expectError("select @x", 3075, "Invalid character '@' in query expression '@x'.");
    EXPECT_EQ(translate("(select .5, t.x from t)").sql, "SELECT .5 AS \"Expr1000\", \"t\".\"x\" FROM \"t\"");
    EXPECT_EQ(translate("select " + std::string(30, '(') + "1" + std::string(30, ')')).sql,
              "SELECT (1) AS \"Expr1000\"");
}
