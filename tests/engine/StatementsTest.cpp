// Every kind of statement on copies of the sample tables (dBASE III/IV with memos, FoxPro, Visual FoxPro,
// a Cyrillic table), the statements the program composes itself, and text compared without regard to case.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using engine::Value;
using enginetest::column;
using enginetest::one;
using enginetest::query;
using enginetest::Rows;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::TempDir;

namespace {

using Names = std::vector<std::string>;

class StatementsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* table :
             {"dbase_03.dbf", "dbase_30.dbf", "dbase_31.dbf", "dbase_83.dbf", "dbase_8b.dbf", "cp1251.dbf"})
            m_dir.copyFixture(std::string("dbf-gem/") + table);
        m_db = std::make_unique<Database>(m_dir.path());
    }

    TempDir m_dir;
    std::unique_ptr<Database> m_db;
};

} // namespace

TEST_F(StatementsTest, SelectsOfTheDialectOnDbaseTables) {
    Database& db = *m_db;
    // dBASE III with memo: [ORDER] and [DESC] are fields named by SQL words; DESC is a memo.
    EXPECT_EQ(column(db, "select top 3 id from dbase_83 order by [order] desc"), (Names{"94", "93", "91"}));
    EXPECT_EQ(column(db, "SELECT TOP 3 [ORDER] FROM dbase_83 WHERE [ORDER] < 30 ORDER BY [ORDER]"),
              (Names{"26", "27", "28"}));
    EXPECT_EQ(one(db, "select count(*) from dbase_83 where name like '*petit*'"), "16");
    EXPECT_EQ(one(db, "select count(*) from dbase_83 where [desc] like '*CHOCOLATE*'"), "41");
    auto rs = db.openRecordset("select id, [desc], taxable from dbase_83 where id = 87");
    EXPECT_EQ(rs->field(1).kind, engine::FieldKind::Memo);
    EXPECT_TRUE(contains(enginetest::show(rs->value("DESC")), "a little taste of heaven"));
    EXPECT_EQ(rs->value("TAXABLE"), Value(true));

    // dBASE IV with memo, an F field and Null dates and logicals.
    EXPECT_EQ(one(db, "select character from dbase_8b where date = #12/31/1970#"), "Two");
    EXPECT_EQ(
        column(db,
               "select character from dbase_8b where date between #1/1/1900# and #1900-12-31# order by date"),
        (Names{"Four", "Five"}));
    EXPECT_EQ(one(db, "select count(*) from dbase_8b where logical = True"), "2");
    EXPECT_EQ(one(db, "select count(*) from dbase_8b where logical Is Null"), "8");
    EXPECT_EQ(column(db, "select character from dbase_8b where memo like 'f*' order by numerical"),
              (Names{"One", "Four", "Five"}));
    EXPECT_EQ(column(db, "select character from dbase_8b where float > 5 order by float desc"),
              (Names{"Eight", "Seven", "Six"}));
    EXPECT_EQ(one(db, "select sum(numerical) from dbase_8b"), "55");
    auto nine = db.openRecordset("select date, float, logical from dbase_8b where numerical = 9");
    EXPECT_TRUE(xbase::isNull(nine->value("DATE")));
    EXPECT_TRUE(xbase::isNull(nine->value("FLOAT")));
    auto two = db.openRecordset("select date, float, logical from dbase_8b where numerical = 2");
    EXPECT_EQ(two->value("DATE"), Value(xbase::Date{1970, 12, 31}));
    EXPECT_EQ(two->value("FLOAT"), Value(2.0));
    EXPECT_EQ(two->value("LOGICAL"), Value(true));
}

