// A folder opened as a database: connect texts, table names as users and the file list write them,
// what execute and openRecordset accept, and errors that name what is at fault.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using enginetest::column;
using enginetest::one;
using enginetest::query;
using enginetest::Rows;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::TempDir;
using xbase::Date;

namespace {

const std::vector<xbase::FieldSpec> kOrderFields{
    {"ID", 'N', 5, 0}, {"NAME", 'C', 20, 0}, {"PRICE", 'N', 8, 2}, {"ODATE", 'D', 8, 0}};

// orders: three records written by the file layer.
fs::path writeOrders(const fs::path& path) {
    testsupport::writeTable(path, kOrderFields,
                            {{std::int64_t{1}, std::string("Alice"), 10.5, Date{2024, 1, 10}},
                             {std::int64_t{2}, std::string("bob"), 20.0, Date{2024, 2, 20}},
                             {std::int64_t{3}, std::string("Carol"), 5.25, Date{2023, 12, 31}}});
    return path;
}

} // namespace

TEST(DatabaseTest, ConnectTextsOfDbaseAreAcceptedWithoutRegardToCase) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    for (const char* connect : {"dbase 5.0", "DBASE IV", "", "dBASE III;", "dBase 5.0;"}) {
        SCOPED_TRACE(connect);
        Database db(dir.path(), {.connect = connect});
        EXPECT_EQ(one(db, "select count(*) from orders"), "3");
    }
    for (const char* connect : {"odbc", "ODBC;DSN=x", "Excel 8.0"}) {
        SCOPED_TRACE(connect);
        const Error e = errorOf([&] { Database db(dir.path(), {.connect = connect}); });
        EXPECT_EQ(e.number(), engine::InvalidArgument) << e.what();
        EXPECT_TRUE(contains(e.what(), connect)) << e.what();
    }
    const Error missing = errorOf([&] { Database db(dir / "nowhere"); });
    EXPECT_GT(missing.number(), 0) << missing.what();
    EXPECT_TRUE(contains(missing.what(), (dir / "nowhere").string())) << missing.what();
}

TEST(DatabaseTest, TablesAreNamedByTheirFilesWithoutRegardToCase) {
    TempDir dir;
    writeOrders(dir / "ORDERS.DBF");
    writeOrders(dir / "sales 2024.dbf");
    fs::create_directory(dir / "sub.dbf"); // a folder with a table's ending is no table
    Database db(dir.path());
    for (const char* select :
         {"select count(*) from orders", "select count(*) from Orders", "select count(*) from ORDERS.DBF",
          "select count(*) from [orders.dbf]", "select count(*) from [sales 2024]",
          "select count(*) from [SALES 2024.DBF]"}) {
        SCOPED_TRACE(select);
        EXPECT_EQ(one(db, select), "3");
    }
    // The file list hands over file names, blanks and all.
    for (const char* source : {"ORDERS.DBF", "orders", "sales 2024.dbf", "Sales 2024", "[sales 2024]"}) {
        SCOPED_TRACE(source);
        auto rs = db.openRecordset(source);
        EXPECT_EQ(enginetest::rowsOf(*rs).size(), 3u);
        EXPECT_EQ(rs->field(1).name, "NAME");
    }
    // A join of a table with itself under two spellings of its name.
    EXPECT_EQ(one(db, "select count(*) from orders a inner join [sales 2024] b on a.id = b.id"), "3");
    const Error e = errorOf([&] { db.openRecordset("sub"); });
    EXPECT_EQ(e.number(), engine::TableNotFound) << e.what();
}

TEST(DatabaseTest, TablesCreatedDroppedOrCopiedAreSeenByTheNextStatement) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    Database db(dir.path());
    EXPECT_EQ(one(db, "select count(*) from orders"), "3");

    // Copied in by another program.
    fs::copy_file(dir / "orders.dbf", dir / "copy.dbf");
    EXPECT_EQ(one(db, "select sum(price) from copy"), "35.75");

    // Created by this database and by another one.
    db.execute("create table fresh (a text(5))");
    EXPECT_EQ(one(db, "select count(*) from fresh"), "0");
    {
        Database other(dir.path());
        other.execute("insert into fresh (a) values ('x')");
        other.execute("create table other (b long)");
    }
    EXPECT_EQ(one(db, "select a from fresh"), "x");
    EXPECT_EQ(one(db, "select count(*) from other"), "0");

    // Removed by another program, then dropped by this database.
    fs::remove(dir / "copy.dbf");
    Error e = errorOf([&] { query(db, "select * from copy"); });
    EXPECT_EQ(e.number(), engine::TableNotFound) << e.what();
    db.execute("drop table [fresh.dbf]");
    EXPECT_FALSE(fs::exists(dir / "fresh.dbf"));
    e = errorOf([&] { query(db, "select * from fresh"); });
    EXPECT_EQ(e.number(), engine::TableNotFound) << e.what();
}

