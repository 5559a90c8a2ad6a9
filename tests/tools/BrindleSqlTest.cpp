// brindle-sql as scripts run it: several at once on one folder, and what it says about damaged tables.
#include "engine/EngineTestSupport.h"

#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeCounters;

namespace {

RunResult brindleSql(const std::vector<std::string>& args) {
    std::vector<std::string> argv{BRINDLE_SQL};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run(argv);
}

} // namespace

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
