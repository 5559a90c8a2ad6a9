// The dialect front: SQLite text per construct, errors with their numbers, and the translated SQL run on
// SQLite.
#include "engine/Dialect.h"

#include "engine/Collation.h"
#include "engine/Error.h"
#include "engine/Functions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <vector>

using engine::StatementKind;
using engine::translate;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// An in-memory database set up as the engine sets up a folder: the dialect's functions, DBTEXT
// text columns, and double-quoted names never read as strings.
class Db {
public:
    Db() {
        EXPECT_EQ(sqlite3_open(":memory:", &m_db), SQLITE_OK);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        engine::registerDialect(m_db);
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
    ~Db() { sqlite3_close(m_db); }

    void exec(const std::string& sql) {
        char* message = nullptr;
        const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message);
        EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "") << "\n" << sql;
        sqlite3_free(message);
    }

    // Rows as text, NULL as "NULL"; column names of the last query in m_names.
    Rows rows(const std::string& sql) {
        Rows result;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(m_db) << "\n" << sql;
            return result;
        }
        m_names.clear();
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            m_names.push_back(sqlite3_column_name(stmt, i));
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row.push_back(text ? text : "NULL");
            }
            result.push_back(row);
        }
        EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(m_db) << "\n" << sql;
        sqlite3_finalize(stmt);
        return result;
    }

    Rows query(const std::string& classic) { return rows(translate(classic).sql); }
    std::string one(const std::string& classic) {
        const Rows r = query(classic);
        return r.size() == 1 && r[0].size() == 1 ? r[0][0] : "(not one value)";
    }
    std::vector<std::string> column(const std::string& classic) {
        std::vector<std::string> values;
        for (const auto& row : query(classic))
            values.push_back(row.at(0));
        return values;
    }
    int run(const std::string& classic) {
        exec(translate(classic).sql);
        return sqlite3_changes(m_db);
    }

    std::vector<std::string> m_names;

private:
    sqlite3* m_db = nullptr;
};

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

TEST(DialectTest, StatementsTheProgramComposesTranslateAsExpected) {
    EXPECT_EQ(
        translate("select top 30 len(trim(str(price ))) as duz,price  as txt from (orders ) order by len "
                  "(price ) desc")
            .sql,
        "SELECT dlg_len(dlg_trim(dlg_str(\"price\"))) AS \"duz\", \"price\" AS \"txt\" FROM \"orders\" "
        "ORDER BY dlg_len(\"price\") DESC LIMIT 30");
    EXPECT_EQ(translate("select * from orders where city = 'Paris' order by name asc").sql,
              "SELECT * FROM \"orders\" WHERE (\"city\" = 'Paris') ORDER BY \"name\" ASC");
    EXPECT_EQ(translate("select * from UPITI order by lcase(u_naziv)").sql,
              "SELECT * FROM \"upiti\" ORDER BY dlg_lcase(\"u_naziv\") COLLATE DBTEXT");
    const engine::Translation update = translate("update upiti set u_txt='x' where lcase(u_naziv)='sales'");
    EXPECT_EQ(update.kind, StatementKind::Update);
    EXPECT_EQ(update.target, "upiti");
    EXPECT_EQ(update.sql,
              "UPDATE \"upiti\" SET \"u_txt\" = 'x' WHERE (dlg_lcase(\"u_naziv\") = 'sales' COLLATE DBTEXT)");
    const engine::Translation sales = translate("select * from [sales 2024] where [ORDER] > 3");
    EXPECT_EQ(sales.sql, "SELECT * FROM \"sales 2024\" WHERE (\"ORDER\" > 3)");
    EXPECT_EQ(sales.tables, Strings{"sales 2024"});
    EXPECT_EQ(translate("select * from orders  order by  [DESC]  desc").sql,
              "SELECT * FROM \"orders\" ORDER BY \"DESC\" DESC");
    // The query box sends CR LF and may end with a semicolon.
    EXPECT_EQ(translate("select *\r\nfrom orders;\r\n").sql, "SELECT * FROM \"orders\"");
}