TEST_F(StatementsTest, SelectsOnFoxProAndCyrillicTables) {
    Database& db = *m_db;
    EXPECT_EQ(column(db, "select productnam from dbase_31 where unitprice > 100 order by unitprice desc"),
              (Names{"Côte de Blaye", "Thüringer Rostbratwurst"}));
    EXPECT_EQ(query(db, "select count(*), sum(unitprice) from dbase_31 where categoryid = 1"),
              (Rows{{"12", "455.75"}}));
    EXPECT_EQ(one(db, "select count(*) from dbase_31 where discontinu"), "8");
    EXPECT_EQ(one(db, "select productnam from dbase_31 where productnam like 'CÔTE*'"), "Côte de Blaye");
    auto vfp = db.openRecordset("select productid, unitprice, discontinu from dbase_31 where productid = 38");
    EXPECT_EQ(vfp->value(0), Value(std::int64_t{38}));
    EXPECT_EQ(vfp->value(1), Value(263.5));
    EXPECT_EQ(vfp->value(2), Value(false));
    auto whole = db.openRecordset("dbase_31"); // every field but the hidden _NullFlags
    ASSERT_EQ(whole->fieldCount(), 10u);
    EXPECT_EQ(whole->field(9).name, "DISCONTINU");

    EXPECT_EQ(one(db, "select count(*) from dbase_30"), "34");
    EXPECT_EQ(one(db, "select top 1 left(descrip, 30) from dbase_30"), "Earl L. Hilton and Ernestine M");
    auto fox = db.openRecordset("select updated, catdate from dbase_30");
    EXPECT_EQ(fox->value(0), Value(xbase::DateTime{{2006, 4, 20}, (17 * 3600 + 13 * 60 + 4) * 1000 + 999}));
    EXPECT_EQ(fox->value(1), Value(xbase::Date{1999, 3, 5}));

    // Cyrillic text compared and sorted without regard to case.
    EXPECT_EQ(one(db, "select rn from cp1251 where name = 'нии'"), "3");
    EXPECT_EQ(one(db, "select name from cp1251 where name like 'Б*'"), "больничное");
    EXPECT_EQ(one(db, "select ucase(name) from cp1251 where rn = 2"), "БОЛЬНИЧНОЕ");
    EXPECT_EQ(column(db, "select rn from cp1251 order by name"), (Names{"1", "2", "3", "4"}));
    EXPECT_EQ(column(db, "select rn from cp1251 order by name desc"), (Names{"4", "3", "2", "1"}));
}

TEST_F(StatementsTest, ATableWithTwoFieldsOfOneNameOpens) {
    // dbase_03 has two fields named Point_ID (C and N); the table must still be read and changed.
    const auto original = testsupport::dbfread(m_dir / "dbase_03.dbf");
    ASSERT_EQ(original.records.size(), 14u);
    EXPECT_EQ(one(*m_db, "select count(*) from dbase_03"), "14");
    auto rs = m_db->openRecordset("dbase_03");
    EXPECT_EQ(rs->fieldCount(), 31u);
    EXPECT_EQ(enginetest::show(rs->value("Type")), original.records[0][1].text);
    rs.reset();
    // Field 10 is Max_PDOP.
    const auto over5 = std::count_if(original.records.begin(), original.records.end(), [](const auto& r) {
        return r[10].kind == "real" && std::stod(r[10].text) > 5;
    });
    ASSERT_GT(over5, 0);
    EXPECT_EQ(m_db->execute("update dbase_03 set [type] = 'X' where max_pdop > 5"), over5);
    const auto after = testsupport::dbfread(m_dir / "dbase_03.dbf");
    ASSERT_EQ(after.records.size(), 14u);
    for (std::size_t r = 0; r < 14; ++r) {
        const bool hit =
            original.records[r][10].kind == "real" && std::stod(original.records[r][10].text) > 5;
        EXPECT_EQ(after.records[r][1].text, hit ? "X" : original.records[r][1].text) << r;
        EXPECT_EQ(after.records[r][30].text, original.records[r][30].text) << r;
    }
}

