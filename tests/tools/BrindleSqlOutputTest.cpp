// What brindle-sql prints, read back by real parsers of each format: results as CSV, TSV, JSON Lines
// and Markdown, the list of tables, a table's schema made again in another folder, and the prompt.
#include "BrindleSql.h"
#include "support/Bytes.h"
#include "support/Outside.h"
#include "support/Tables.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::RunResult;
using testsupport::TempDir;

namespace {

RunResult python(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/python3", std::string(BRINDLE_TESTS_DIR) + "/tools/" + script};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run(argv);
}

// The rows of an output as read_output.py's parser of the format reads them, as JSON text.
std::string parsed(const TempDir& dir, const std::string& format, const std::string& output) {
    testsupport::writeFile(dir / "output.txt", output);
    const RunResult r = python("read_output.py", {format, (dir / "output.txt").string()});
    EXPECT_EQ(r.exitCode, 0) << format << " does not parse:\n" << r.err << output;
    return r.out;
}

} // namespace

TEST(BrindleSqlOutputTest, EachFormatReadsBackWithItsOwnParser) {
    TempDir dir;
    const std::string folder = dir.path().string();
    ASSERT_EQ(
        brindleSql({folder, "create table t (id long, name text(20), price numeric(8,2), d date, ok yesno, "
                            "note memo)"})
            .exitCode,
        0);
    ASSERT_EQ(brindleSql({folder, "insert into t values (1, 'a,b \"q\" | x\\y', 1.5, #2024-01-02#, true, "
                                  "'line1' & chr(10) & 'line2' & chr(9) & 'tab')"})
                  .exitCode,
              0);
    ASSERT_EQ(brindleSql({folder, "insert into t (id) values (-2)"}).exitCode, 0);
    const std::string select = "select * from t order by id desc";
    auto output = [&](const std::string& option) {
        const RunResult r = brindleSql({option, folder, select});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };

    const std::string names = R"(["id", "name", "price", "d", "ok", "note"])";
    const std::string first =
        R"(["1", "a,b \"q\" | x\\y", "1.5", "2024-01-02", "True", "line1\nline2\ttab"])";
    // Null is an empty field in CSV and TSV; a blank text field reads as empty text.
    const std::string second = R"(["-2", "", "", "", "", ""])";
    EXPECT_EQ(parsed(dir, "csv", output("--csv")), "[" + names + ", " + first + ", " + second + "]\n");
    EXPECT_EQ(parsed(dir, "tsv", output("--tsv")), "[" + names + ", " + first + ", " + second + "]\n");
    EXPECT_EQ(parsed(dir, "json", output("--json")),
              R"([{"id": 1, "name": "a,b \"q\" | x\\y", "price": 1.5, "d": "2024-01-02", "ok": true, )"
              R"("note": "line1\nline2\ttab"}, )"
              R"({"id": -2, "name": "", "price": null, "d": null, "ok": null, "note": null}])"
              "\n");
    EXPECT_EQ(parsed(dir, "markdown", output("--markdown")),
              "[" + names +
                  R"(, ["1", "a,b \"q\" | x\\y", "1.5", "2024-01-02", "True", "line1<br>line2\ttab"], )" +
                  R"(["-2", "", "Null", "Null", "Null", "Null"]])" + "\n");

    // Without the header the first line is the first row, in every format that has one.
    for (const std::string format : {"csv", "tsv", "markdown"}) {
        const RunResult r =
            brindleSql({"--" + format, "--no-header", folder, "select id from t where id = 1"});
        EXPECT_EQ(parsed(dir, format, r.out), R"([["1"]])"
                                              "\n")
            << format;
    }
    EXPECT_EQ(brindleSql({"--no-header", folder, "select id from t where id = 1"}).out, "1\n(1 row)\n");
}

