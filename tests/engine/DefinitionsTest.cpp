// Statements that change the folder's structure (CREATE TABLE, ALTER TABLE, DROP TABLE, SELECT ... INTO),
// with the resulting files read back by dbfread.
#include "EngineTestSupport.h"

#include <cctype>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using enginetest::one;
using enginetest::Rows;
using testsupport::cells;
using testsupport::contains;
using testsupport::dbfread;
using testsupport::errorOf;
using testsupport::TempDir;

namespace {

using Names = std::vector<std::string>;

// dbfread's reading of a table's header: "NAME TYPE LENGTH DECIMALS" per field (names upper-cased),
// after the version byte.
Names structure(const fs::path& table) {
    const auto r = testsupport::runPython("dbf_fields.py", {table.string()});
    if (r.exitCode != 0) throw std::runtime_error("dbf_fields.py failed: " + r.err);
    Names out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        for (auto& c : line)
            c = c == '\t' ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out.push_back(line);
    }
    return out;
}

} // namespace

TEST(DefinitionsTest, CreateTableWithTheClassicTypesGivesADbaseTable) {
    TempDir dir;
    Database db(dir.path());
    EXPECT_EQ(
        db.execute("CREATE TABLE [New Table] (a TEXT(10), b CHAR(5), m MEMO, i INTEGER, l LONG, s SHORT, "
                   "bt BYTE, si SINGLE, d DOUBLE, c CURRENCY, n NUMERIC(8,2), dt DATETIME, da DATE, y YESNO, "
                   "bi BIT, lo LOGICAL NOT NULL, t TEXT, t2 TEXT(255))"),
        0);
    ASSERT_TRUE(fs::exists(dir / "New Table.dbf"));
    EXPECT_TRUE(fs::exists(dir / "New Table.dbt"));
    EXPECT_EQ(structure(dir / "New Table.dbf"),
              (Names{"VERSION 83", "A C 10 0", "B C 5 0", "M M 10 0", "I N 11 0", "L N 11 0", "S N 6 0",
                     "BT N 4 0", "SI N 20 6", "D N 20 6", "C N 20 4", "N N 10 2", "DT D 8 0", "DA D 8 0",
                     "Y L 1 0", "BI L 1 0", "LO L 1 0", "T C 254 0", "T2 C 254 0"}));
    EXPECT_EQ(
        db.execute("insert into [new table] (a, b, m, i, l, s, bt, si, d, c, n, dt, da, y, bi, lo, t) values "
                   "('text', 'abcde', 'memo' & chr(10) & 'text', -2147483648, 2147483647, -32768, 255, 1.5, "
                   "-0.25, 922337.1234, -999999.99, #2024-02-29#, #12/31/1899#, true, false, -1, "
                   "String(254, 'x'))"),
        1);
    EXPECT_EQ(cells(dbfread(dir / "New Table.dbf")),
              (Rows{{"text:text", "text:abcde", "text:memo\\ntext", "int:-2147483648", "int:2147483647",
                     "int:-32768", "int:255", "real:1.5", "real:-0.25", "real:922337.1234", "real:-999999.99",
                     "date:2024-02-29", "date:1899-12-31", "bool:true", "bool:false", "bool:true",
                     "text:" + std::string(254, 'x'), "text:"}}));
    EXPECT_EQ(one(db, "select count(*) from [NEW TABLE] where i < 0 and lo"), "1");

    // Refused definitions name what is wrong and leave nothing behind.
    struct Case {
        const char* statement;
        int number;
        const char* named;
    };
    for (const Case& c :
         {Case{"create table t1 (a text(300))", engine::InvalidArgument, "300"},
          Case{"create table [new table] (a long)", engine::TableAlreadyExists, "new table"}}) {
        SCOPED_TRACE(c.statement);
        const Error e = errorOf([&] { db.execute(c.statement); });
        EXPECT_EQ(e.number(), c.number) << e.what();
        EXPECT_TRUE(contains(e.what(), c.named)) << e.what();
        EXPECT_FALSE(fs::exists(dir / "t1.dbf"));
    }
}

