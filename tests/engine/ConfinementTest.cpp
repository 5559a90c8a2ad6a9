// Statements stay in their folder and in their dialect: table names that are paths, SQLite's own
// functions and statements are refused with the classic messages, and nothing is made outside.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::TempDir;

TEST(ConfinementTest, ATableNameIsAFileOfTheFolderNeverAPath) {
    TempDir outer;
    const fs::path folder = outer / "db";
    fs::create_directories(folder / "sub");
    testsupport::writeTable(folder / "t.dbf", {{"ID", 'N', 5, 0}}, {{std::int64_t{1}}});
    testsupport::writeTable(folder / "sub" / "t.dbf", {{"ID", 'N', 5, 0}}, {{std::int64_t{2}}});
    const auto outside = testsupport::snapshot(outer.path());
    const auto inside = testsupport::snapshot(folder);
    const auto below = testsupport::snapshot(folder / "sub");
    Database db(folder);
    for (const std::string& name : {std::string("../x"), std::string("..\\x"), std::string("sub/t"),
                                    (outer / "abs").string(), std::string(".."), std::string(".")}) {
        for (const std::string& statement :
             {"create table [" + name + "] (a long)", "select * into [" + name + "] from t",
              "alter table [" + name + "] add column b long", "alter table [" + name + "] drop column id",
              "drop table [" + name + "]"}) {
            SCOPED_TRACE(statement);
            const Error e = errorOf([&] { db.execute(statement); });
            EXPECT_EQ(e.number(), engine::InvalidName) << e.what();
            EXPECT_TRUE(contains(e.what(), "'" + name + "' is not a valid table name")) << e.what();
        }
    }
    EXPECT_EQ(testsupport::snapshot(outer.path()), outside);
    EXPECT_EQ(testsupport::snapshot(folder), inside);
    EXPECT_EQ(testsupport::snapshot(folder / "sub"), below);
    // A plain name still works, with or without its ending.
    EXPECT_EQ(db.execute("create table [x 1.dbf] (a long)"), 0);
    EXPECT_TRUE(fs::exists(folder / "x 1.dbf"));
}

TEST(ConfinementTest, OnlyTheDialectsFunctionsCanBeCalled) {
    TempDir dir;
    testsupport::writeTable(dir / "t.dbf", {{"ID", 'N', 5, 0}, {"NAME", 'C', 10, 0}},
                            {{std::int64_t{1}, std::string("ab")}});
    const auto before = testsupport::snapshot(dir.path());
    Database db(dir.path());
    for (const char* call : {"fts3_tokenizer('simple')", "randomblob(4)", "sqlite_version()", "quote(name)",
                             "unicode(name)", "printf('%s', name)", "load_extension('x')", "typeof(id)",
                             "zeroblob(10)", "dlg_cat(name, name)", "unknownthing(id)"}) {
        const std::string name = std::string(call).substr(0, std::string(call).find('('));
        const std::string expected = "Undefined function '" + name + "' in expression.";
        for (const std::string& statement :
             {"select " + std::string(call) + " from t",
              "select id from t where " + std::string(call) + " is null",
              "update t set name = 'x' where " + std::string(call) + " is null"}) {
            SCOPED_TRACE(statement);
            const Error e = errorOf([&] {
                if (statement.rfind("select", 0) == 0)
                    db.openRecordset(statement);
                else
                    db.execute(statement);
            });
            EXPECT_EQ(e.number(), engine::UndefinedFunction) << e.what();
            EXPECT_EQ(e.description(), expected);
        }
    }
    // Where SQLite has a function of the same name, the dialect's is the one called.
    EXPECT_EQ(enginetest::one(db, "select hex(id) & ' ' & replace(name, 'A', 'x') from t"), "1 xb");
    EXPECT_EQ(enginetest::one(db, "select round(log(100), 4) from t"), "4.6052");
    // SQLite's statements that reach other files are not statements of the dialect.
    for (const char* statement :
         {"attach database 'other.db' as other", "pragma writable_schema = 1", "vacuum into 'copy.db'"})
        EXPECT_GT(errorOf([&] { db.execute(statement); }).number(), 0) << statement;
    EXPECT_EQ(testsupport::snapshot(dir.path()), before);
    // The dialect's own functions, aggregates and operators work as before.
    EXPECT_EQ(enginetest::one(db, "select UCase(Left(name, 1)) & Len(name) & Max(id) & Count(*) from t"),
              "A211");
}

TEST(ConfinementTest, TablesThatMustNotBeChangedSayWhyAndTheirWarningsAreTold) {
    TempDir dir;
    testsupport::writeTable(dir / "t.dbf", {{"ID", 'N', 5, 0}}, {{std::int64_t{1}}, {std::int64_t{2}}});
    testsupport::writeFile(dir / "t.ntx", "a Clipper index");
    Database db(dir.path());
    Error e = errorOf([&] { db.execute("insert into t (id) values (3)"); });
    EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    EXPECT_TRUE(contains(e.what(), "'t.ntx'") && contains(e.what(), "out of date")) << e.what();
    fs::remove(dir / "t.ntx");

    // A header that counts more records than the file holds: read with a warning, not written.
    std::string bytes = testsupport::readFile(dir / "t.dbf");
    bytes[4] = 9;
    testsupport::writeFile(dir / "d.dbf", bytes);
    Database fresh(dir.path());
    EXPECT_EQ(enginetest::one(fresh, "select count(*) from d"), "2");
    const auto warnings = fresh.takeWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "d.dbf: The header counts 9 records, but the file holds 2; the rest is missing.");
    EXPECT_TRUE(fresh.takeWarnings().empty()) << "a warning is told once";
    e = errorOf([&] { fresh.execute("update d set id = 7"); });
    EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    EXPECT_TRUE(contains(e.what(), "is damaged (the header counts 9 records")) << e.what();
    EXPECT_EQ(testsupport::readFile(dir / "d.dbf"), bytes);
}