TEST(BrindleSqlOutputTest, TablesListsEachTableAndReportsOneThatCannotBeOpened) {
    TempDir dir;
    const std::string folder = dir.path().string();
    testsupport::writeTable(
        dir / "orders.dbf", {{"ITEM", 'C', 10}, {"NOTE", 'M', 10}},
        {{std::string("nails"), std::string("long")}, {std::string("bolts"), xbase::Null{}}});
    testsupport::writeTable(dir / "people.dbf", {{"NAME", 'C', 10}},
                            {{std::string("a")}, {std::string("b")}, {std::string("c")}}, "CP852");
    ASSERT_EQ(brindleSql({folder, "delete from people where name = 'b'"}).exitCode, 0);

    RunResult r = brindleSql({"--tables", "--csv", folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(parsed(dir, "csv", r.out), R"j([["name", "records", "version", "codepage", "memo"], )j"
                                         R"j(["orders", "2", "dBASE III (0x83)", "CP1252", "orders.dbt"], )j"
                                         R"j(["people", "2", "dBASE III (0x03)", "CP852", "-"]])j"
                                         "\n");
    r = brindleSql({"--tables", "--json", folder});
    EXPECT_NE(r.out.find(R"j({"name":"people","records":2,"version":"dBASE III (0x03)","codepage":"CP852",)j"
                         R"j("memo":"-"})j"),
              std::string::npos)
        << r.out;

    // A file that is no table is named on standard error; the others are still listed.
    testsupport::writeFile(dir / "broken.dbf", "not a table at all");
    r = brindleSql({"--tables", "--csv", "--no-header", folder});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.starts_with("brindle-sql: broken.dbf: error ")) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
}

TEST(BrindleSqlOutputTest, ASchemaMakesAnEqualTableInAnotherFolder) {
    TempDir from, to;
    ASSERT_EQ(
        brindleSql({from.path().string(),
                    "create table [my t] (id long, name text(20), price numeric(8,2), big numeric(18), "
                    "d date, ok yesno, note memo, small byte, cur currency, dbl double, [select] text)"})
            .exitCode,
        0);
    RunResult schema = brindleSql({"--schema", "MY T", from.path().string()});
    ASSERT_EQ(schema.exitCode, 0) << schema.err;
    EXPECT_EQ(schema.err, "");
    ASSERT_TRUE(schema.out.starts_with("CREATE TABLE [my t] (") && schema.out.ends_with(");\n"))
        << schema.out;
    const RunResult made = brindleSql({to.path().string(), schema.out.substr(0, schema.out.size() - 1)});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    // The version, the record length and every field descriptor, byte for byte.
    const std::string a = testsupport::readFile(from / "my t.dbf"),
                      b = testsupport::readFile(to / "my t.dbf");
    const std::size_t header = testsupport::get16(a, 8);
    ASSERT_EQ(testsupport::get16(b, 8), header);
    EXPECT_EQ(a[0], b[0]);
    EXPECT_EQ(a.substr(10, 2), b.substr(10, 2));
    EXPECT_EQ(a.substr(32, header - 32), b.substr(32, header - 32));
    EXPECT_EQ(brindleSql({"--schema", "my t", to.path().string()}).out, schema.out);

    // Fields CREATE TABLE cannot make as they are: the nearest statement, each field named, exit 3.
    testsupport::writeTable(from / "odd.dbf", {{"ONE", 'N', 1, 0}, {"NAME", 'C', 5}, {"RATE", 'F', 10, 2}},
                            {});
    schema = brindleSql({"--schema", "odd", from.path().string()});
    EXPECT_EQ(schema.exitCode, 3);
    EXPECT_EQ(schema.out, "CREATE TABLE [odd] ([ONE] NUMERIC(1,0), [NAME] TEXT(5), [RATE] NUMERIC(8,2));\n");
    EXPECT_EQ(schema.err, "brindle-sql: warning: field 'ONE' is N(1); the statement makes N(2).\n"
                          "brindle-sql: warning: field 'RATE' is F(10,2); the statement makes N(10,2).\n");

    const RunResult missing = brindleSql({"--schema", "nosuch", from.path().string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.starts_with("brindle-sql: error 3078: ")) << missing.err;
    EXPECT_EQ(missing.out, "");
}

TEST(BrindleSqlOutputTest, ThePromptRunsMultiLineStatementsAndDotCommands) {
    TempDir dir;
    const std::string folder = dir.path().string();
    const RunResult r =
        python("prompt_session.py", {BRINDLE_SQL, folder, "create table p (id long,", "name text(10));",
                                     "insert into p values (1, 'a;b');", ".tables", ".mode csv",
                                     "select id, name", "from p;", ".schema p", ".quit"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // What the terminal shows of the typed lines depends on when the editor takes over the terminal
    // from its own echo; what the program writes does not.
    const std::string& shown = r.out;
    for (const char* part :
         {"   ...> name text(10));\n", "\n0 records changed\n", "\n1 record changed\n",
          "\np     1        dBASE III (0x03)  ", "   ...> from p;\n", "\nid,name\r\n1,a;b\r\nbrindle> ",
          "\nCREATE TABLE [p] ([id] NUMERIC(10,0), [name] TEXT(10));\nbrindle> "})
        EXPECT_NE(shown.find(part), std::string::npos) << part << " is not in:\n" << shown;
    EXPECT_TRUE(shown.ends_with(".quit\n\nexit 0\n")) << shown;
    EXPECT_EQ(brindleSql({"--csv", folder, "select * from p"}).out, "id,name\r\n1,a;b\r\n");

    // The end of input (Ctrl+D) ends the statement begun and the session.
    const RunResult ended =
        python("prompt_session.py", {BRINDLE_SQL, folder, "select count(*) as n", "from p", "\x04"});
    ASSERT_EQ(ended.exitCode, 0) << ended.err;
    EXPECT_NE(ended.out.find("\nn\n-\n1\n(1 row)\n"), std::string::npos) << ended.out;
    EXPECT_TRUE(ended.out.ends_with("\nexit 0\n")) << ended.out;
}