TEST(DefinitionsTest, AlterTableAddsAndDropsFieldsKeepingTheRecords) {
    TempDir dir;
    dir.copyFixture("dbf-gem/dbase_83.dbf");
    const auto original = dbfread(dir / "dbase_83.dbf");
    Database db(dir.path());
    db.execute("alter table dbase_83 add column stock long");
    db.execute("ALTER TABLE DBASE_83 ADD note2 memo, since date");
    auto layout = structure(dir / "dbase_83.dbf");
    ASSERT_EQ(layout.size(), 1u + 15 + 3);
    EXPECT_EQ(Names(layout.end() - 3, layout.end()), (Names{"STOCK N 11 0", "NOTE2 M 10 0", "SINCE D 8 0"}));
    EXPECT_EQ(
        db.execute("update dbase_83 set stock = id * 10, note2 = 'n' & id, since = #1/2/2003# where id < 30"),
        4);

    auto after = dbfread(dir / "dbase_83.dbf");
    ASSERT_EQ(after.records.size(), original.records.size());
    for (std::size_t r = 0; r < after.records.size(); ++r) {
        const auto& before = original.records[r];
        const auto& now = after.records[r];
        for (std::size_t f = 0; f < before.size(); ++f)
            EXPECT_EQ(now[f].text, before[f].text) << "record " << r << " field " << original.fields[f];
        const long id = std::stol(before[0].text);
        if (id < 30) {
            EXPECT_EQ(now[15].text, std::to_string(id * 10));
            EXPECT_EQ(now[16].text, "n" + std::to_string(id));
            EXPECT_EQ(now[17].text, "2003-01-02");
        } else {
            EXPECT_EQ(now[15].kind, "null");
            EXPECT_EQ(now[17].kind, "null");
        }
    }

    db.execute("alter table dbase_83 drop column [desc], thumbnail");
    db.execute("alter table dbase_83 drop stock");
    layout = structure(dir / "dbase_83.dbf");
    EXPECT_EQ(layout.size(), 1u + 15 + 3 - 3);
    EXPECT_EQ(std::count_if(
                  layout.begin(), layout.end(),
                  [](const std::string& l) { return l.rfind("DESC ", 0) == 0 || l.rfind("STOCK ", 0) == 0; }),
              0);
    after = dbfread(dir / "dbase_83.dbf");
    ASSERT_EQ(after.records.size(), original.records.size());
    ASSERT_EQ(after.fields.size(), 15u);
    for (std::size_t r = 0; r < after.records.size(); ++r) {
        EXPECT_EQ(after.records[r][0].text, original.records[r][0].text);   // ID
        EXPECT_EQ(after.records[r][6].text, original.records[r][6].text);   // NAME
        EXPECT_EQ(after.records[r][7].text, original.records[r][8].text);   // IMAGE after THUMBNAIL went
        EXPECT_EQ(after.records[r][10].text, original.records[r][12].text); // WEIGHT after DESC went
    }
    EXPECT_EQ(one(db, "select note2 from dbase_83 where id = 26"), "n26");

    const Error e = errorOf([&] { db.execute("alter table dbase_83 drop column nosuch"); });
    EXPECT_EQ(e.number(), engine::ItemNotFound) << e.what();
    EXPECT_TRUE(contains(e.what(), "nosuch") && contains(e.what(), "dbase_83")) << e.what();
}

TEST(DefinitionsTest, StructureChangesWaitForRecordsetsOfTheTable) {
    TempDir dir;
    testsupport::writeTable(dir / "t.dbf", {{"A", 'C', 5, 0}, {"M", 'M', 10, 0}},
                            {{std::string("x"), std::string("memo")}});
    Database db(dir.path());
    const auto before = testsupport::snapshot(dir.path());
    auto rs = db.openRecordset("select a from t");
    for (const char* statement :
         {"drop table t", "alter table t add column b long", "alter table t drop column m"}) {
        SCOPED_TRACE(statement);
        const Error e = errorOf([&] { db.execute(statement); });
        EXPECT_EQ(e.number(), engine::TableExclusivelyLocked) << e.what();
        EXPECT_TRUE(contains(e.what(), "'t'")) << e.what();
    }
    EXPECT_EQ(enginetest::show(rs->value(0)), "x");
    rs->close();
    EXPECT_EQ(testsupport::snapshot(dir.path()), before);

    // Dropped with its memo file.
    db.execute("DROP TABLE T");
    EXPECT_TRUE(fs::is_empty(dir.path()))
        << testsupport::differences(before, testsupport::snapshot(dir.path()));
}