TEST(DialectTest, ConstructsTranslateByExample) {
    auto sql = [](const std::string& classic) { return translate(classic).sql; };
    EXPECT_EQ(sql("select a & b + 1, -2^2, 7 \\ 2 mod 3, a / b from t"),
              "SELECT dlg_cat(\"a\", dlg_add(\"b\", 1)) AS \"Expr1000\", (-dlg_pow(2, 2)) AS \"Expr1001\", "
              "dlg_mod(dlg_idiv(7, 2), 3) AS \"Expr1002\", dlg_div(\"a\", \"b\") AS \"Expr1003\" FROM \"t\"");
    EXPECT_EQ(sql("select x from t where x between 10 and 1 and d between #5/10/96# and #1/31/2024#"),
              "SELECT \"x\" FROM \"t\" WHERE ((\"x\" BETWEEN 1 AND 10) AND (\"d\" BETWEEN '1996-05-10' AND "
              "'2024-01-31'))");
    EXPECT_EQ(sql("select x from t where x between a and 'm'"),
              "SELECT \"x\" FROM \"t\" WHERE (\"x\" BETWEEN min(\"a\" COLLATE DBTEXT, 'm') AND "
              "max(\"a\" COLLATE DBTEXT, 'm'))");
    EXPECT_EQ(
        sql("select iif(a > 1, 'big', 'small') as s, a = 1 from t"),
        "SELECT (CASE WHEN (\"a\" > 1) THEN 'big' ELSE 'small' END) AS \"s\", (-(\"a\" = 1)) AS \"Expr1000\" "
        "FROM \"t\"");
    EXPECT_EQ(
        sql("select * from t where not a like 'x*' and b not in (1, 2) or c is not null xor d"),
        "SELECT * FROM \"t\" WHERE (((((NOT dlg_like(\"a\", 'x*')) AND (\"b\" NOT IN (1, 2))) OR (\"c\" IS "
        "NOT NULL)) <> 0) <> (\"d\" <> 0))");
    EXPECT_EQ(sql("select * from t where a = True and b = \"it's\""),
              "SELECT * FROM \"t\" WHERE ((\"a\" = -1) AND (\"b\" = 'it''s'))");
    EXPECT_EQ(sql("select top 10 percent * from t order by a"),
              "SELECT * FROM \"t\" ORDER BY \"a\" LIMIT (SELECT (COUNT(*) * 10 + 100 - 1) / 100 FROM "
              "(SELECT * FROM \"t\"))");
    EXPECT_EQ(sql("select distinctrow a.x from a inner join b on a.id = b.id"),
              "SELECT DISTINCT \"a\".\"x\" FROM \"a\" INNER JOIN \"b\" ON (\"a\".\"id\" = \"b\".\"id\")");
    EXPECT_EQ(sql("select distinctrow x from a"), "SELECT \"x\" FROM \"a\"");
    EXPECT_EQ(sql("select o.* from (ORDERS.DBF as o left join [Sales 2024.dbf] s on o.id = s.[order]) "
                  "right outer join c on c.id = o.id"),
              "SELECT \"o\".* FROM (\"orders\" AS \"o\" LEFT JOIN \"sales 2024\" AS \"s\" ON (\"o\".\"id\" = "
              "\"s\".\"order\")) RIGHT JOIN \"c\" ON (\"c\".\"id\" = \"o\".\"id\")");
    EXPECT_EQ(sql("select * from t where id in (select id from u where exists (select * from v))"),
              "SELECT * FROM \"t\" WHERE (\"id\" IN (SELECT \"id\" FROM \"u\" WHERE (EXISTS (SELECT * FROM "
              "\"v\"))))");
    EXPECT_EQ(sql("select first(a), count(*), count(distinct b), sum(c) from t group by lcase(d)"),
              "SELECT dlg_first(\"a\") AS \"Expr1000\", count(*) AS \"Expr1001\", count(DISTINCT \"b\") AS "
              "\"Expr1002\", sum(\"c\") AS \"Expr1003\" FROM \"t\" GROUP BY dlg_lcase(\"d\") COLLATE DBTEXT");
    EXPECT_EQ(sql("select Left$(a, 2) from t"), "SELECT dlg_left(\"a\", 2) AS \"Expr1000\" FROM \"t\"");
    EXPECT_EQ(sql("select * from t where d > #17:04:23# or d = #3/1/2024 10:30:00 PM# or d = #1 Jan 93#"),
              "SELECT * FROM \"t\" WHERE (((\"d\" > '17:04:23') OR (\"d\" = '2024-03-01 22:30:00')) OR "
              "(\"d\" = '1993-01-01'))");

    const engine::Translation both = translate("select * from Orders, orders o, [ORDERS.dbf] where o.x = 1");
    EXPECT_EQ(both.tables, Strings{"Orders"});
}

