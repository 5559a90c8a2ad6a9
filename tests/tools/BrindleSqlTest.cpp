// brindle-sql as scripts run it: several at once on one folder, and what it says about damaged tables.
#include "BrindleSql.h"

#include "engine/EngineTestSupport.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeCounters;

TEST(BrindleSqlTest, TwoAtOnceOnOneTableBothCountAndNothingIsLost) {
    TempDir dir;
    writeCounters(dir / "t.dbf", 20000);
    const std::string folder = dir.path().string();
    const int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        RunResult a, b;
        std::thread first([&] { a = brindleSql({folder, "update t set n = n + 1"}); });
        std::thread second([&] { b = brindleSql({folder, "update t set n = n + 1"}); });
        first.join();
        second.join();
        ASSERT_EQ(a.exitCode, 0) << a.err;
        ASSERT_EQ(b.exitCode, 0) << b.err;
        EXPECT_EQ(a.out, "20000 records changed\n");
        EXPECT_EQ(b.out, "20000 records changed\n");
    }
    const RunResult check = brindleSql({"--csv", folder, "select min(n), max(n) from t"});
    EXPECT_EQ(check.out, "Expr1000,Expr1001\r\n10,10\r\n");
}

TEST(BrindleSqlTest, ADamagedTableIsReadWithAWarningAndNotChanged) {
    TempDir dir;
    writeCounters(dir / "t.dbf", 3);
    std::string bytes = testsupport::readFile(dir / "t.dbf");
    bytes[4] = 1; // the header counts one record; the file holds three
    testsupport::writeFile(dir / "t.dbf", bytes);
    const std::string folder = dir.path().string();
    RunResult r = brindleSql({"--csv", folder, "select count(*) from t"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Expr1000\r\n3\r\n");
    EXPECT_EQ(r.err,
              "brindle-sql: warning: t.dbf: The file holds 3 records, more than the 1 its header counts.\n");
    r = brindleSql({folder, "update t set n = 5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("brindle-sql: error 3027: Table 't.dbf' is damaged (the file holds 3 records"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(testsupport::readFile(dir / "t.dbf"), bytes);
}

TEST(BrindleSqlTest, EveryByteOfAValueIsWrittenAndUnreadableValuesAreEmptyWithTheReason) {
    TempDir dir;
    testsupport::writeNumbered(dir / "t.dbf", 3);
    std::string bytes = testsupport::readFile(dir / "t.dbf");
    const std::size_t header = testsupport::get16(bytes, 8), length = testsupport::get16(bytes, 10);
    // Record 1's name holds a NUL (the value ends there); record 3's memo points past its file.
    bytes.replace(header + 1 + 6, 10, std::string("n1\0junk   ", 10));
    bytes.replace(header + 2 * length + 17, 10, "    999999");
    testsupport::writeFile(dir / "t.dbf", bytes);
    testsupport::writeNumbered(dir / "m.dbf", 3);
    const std::string folder = dir.path().string();

    // A memo with a NUL and a quote inside is one CSV field, every byte of it.
    ASSERT_EQ(brindleSql({folder, "update m set note = 'a' & chr(0) & 'b\"c' where id = 3"}).exitCode, 0);
    RunResult r = brindleSql({"--csv", folder, "select id, note from m where id = 3"});
    EXPECT_EQ(r.out, "ID,NOTE\r\n3,\"a\0b\"\"c\"\r\n"s);

    // Records read one by one, and a result computed by the SQL engine.
    for (const char* select :
         {"select id, name, note from t order by 2",
          "select id, name, note from t union all select id, name, note from m where id = 0"}) {
        r = brindleSql({"--csv", folder, select});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "ID,NAME,NOTE\r\n1,n1,\r\n2,n2,\r\n3,n3,\r\n") << select;
        EXPECT_TRUE(r.err.starts_with("brindle-sql: warning: ")) << r.err;
        EXPECT_NE(r.err.find("3, field 'NOTE': "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("block 999999 lies beyond the end"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "said once: " << r.err;
    }
}

TEST(BrindleSqlTest, TheCodePageOptionReadsAndMakesTables) {
    TempDir dir;
    const std::string folder = dir.path().string();
    RunResult r = brindleSql({"--codepage", "YUSCII", folder, "create table s (name text(10))"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testsupport::readFile(dir / "s.cpg"), "YUSCII\r\n");
    ASSERT_EQ(brindleSql({"--codepage", "YUSCII", folder, "insert into s values ('Čačak')"}).exitCode, 0);
    fs::remove(dir / "s.cpg");
    EXPECT_EQ(brindleSql({"--csv", folder, "select name from s"}).out, "name\r\n^a~ak\r\n");
    EXPECT_EQ(brindleSql({"--csv", "--codepage", "yuscii", folder, "select name from s"}).out,
              "name\r\nČačak\r\n");
    r = brindleSql({"--codepage", "KLINGON", folder, "select name from s"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("KLINGON"), std::string::npos) << r.err;
}