TEST_F(StatementsTest, DataChangesOnADbaseIIIMemoTable) {
    const fs::path table = m_dir / "dbase_83.dbf";
    const auto original = testsupport::dbfread(table);
    Database& db = *m_db;

    EXPECT_EQ(
        db.execute("update dbase_83 set price = price + 1, [desc] = 'Changed: ' & [desc] where [order] < 30"),
        4);
    EXPECT_EQ(
        db.execute(
            "insert into dbase_83 (id, [order], code, name, price, [desc], taxable, active) values "
            "(100, 100, 'NEW', 'New thing', 9.99, 'A memo' & chr(13) & chr(10) & 'line 2', true, true)"),
        1);
    EXPECT_EQ(
        db.execute("insert into dbase_83 (id, [order], code, name, price, active) select id + 1000, [order], "
                   "code, name & ' (copy)', price * 2, true from dbase_83 where taxable"),
        3);
    EXPECT_EQ(db.execute("delete from dbase_83 where not active"), 38);
    EXPECT_EQ(db.execute("delete * from dbase_83 where id = 1100"), 1);

    const auto after = testsupport::dbfread(table);
    ASSERT_EQ(after.fields, original.fields);
    EXPECT_EQ(after.deleted, 39);
    ASSERT_EQ(after.records.size(), 29u + 1 + 3 - 1);
    // Field order: ID CATCOUNT AGRPCOUNT PGRPCOUNT ORDER CODE NAME THUMBNAIL IMAGE PRICE COST DESC WEIGHT
    // TAXABLE ACTIVE.
    std::map<std::string, std::vector<testsupport::Cell>> byId;
    for (const auto& r : original.records)
        byId[r[0].text] = r;
    int changed = 0;
    for (const auto& r : after.records) {
        const std::string id = r[0].text;
        if (id == "100") {
            EXPECT_EQ(r[6].text, "New thing");
            EXPECT_EQ(r[9].text, "9.99");
            EXPECT_EQ(r[11].text, "A memo\\r\\nline 2");
            EXPECT_EQ(r[13].text, "true");
            continue;
        }
        if (id == "1067" || id == "1087") {
            const auto& source = byId.at(id.substr(2));
            EXPECT_EQ(r[6].text, source.at(6).text + " (copy)");
            EXPECT_EQ(std::stod(r[9].text), 2 * std::stod(source.at(9).text));
            EXPECT_EQ(r[4].text, source.at(4).text);
            continue;
        }
        ASSERT_TRUE(byId.count(id)) << id;
        const auto& before = byId[id];
        if (std::stol(before[4].text) < 30) {
            ++changed;
            EXPECT_NEAR(std::stod(r[9].text), std::stod(before[9].text) + 1, 1e-9) << id;
            EXPECT_EQ(r[11].text, "Changed: " + before[11].text) << id;
            for (std::size_t i : {0, 6, 10, 14})
                EXPECT_EQ(r[i].text, before[i].text) << id << " field " << i;
        } else {
            for (std::size_t i = 0; i < r.size(); ++i)
                EXPECT_EQ(r[i].text, before[i].text) << id << " field " << after.fields[i];
        }
    }
    EXPECT_EQ(changed, 3); // id 27 was inactive and is deleted
    EXPECT_EQ(one(db, "select count(*) from dbase_83"), "32");
}

TEST_F(StatementsTest, DataChangesOnADbaseIVMemoTable) {
    const fs::path table = m_dir / "dbase_8b.dbf";
    const auto original = testsupport::dbfread(table);
    Database& db = *m_db;
    EXPECT_EQ(
        db.execute("update dbase_8b set memo = memo & '(edited)', numerical = numerical * 10 where logical"),
        2);
    EXPECT_EQ(db.execute("insert into dbase_8b (character, numerical, date, logical, float, memo) values "
                         "('Eleven', 11.5, #2/29/2000#, false, 1.5, 'Eleventh memo')"),
              1);
    EXPECT_EQ(db.execute("delete from dbase_8b where date is null"), 2);

    const auto after = testsupport::dbfread(table);
    EXPECT_EQ(after.deleted, 2);
    ASSERT_EQ(after.records.size(), 9u);
    // CHARACTER NUMERICAL DATE LOGICAL FLOAT MEMO
    EXPECT_EQ(after.records[0][5].text, original.records[0][5].text + "(edited)");
    EXPECT_EQ(after.records[0][1].text, "10.0");
    EXPECT_EQ(after.records[1][5].text, original.records[1][5].text + "(edited)");
    EXPECT_EQ(after.records[1][1].text, "20.0");
    for (std::size_t r = 2; r < 8; ++r)
        for (std::size_t f = 0; f < 6; ++f)
            EXPECT_EQ(after.records[r][f].text, original.records[r][f].text) << r << "/" << f;
    EXPECT_EQ(testsupport::cells(after)[8],
              (std::vector<std::string>{"text:Eleven", "real:11.5", "date:2000-02-29", "bool:false",
                                        "real:1.5", "text:Eleventh memo"}));
}

TEST_F(StatementsTest, TablesWithAnIndexFileAreNotChanged) {
    const auto before = testsupport::snapshot(m_dir.path());
    for (const char* statement : {"update dbase_31 set productnam = 'x'", "delete from dbase_31"}) {
        SCOPED_TRACE(statement);
        const Error e = errorOf([&] { m_db->execute(statement); });
        EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
        EXPECT_TRUE(contains(e.what(), "dbase_31.cdx") && contains(e.what(), "index")) << e.what();
    }
    auto rs = m_db->openRecordset("dbase_31");
    // Nor does the recordset offer edits that will be refused, and an edit is refused when it is written.
    EXPECT_FALSE(rs->updatable());
    const Error e = errorOf([&] {
        rs->edit();
        rs->setValue(std::size_t{1}, Value(std::string("x")));
        rs->update();
    });
    EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(m_dir.path())), "");
}