TEST(DatabaseTest, ATableReplacedByANewFileOrRewrittenWithOtherFieldsIsReadAfresh) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    Database db(dir.path());
    EXPECT_EQ(one(db, "select count(*) from orders"), "3");
    // Deleted and written again, as many programs save a file.
    fs::remove(dir / "orders.dbf");
    testsupport::writeTable(dir / "orders.dbf", kOrderFields,
                            {{std::int64_t{7}, std::string("Zed"), 1.0, Date{2020, 1, 1}},
                             {std::int64_t{8}, std::string("Yan"), 2.0, Date{2020, 1, 2}},
                             {std::int64_t{9}, std::string("Xi"), 3.0, Date{2020, 1, 3}},
                             {std::int64_t{10}, std::string("Wu"), 4.0, Date{2020, 1, 4}}});
    EXPECT_EQ(column(db, "select name from orders order by id"),
              (std::vector<std::string>{"Zed", "Yan", "Xi", "Wu"}));
    EXPECT_EQ(db.execute("update orders set price = price + 1 where id = 9"), 1);
    EXPECT_EQ(testsupport::cells(testsupport::dbfread(dir / "orders.dbf"))[2][2], "real:4.0");

    // The same file rewritten in place with other fields.
    testsupport::writeTable(
        dir / "scratch.tmp", {{"CITY", 'C', 10}, {"POP", 'N', 9}},
        {{std::string("Paris"), std::int64_t{2100000}}, {std::string("Lyon"), std::int64_t{500000}}});
    testsupport::writeFile(dir / "orders.dbf", readFile(dir / "scratch.tmp"));
    EXPECT_EQ(query(db, "select * from orders order by pop"),
              (Rows{{"Lyon", "500000"}, {"Paris", "2100000"}}));
}

TEST(DatabaseTest, AnExactNameWinsOverOneThatDiffersInCaseOnly) {
    TempDir dir;
    writeOrders(dir / "Dup.dbf");
    testsupport::writeTable(dir / "DUP.dbf", {{"X", 'C', 3, 0}}, {{std::string("big")}});
    Database db(dir.path());
    EXPECT_EQ(one(db, "select count(*) from Dup"), "3");
    EXPECT_EQ(one(db, "select x from DUP"), "big");
    EXPECT_EQ(one(db, "select x from [DUP.dbf]"), "big");
    const Error e = errorOf([&] { query(db, "select * from dup"); });
    EXPECT_EQ(e.number(), engine::AmbiguousTableName) << e.what();
    EXPECT_TRUE(contains(e.what(), "'dup'") && contains(e.what(), "Dup.dbf") && contains(e.what(), "DUP.dbf"))
        << e.what();
    const Error viaRecordset = errorOf([&] { db.openRecordset("dUp"); });
    EXPECT_EQ(viaRecordset.number(), engine::AmbiguousTableName) << viaRecordset.what();
}

TEST(DatabaseTest, ExecuteRunsOneStatementThatIsNotASelect) {
    TempDir dir;
    const fs::path orders = writeOrders(dir / "orders.dbf");
    const std::string before = readFile(orders);
    Database db(dir.path());

    Error e = errorOf([&] { db.execute("select * from orders"); });
    EXPECT_EQ(e.number(), engine::CannotExecuteSelect) << e.what();
    e = errorOf([&] { db.execute("  SELECT name FROM orders WHERE id = 1"); });
    EXPECT_EQ(e.number(), engine::CannotExecuteSelect) << e.what();

    // A second statement is refused and neither statement runs.
    e = errorOf([&] { db.execute("update orders set price = 0; delete from orders"); });
    EXPECT_EQ(e.number(), engine::CharactersAfterEnd) << e.what();
    e = errorOf([&] { db.execute("delete from orders; drop table orders"); });
    EXPECT_EQ(e.number(), engine::CharactersAfterEnd) << e.what();
    e = errorOf([&] { db.openRecordset("select * from orders; drop table orders"); });
    EXPECT_EQ(e.number(), engine::CharactersAfterEnd) << e.what();
    EXPECT_EQ(readFile(orders), before);

    // One trailing ';' is fine; the count returned is the records changed.
    EXPECT_EQ(db.execute("update orders set price = price * 2 where id >= 2;"), 2);
    EXPECT_EQ(db.execute("delete * from orders where name = 'CAROL'"), 1);
    EXPECT_EQ(query(db, "select id, price from orders"), (Rows{{"1", "10.5"}, {"2", "40"}}));
}