TEST(DefinitionsTest, SelectIntoFitsTheFieldsToTheResult) {
    TempDir dir;
    dir.copyFixture("dbf-gem/dbase_8b.dbf");
    Database db(dir.path());
    EXPECT_EQ(db.execute(
                  "select character as name, numerical * 2 as dbl, len(character) as n, date, logical, memo, "
                  "ucase(left(character, 3)) & '-' & numerical as code into copy from dbase_8b "
                  "where numerical <= 3 order by numerical"),
              3);
    const Names layout = structure(dir / "copy.dbf");
    ASSERT_EQ(layout.size(), 8u);
    EXPECT_EQ(layout[1], "NAME C 100 0"); // a plain field keeps its definition
    EXPECT_EQ(layout[4], "DATE D 8 0");
    EXPECT_EQ(layout[5], "LOGICAL L 1 0");
    EXPECT_EQ(layout[6], "MEMO M 10 0");
    EXPECT_EQ(layout[7].substr(0, 7), "CODE C ");
    const auto dump = dbfread(dir / "copy.dbf");
    ASSERT_EQ(dump.records.size(), 3u);
    EXPECT_EQ(dump.records[0][0].text, "One");
    EXPECT_EQ(std::stod(dump.records[1][1].text), 4.0);
    EXPECT_EQ(std::stod(dump.records[2][2].text), 5.0);
    EXPECT_EQ(dump.records[2][3].text, "1980-01-01");
    EXPECT_EQ(dump.records[0][4].text, "true");
    EXPECT_EQ(dump.records[1][5].text, "Second memo");
    EXPECT_EQ(dump.records[2][6].text, "THR-3");
    EXPECT_EQ(one(db, "select sum(dbl) from copy"), "12");
}

TEST(DefinitionsTest, DropAndAFailedSelectIntoLeaveNothingOfTheTableBehind) {
    TempDir dir;
    testsupport::writeTable(
        dir / "src.dbf", {{"ID", 'N', 5, 0}, {"NAME", 'C', 20, 0}},
        {{std::int64_t{1}, std::string("short")}, {std::int64_t{2}, std::string("a longer name")}});
    Database db(dir.path());
    EXPECT_EQ(db.execute("create table t (id long, note memo)"), 0);
    EXPECT_EQ(db.execute("insert into t (id, note) values (1, 'a memo')"), 1);
    // A journal left by a change that died (written here as another program would have left it).
    testsupport::writeFile(dir / "t.dbf-journal", "BRNDLJ02 a journal of a change that died");
    EXPECT_EQ(db.execute("drop table t"), 0);
    for (const char* gone : {"t.dbf", "t.dbt", "t.dbf-journal"})
        EXPECT_FALSE(fs::exists(dir / gone)) << gone;
    // So a table of that name can be made again, and it does not take the old memos for its own.
    EXPECT_EQ(db.execute("create table t (id long, note memo)"), 0);
    EXPECT_EQ(one(db, "select count(*) from t"), "0");

    // SELECT ... INTO whose second row fails: the table it made goes again, memo file and journal too.
    const Error e =
        errorOf([&] { db.execute("select id, CLng(IIf(id = 2, 'abc', id)) as v, name into u from src"); });
    EXPECT_GT(e.number(), 0) << e.what();
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().stem() == "u" || entry.path().stem() == "U") << entry.path();
}

TEST(DefinitionsTest, AlterThroughASymbolicLinkChangesTheFileItPointsTo) {
    TempDir dir;
    fs::create_directory(dir / "data");
    testsupport::writeTable(dir / "data" / "real.dbf", {{"ID", 'N', 5, 0}},
                            {{std::int64_t{1}}, {std::int64_t{2}}});
    fs::create_directory(dir / "db");
    fs::create_symlink(dir / "data" / "real.dbf", dir / "db" / "t.dbf");
    Database db(dir / "db");
    EXPECT_EQ(db.execute("alter table t add column name text(10)"), 0);
    EXPECT_EQ(db.execute("update t set name = 'n' & id"), 2);
    EXPECT_TRUE(fs::is_symlink(dir / "db" / "t.dbf"));
    EXPECT_EQ(cells(dbfread(dir / "data" / "real.dbf")), (Rows{{"int:1", "text:n1"}, {"int:2", "text:n2"}}));
    for (const auto& entry : fs::directory_iterator(dir / "db"))
        EXPECT_EQ(entry.path().filename(), "t.dbf") << "left beside the link";
}