TEST(DialectTest, DataChangesAndDefinitionsTranslate) {
    engine::Translation s = translate("insert into [sales 2024] ([order], [desc]) values (7, 'q')");
    EXPECT_EQ(s.kind, StatementKind::Insert);
    EXPECT_EQ(s.sql, "INSERT INTO \"sales 2024\" (\"order\", \"desc\") VALUES (7, 'q')");
    s = translate("insert into t select a from u");
    EXPECT_EQ(s.sql, "INSERT INTO \"t\" SELECT \"a\" FROM \"u\"");
    EXPECT_EQ(s.tables, (Strings{"t", "u"}));
    EXPECT_EQ(translate("delete * from t where a = 1").sql, "DELETE FROM \"t\" WHERE (\"a\" = 1)");
    EXPECT_EQ(translate("DELETE t.* FROM t").sql, "DELETE FROM \"t\"");

    s = translate("select a, b into [New T.dbf] from t where a > 1");
    EXPECT_EQ(s.kind, StatementKind::SelectInto);
    EXPECT_EQ(s.target, "New T");
    EXPECT_EQ(s.sql, "SELECT \"a\", \"b\" FROM \"t\" WHERE (\"a\" > 1)");
    EXPECT_EQ(s.tables, (Strings{"New T", "t"}));

    s = translate("create table people (id long not null, name text(50), note memo, born datetime, ok yesno, "
                  "pay currency, qty numeric(10,2), n short, b byte, f double, t text, t2 text(255))");
    EXPECT_EQ(s.kind, StatementKind::CreateTable);
    EXPECT_EQ(s.target, "people");
    EXPECT_TRUE(s.sql.empty());
    std::string layout;
    for (const auto& c : s.columns)
        layout +=
            c.name + ":" + c.dbfType + std::to_string(c.length) + "," + std::to_string(c.decimals) + " ";
    EXPECT_EQ(layout, "id:N11,0 name:C50,0 note:M10,0 born:D8,0 ok:L1,0 pay:N20,4 qty:N12,2 n:N6,0 b:N4,0 "
                      "f:N20,6 t:C254,0 t2:C254,0 ");

    s = translate("alter table people add column city text(20)");
    EXPECT_EQ(s.kind, StatementKind::AlterAddColumn);
    ASSERT_EQ(s.columns.size(), 1u);
    EXPECT_EQ(s.columns[0].length, 20u);
    s = translate("ALTER TABLE people DROP COLUMN [city]");
    EXPECT_EQ(s.kind, StatementKind::AlterDropColumn);
    EXPECT_EQ(s.dropColumns, Strings{"city"});
    s = translate("drop table [sales 2024.dbf];");
    EXPECT_EQ(s.kind, StatementKind::DropTable);
    EXPECT_EQ(s.target, "sales 2024");
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
    expectError("TRANSFORM Sum(x) SELECT a FROM t GROUP BY a PIVOT b", 3251,
                "TRANSFORM ... PIVOT (a crosstab query) is not supported.");
    expectError("PARAMETERS [x] Long; SELECT * FROM t", 3251,
                "PARAMETERS (declared query parameters) is not supported.");
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

TEST(DialectTest, StatementsOfTheProgramRunOnSqlite) {
    Db db;
    const Rows fit =
        db.query("select top 30 len(trim(str(price ))) as duz,price  as txt from (orders ) order by "
                 "len (price ) desc");
    ASSERT_EQ(fit.size(), 5u);
    EXPECT_EQ(fit[0], (Strings{"4", "10.5"}));
    EXPECT_EQ(fit[1], (Strings{"3", "200.0"}));
    EXPECT_EQ(db.m_names, (Strings{"duz", "txt"}));

    EXPECT_EQ(db.column("select * from orders where city = 'Paris' order by name asc"), (Strings{"1", "2"}));
    EXPECT_EQ(db.query("select * from UPITI order by lcase(u_naziv)")[1][0], "Beta");
    EXPECT_EQ(db.run("update upiti set u_txt='x' where lcase(u_naziv)='sales'"), 1);
    EXPECT_EQ(db.one("select u_txt from upiti where u_naziv ='SALES'"), "x");
    EXPECT_EQ(db.column("select * from [sales 2024] where [ORDER] > 3 order by [order]"),
              (Strings{"4", "5"}));
    const Rows desc = db.query("select * from [Sales 2024.DBF]  order by  [DESC]  desc");
    EXPECT_EQ(desc[0], (Strings{"4", "d"}));
    EXPECT_EQ(desc[3], (Strings{"1", "a"}));
}

TEST(DialectTest, OperatorsKeepTheirClassicPrecedenceAndMeaning) {
    Db db;
    EXPECT_EQ(db.one("select 1 + 2 & 3 * 4"), "312");     // & after arithmetic
    EXPECT_EQ(db.one("select 'a' & 1 + 2 = 'A3'"), "-1"); // comparison after &, case-insensitive
    EXPECT_EQ(db.one("select 2 + 3 * 4 ^ 2"), "50.0");
    EXPECT_EQ(db.one("select -2 ^ 2"), "-4.0");
    EXPECT_EQ(db.one("select 3 > 2 = True"), "-1");      // True is -1, and so is a true comparison
    EXPECT_EQ(db.one("select 1 - - 1"), "2");            // "--" is no comment
    EXPECT_EQ(db.one("select -True & 2 ^ -True"), "12"); // nor is minus True
    EXPECT_EQ(db.one("select 7 / 2"), "3.5");
    EXPECT_EQ(db.one("select name + ' ' + city from orders where id = 1"), "Alice Paris");
    EXPECT_EQ(db.one("select odate + 1 from orders where id = 5"), "2024-01-01");
    EXPECT_EQ(db.one("select #3/1/2024# - #2/1/2024#"), "29");
    EXPECT_EQ(db.one("select count(*) from orders where ucase(name) = 'alice'"), "1");
    EXPECT_EQ(db.one("select count(*) from orders where (price > 10 or city = 'berlin') and not active"),
              "2");
    EXPECT_EQ(db.one("select count(*) from orders where price > 10 xor active"), "3");
}

TEST(DialectTest, PredicatesAndSelectFormsReturnTheRightRows) {
    Db db;
    EXPECT_EQ(db.column("select id from orders where price between 20 and 10 order by id"),
              (Strings{"1", "2", "4"}));
    EXPECT_EQ(db.column("select id from orders where name between 'D' and 'b' order by id"),
              (Strings{"2", "3"}));
    EXPECT_EQ(db.column("select id from orders where odate between #2/15/2024# and #1/15/2024# order by id"),
              (Strings{"2", "3"}));
    EXPECT_EQ(db.column("select id from orders where odate >= #1/20/2024# order by odate"),
              (Strings{"2", "3", "4"}));
    EXPECT_EQ(db.column("select id from orders where city is null"), Strings{"4"});
    EXPECT_EQ(db.column("select id from orders where city in ('PARIS', 'berlin') order by id"),
              (Strings{"1", "2", "5"}));
    EXPECT_EQ(
        db.column("select id from orders where id not in (select [order] from [sales 2024]) order by id"),
        Strings{"2"});
    EXPECT_EQ(db.column("select iif(active, 'yes', 'no') from orders order by id"),
              (Strings{"yes", "no", "yes", "no", "no"})); // a Null condition takes the else branch
    EXPECT_EQ(db.column("select id from orders where name like '[a-c]*' order by id"),
              (Strings{"1", "2", "3"}));

    EXPECT_EQ(db.column("select top 2 id from orders order by price desc"), (Strings{"5", "2"}));
    EXPECT_EQ(db.column("select top 50 percent id from orders order by price"), (Strings{"3", "1", "4"}));
    EXPECT_EQ(db.column("select top 10 percent id from orders order by price"), Strings{"3"});
    EXPECT_EQ(
        db.column("select top 1 id from orders where id < 3 union all select top 1 [order] from [sales 2024] "
                  "where [order] > 4"),
        (Strings{"1", "5"}));
    EXPECT_EQ(
        db.column("select distinctrow o.city from orders o inner join [sales 2024] s on o.id = s.[order] "
                  "where o.city is not null order by o.city"),
        (Strings{"Berlin", "London", "Paris"}));
    EXPECT_EQ(db.column("select x.n from (select name as n, price from orders where price > 12) as x "
                        "where exists (select * from upiti) order by x.price"),
              (Strings{"dave", "bob", "Eve"}));
    EXPECT_EQ(db.one("select count(*) from orders group by city having count(*) > 1"), "2");

    db.query("select len(name), name from orders");
    EXPECT_EQ(db.m_names, (Strings{"Expr1000", "name"}));
}

TEST(DialectTest, DataChangesRunOnSqlite) {
    Db db;
    EXPECT_EQ(db.run("insert into orders (id, name, odate, active) values (6, \"Zoe\", #12/24/99#, True)"),
              1);
    EXPECT_EQ(db.query("select odate, active from orders where id = 6")[0], (Strings{"1999-12-24", "-1"}));
    EXPECT_EQ(db.run("insert into [sales 2024] select id, name from orders where id > 4"), 2);
    EXPECT_EQ(db.run("update orders set price = price * 2, city = 'Rome' where id in (1, 3)"), 2);
    EXPECT_EQ(db.column("select price from orders where city = 'rome' order by id"),
              (Strings{"21.0", "10.0"}));
    EXPECT_EQ(db.run("delete * from orders where active = false"), 2);
    EXPECT_EQ(db.run("delete orders.* from orders where price is null"), 1);
    EXPECT_EQ(db.one("select count(*) from orders"), "3");

    const engine::Translation into =
        translate("select name, price * 2 as dbl into cheap from orders where price < 20");
    db.exec("CREATE TABLE cheap AS " + into.sql);
    EXPECT_EQ(db.one("select count(*) from cheap"), "2");
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
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    engine::registerDialect(raw);
    char* message = nullptr;
    EXPECT_NE(sqlite3_exec(raw, "SELECT dlg_add('abc', 1)", nullptr, nullptr, &message), SQLITE_OK);
    EXPECT_STREQ(message, "Data type mismatch: 'abc' is not a number in operator +");
    sqlite3_free(message);
    sqlite3_close(raw);

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