TEST(DatabaseTest, SelectIntoMakesATableAndIsNotOpened) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    Database db(dir.path());
    EXPECT_EQ(db.execute("select name, price into [cheap.dbf] from orders where price < 15"), 2);
    EXPECT_TRUE(fs::exists(dir / "cheap.dbf"));

    Error e = errorOf([&] { db.execute("select * into cheap from orders"); });
    EXPECT_EQ(e.number(), engine::TableAlreadyExists) << e.what();
    EXPECT_TRUE(contains(e.what(), "cheap")) << e.what();
    e = errorOf([&] { db.openRecordset("select * into other from orders"); });
    EXPECT_EQ(e.number(), engine::InvalidOperation) << e.what();
    EXPECT_FALSE(fs::exists(dir / "other.dbf"));
    // A make-table whose select cannot be prepared makes no table.
    e = errorOf([&] { db.execute("select nosuch into broken from orders"); });
    EXPECT_GT(e.number(), 0) << e.what();
    EXPECT_FALSE(fs::exists(dir / "broken.dbf"));
}

TEST(DatabaseTest, UnsupportedConstructsAreRefusedWithoutTouchingTheFolder) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    const auto before = testsupport::snapshot(dir.path());
    Database db(dir.path());
    Error e = errorOf([&] { db.execute("create table t2 (a long primary key)"); });
    EXPECT_EQ(e.number(), engine::NotSupported) << e.what();
    EXPECT_TRUE(contains(e.what(), "CONSTRAINT")) << e.what();
    e = errorOf([&] { db.openRecordset("SELECT * FROM orders IN 'other.mdb'"); });
    EXPECT_EQ(e.number(), engine::NotSupported) << e.what();
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(dir.path())), "");
}

TEST(DatabaseTest, ErrorsNameTheTableOrFieldAtFault) {
    TempDir dir;
    writeOrders(dir / "orders.dbf");
    Database db(dir.path());
    const std::string folder = dir.path().string();

    Error e = errorOf([&] { query(db, "select * from ordrs"); });
    EXPECT_EQ(e.number(), engine::TableNotFound);
    EXPECT_EQ(e.description(), "Table 'ordrs' not found in folder '" + folder + "'.");
    for (const char* statement :
         {"insert into ordrs (a) values (1)", "update ordrs set a = 1", "delete from ordrs",
          "drop table ordrs", "alter table ordrs add column b long", "insert into orders select * from ordrs",
          "select * into x from ordrs"}) {
        SCOPED_TRACE(statement);
        e = errorOf([&] { db.execute(statement); });
        EXPECT_EQ(e.number(), engine::TableNotFound) << e.what();
        EXPECT_EQ(e.description(), "Table 'ordrs' not found in folder '" + folder + "'.");
    }
    e = errorOf([&] { db.openRecordset("ordrs"); });
    EXPECT_EQ(e.number(), engine::TableNotFound);
    EXPECT_EQ(e.description(), "Table 'ordrs' not found in folder '" + folder + "'.");

    for (const char* statement : {"select nme from orders", "select * from orders where nme = 'x'",
                                  "select * from orders order by nme"}) {
        SCOPED_TRACE(statement);
        e = errorOf([&] { query(db, statement); });
        EXPECT_GT(e.number(), 0) << e.what();
        EXPECT_TRUE(contains(e.what(), "nme")) << e.what();
    }
    for (const char* statement : {"update orders set nme = 'x'", "insert into orders (nme) values ('x')",
                                  "alter table orders drop column nme"}) {
        SCOPED_TRACE(statement);
        e = errorOf([&] { db.execute(statement); });
        EXPECT_GT(e.number(), 0) << e.what();
        EXPECT_TRUE(contains(e.what(), "nme")) << e.what();
    }
    e = errorOf([&] { db.execute("alter table orders add column name text(5)"); });
    EXPECT_EQ(e.number(), engine::FieldDefinedTwice) << e.what();
    // A value of the wrong type names its field.
    e = errorOf([&] { db.execute("update orders set id = 'abc' where id = 1"); });
    EXPECT_EQ(e.number(), engine::DataTypeMismatch) << e.what();
    EXPECT_TRUE(contains(e.what(), "ID")) << e.what();
}
