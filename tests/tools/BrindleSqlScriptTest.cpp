// brindle-sql running scripts: statements split at the ends of lines, run in order on one folder, the
// first failure stopping the rest (or not, with --keep-going), and the usage it answers with.
#include "BrindleSql.h"
#include "support/Outside.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::RunResult;
using testsupport::TempDir;

namespace {

// brindle-sql FOLDER with the script as its standard input (a file, not a terminal).
RunResult fromStdin(const std::string& folder, const std::filesystem::path& script,
                    const std::vector<std::string>& options = {}) {
    std::vector<std::string> argv{"/bin/sh",       "-c",       "s=$1; shift; exec \"$@\" < \"$s\"", "sh",
                                  script.string(), BRINDLE_SQL};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(folder);
    return testsupport::run(argv);
}

std::string csvOf(const std::string& folder, const std::string& select) {
    return brindleSql({"--csv", folder, select}).out;
}

} // namespace

TEST(BrindleSqlScriptTest, SemicolonsInsideQuotesAndNamesOrMidLineDoNotEndAStatement) {
    TempDir dir;
    const std::string folder = dir.path().string();
    // CR LF line ends, blank lines and a ';' alone on a line, as scripts written elsewhere have them.
    testsupport::writeFile(dir / "s.sql", "create table t (id long, name text(30));\r\n"
                                          "\r\n"
                                          "insert into t values (1, 'one;\r\n"
                                          "still one;');\r\n"
                                          "insert into t values (2, \"two; \"\"quoted\"\";\");\r\n"
                                          ";\r\n"
                                          "insert into t values (3, 'mid; line') \r\n"
                                          "  ;  \r\n"
                                          "select id as [number;\r\n"
                                          "of it], name from t where id = 3;\r\n"
                                          "insert into t values (4, 'end')");
    RunResult r = brindleSql({"-f", (dir / "s.sql").string(), folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "0 records changed\n"
                     "1 record changed\n"
                     "1 record changed\n"
                     "1 record changed\n"
                     "number; of it  name\n" // its line break a space in aligned text
                     "-------------  ---------\n"
                     "3              mid; line\n"
                     "(1 row)\n"
                     "1 record changed\n");
    EXPECT_EQ(csvOf(folder, "select id, name from t order by id"),
              "id,name\r\n1,\"one;\nstill one;\"\r\n2,\"two; \"\"quoted\"\";\"\r\n3,mid; line\r\n4,end\r\n");

    // The same script from standard input, and with -f -, in a new folder.
    for (const bool dash : {false, true}) {
        TempDir other;
        const std::vector<std::string> options =
            dash ? std::vector<std::string>{"-f", "-"} : std::vector<std::string>{};
        r = fromStdin(other.path().string(), dir / "s.sql", options);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(csvOf(other.path().string(), "select count(*) from t"), "Expr1000\r\n4\r\n");
    }
}

TEST(BrindleSqlScriptTest, AFailureStopsTheScriptAtItsLineUnlessKeepGoing) {
    const std::string script = "create table t (id long);\n"  // 1
                               "insert into t values (1);\n"  // 2
                               "\n"                           // 3
                               "insert into t\n"              // 4: the failing statement starts here
                               "  values ('x', 'y');\n"       // 5
                               "insert into t values (2);\n"  // 6
                               "select nosuch from t;\n"      // 7
                               "insert into t values (3);\n"; // 8
    TempDir dir;
    testsupport::writeFile(dir / "s.sql", script);
    const std::string path = (dir / "s.sql").string();

    TempDir stopped;
    RunResult r = brindleSql({"-f", path, stopped.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "0 records changed\n1 record changed\n");
    EXPECT_TRUE(r.err.starts_with("brindle-sql: " + path + ":4: error ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(csvOf(stopped.path().string(), "select id from t"), "id\r\n1\r\n");

    TempDir kept;
    r = fromStdin(kept.path().string(), dir / "s.sql", {"--keep-going"});
    EXPECT_EQ(r.exitCode, 1) << "a failure is not success, even when the rest ran";
    EXPECT_TRUE(r.err.starts_with("brindle-sql: stdin:4: error ")) << r.err;
    EXPECT_NE(r.err.find("\nbrindle-sql: stdin:7: error 3061: Unknown field name 'nosuch'.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(csvOf(kept.path().string(), "select id from t order by id"), "id\r\n1\r\n2\r\n3\r\n");

    // A script whose statements all succeed ends with 0; a script that cannot be read runs nothing.
    testsupport::writeFile(dir / "ok.sql", "insert into t values (4);\nselect count(*) from t;");
    EXPECT_EQ(brindleSql({"--csv", "-f", (dir / "ok.sql").string(), kept.path().string()}).out,
              "1 record changed\nExpr1000\r\n4\r\n");
    r = brindleSql({"-f", (dir / "missing.sql").string(), kept.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.sql"), std::string::npos) << r.err;
}

TEST(BrindleSqlScriptTest, HelpGoesToStandardOutputAndAWrongUsageToStandardErrorWithTwo) {
    TempDir dir;
    const std::string folder = dir.path().string();
    RunResult help = brindleSql({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("usage: brindle-sql")) << help.out;
    EXPECT_NE(help.out.find("Exit codes:"), std::string::npos);
    EXPECT_EQ(help.err, "");
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                  {"--bogus", folder},
                                                  {"-f"},
                                                  {"-f", "s.sql", folder, "select 1"},
                                                  {"--tables", "--schema", "t", folder},
                                                  {"--keep-going", folder, "select 1"},
                                                  {folder, "a", "b"}}) {
        const RunResult r = brindleSql(wrong);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(wrong);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, help.out) << testing::PrintToString(wrong);
    }
}