TEST_F(StatementsTest, StatementsTheProgramComposes) {
    Database& db = *m_db;
    db.execute("create table orders (price double, name text(20))");
    for (const char* values : {"(5, 'ab')", "(12.5, 'abcdef')", "(1234.75, 'a')", "(100, 'abcd')"})
        db.execute(std::string("insert into orders (price, name) values ") + values);
    EXPECT_EQ(
        query(
            db,
            "select top 30 len(trim(str(price ))) as duz,price  as txt from (orders ) order by len (price ) "
            "desc"),
        (Rows{{"7", "1234.75"}, {"4", "12.5"}, {"3", "100"}, {"1", "5"}}));
    // The same on a text column: Str of text is the text.
    EXPECT_EQ(
        query(db,
              "select top 30 len(trim(str(name ))) as duz,name  as txt from (orders ) order by len (name ) "
              "desc"),
        (Rows{{"6", "abcdef"}, {"4", "abcd"}, {"2", "ab"}, {"1", "a"}}));
    auto fit =
        db.openRecordset("select top 30 len(trim(str(price ))) as duz,price  as txt from (orders ) order by "
                         "len (price ) desc");
    EXPECT_EQ(fit->field(0).name, "duz");
    EXPECT_EQ(fit->field(1).name, "txt");
    for (int i = 0; i < 40; ++i)
        db.execute("insert into orders (price, name) values (" + std::to_string(i) + ", 'n')");
    EXPECT_EQ(
        query(
            db,
            "select top 30 len(trim(str(price ))) as duz,price  as txt from (orders ) order by len (price ) "
            "desc")
            .size(),
        33u)
        << "the 30th row's length is shared by three rows after it, which TOP keeps";

    db.execute("create table upiti (u_naziv text(30), u_txt memo)");
    db.execute("insert into upiti (u_naziv, u_txt) values ('Sales', 'select * from orders')");
    db.execute("insert into upiti (u_naziv, u_txt) values ('alpha', 'a')");
    db.execute("insert into upiti (u_naziv, u_txt) values ('Beta', 'b')");
    EXPECT_EQ(db.execute("update upiti set u_txt='select top 5 * from orders' where lcase(u_naziv)='sales'"),
              1);
    EXPECT_EQ(query(db, "select * from UPITI order by lcase(u_naziv)"),
              (Rows{{"alpha", "a"}, {"Beta", "b"}, {"Sales", "select top 5 * from orders"}}));
    auto rs = db.openRecordset("select * from upiti order by u_naziv");
    rs->findFirst("u_naziv='SALES'");
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(enginetest::show(rs->value("u_txt")), "select top 5 * from orders");
    EXPECT_EQ(query(db, enginetest::show(rs->value("u_txt"))).size(), 5u);
    const auto dump = testsupport::dbfread(m_dir / "upiti.dbf");
    EXPECT_EQ(testsupport::cells(dump)[0],
              (std::vector<std::string>{"text:Sales", "text:select top 5 * from orders"}));
}

TEST_F(StatementsTest, TextIsComparedWithoutRegardToCaseBeyondAscii) {
    testsupport::writeTable(m_dir / "gradovi.dbf", {{"GRAD", 'C', 20}},
                            {{std::string("Шабац")},
                             {std::string("ниш")},
                             {std::string("Београд")},
                             {std::string("шабац")},
                             {std::string("Ниш")},
                             {std::string("БЕОГРАД")}},
                            "CP1251");
    Database& db = *m_db;
    // A join and a recordset's search compare as the dialect's collation does.
    EXPECT_EQ(one(db, "select count(*) from gradovi a inner join gradovi b on a.grad = b.grad"), "12");
    auto rs = db.openRecordset("gradovi");
    rs->findFirst("grad = 'БЕОГРАД'");
    EXPECT_EQ(rs->absolutePosition(), 2);
    // Changes keep the table's code page: dbfread reads the Cyrillic text back.
    EXPECT_EQ(db.execute("update gradovi set grad = 'Шабац (Ш)' where grad = 'шабац'"), 2);
    const auto dump = testsupport::dbfread(m_dir / "gradovi.dbf", "cp1251");
    EXPECT_EQ(dump.records[0][0].text, "Шабац (Ш)");
    EXPECT_EQ(dump.records[3][0].text, "Шабац (Ш)");
}
