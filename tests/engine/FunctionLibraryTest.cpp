// The dialect's functions as queries use them: each row an expression and the classic result (or
// the error it raises), run on a folder holding one record with S = 'Word' and a Null N.
#include "EngineTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

using engine::Database;
using testsupport::TempDir;

namespace {

struct Row {
    const char* expression;
    const char* expected; // the value as enginetest::show writes it, or "!" and the error's message
};

class FunctionLibraryTest : public ::testing::Test {
protected:
    FunctionLibraryTest() {
        testsupport::writeTable(m_dir / "t.dbf", {{"S", 'C', 10, 0}, {"N", 'N', 5, 0}},
                                {{std::string("Word"), xbase::Null{}}});
    }

    std::string evaluate(const std::string& expression) {
        Database db(m_dir.path());
        try {
            return enginetest::one(db, "select " + expression + " from t");
        } catch (const engine::Error& e) {
            return std::string("!") + e.what();
        }
    }

    void check(std::initializer_list<Row> rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.expression);
            const std::string actual = evaluate(row.expression);
            if (row.expected[0] == '!')
                EXPECT_TRUE(testsupport::contains(actual, row.expected + 1)) << actual;
            else
                EXPECT_EQ(actual, row.expected);
        }
    }

    TempDir m_dir;
};

TEST_F(FunctionLibraryTest, Text) {
    check({
        {"Replace('Alphabet', 'a', 'x')", "xlphxbet"},
        {"Replace('Alphabet', 'a', 'x', 1, -1, 0)", "Alphxbet"},
        {"Replace('abcabc', 'b', '', 3)", "cac"},
        {"Replace('aaaa', 'A', 'b', 1, 2)", "bbaa"},
        {"Replace('Čačak', 'č', 'c')", "cacak"},
        {"Replace('abc', '', 'x')", "abc"},
        {"Replace('abc', 'b', 'x', 5)", ""},
        {"Replace(n, 'a', 'b')", "!Invalid use of Null in function Replace"},
        {"Replace('abc', 'b', 'x', 0)", "!Invalid procedure call or argument in function Replace"},
        {"InStrRev('abcabc', 'B')", "5"},
        {"InStrRev('abcabc', 'bc', 5)", "2"},
        {"InStrRev('abcabc', 'B', -1, 0)", "0"},
        {"InStrRev('abc', '')", "3"},
        {"InStrRev(n, 'a')", "NULL"},
        {"StrComp('abc', 'ABC')", "0"},
        {"StrComp('abc', 'ABC', 0)", "1"},
        {"StrComp('a', 'b')", "-1"},
        {"StrComp(n, 'a')", "NULL"},
        {"StrConv('hello WORLD', 3)", "Hello World"},
        {"StrConv('jean-luc o''neil', 3)", "Jean-luc O'neil"},
        {"StrConv('ČAČAK', 2)", "čačak"},
        {"StrConv('x', 4)", "!Invalid procedure call or argument in function StrConv"},
        {"StrReverse('Čačak')", "kačaČ"},
        {"AscW('€')", "8364"},
        {"AscW(ChrW(40000))", "-25536"},
        {"ChrW(-1) = ChrW(65535)", "-1"},
        {"Hex(9786)", "263A"},
        {"Hex(-1)", "FFFF"},
        {"Hex(-32769)", "FFFF7FFF"},
        {"Hex(2.5)", "2"},
        {"Hex(n)", "NULL"},
        {"Hex$(n)", "!Invalid use of Null in function Hex$"},
        {"Hex(2147483648)", "!Overflow in function Hex"},
        {"Oct(8) & ' ' & Oct(-1)", "10 177777"},
        {"Val('&HFFFF')", "-1"},
        {"Val('&H8000')", "-32768"},
        {"Val('&H10000')", "65536"},
        {"Val('&HFFFFFFFF')", "-1"},
        {"Val('&O177777')", "-1"},
        {"Str(n)", "NULL"},
        {"Str$(n)", "!Invalid use of Null in function Str$"},
        {"Left(n, 2)", "NULL"},
        {"Left$(n, 2)", "!Invalid use of Null in function Left$"},
        {"UCase$(s) & Mid$(s, 2)", "WORDord"},
    });
}

TEST_F(FunctionLibraryTest, NumbersAndConversions) {
    check({
        {"Sqr(16)", "4"},
        {"Sqr(-1)", "!Invalid procedure call or argument in function Sqr"},
        {"Log(1)", "0"},
        {"Round(Log(10), 10)", "2.302585093"},
        {"Log(0)", "!Invalid procedure call or argument in function Log"},
        {"Round(Atn(1) * 4, 10)", "3.1415926536"},
        {"Exp(1000)", "!Overflow in function Exp"},
        {"Sqr(n)", "NULL"},
        {"Choose(2, 'a', 'b', 'c')", "b"},
        {"Choose(2.5, 'a', 'b', 'c')", "b"},
        {"Choose(4, 'a', 'b', 'c')", "NULL"},
        {"IsNumeric('1,234.5') & IsNumeric('&HFF') & IsNumeric('12 apples') & IsNumeric(n)", "-1-100"},
        {"IsDate('2024-02-29') & IsDate('2023-02-29') & IsDate(45352) & IsDate(#2024-03-01#)", "-100-1"},
        {"IsEmpty(n) & IsEmpty('')", "00"},
        {"VarType(n) & ' ' & VarType(5) & ' ' & VarType(100000) & ' ' & VarType(1.5)", "1 2 3 5"},
        {"VarType(s) & ' ' & VarType(#2024-03-01#)", "8 7"},
        {"TypeName(n) & ' ' & TypeName(s) & ' ' & TypeName(1.5) & ' ' & TypeName(#2024-03-01#)",
         "Null String Double Date"},
        {"CBool(0) & CBool(-5) & CBool('True') & CBool('false')", "0-1-10"},
        {"CBool('maybe')", "!Type mismatch in function CBool"},
        {"CBool(n)", "!Invalid use of Null in function CBool"},
        {"CByte(254.5)", "254"},
        {"CByte(255.5)", "!Overflow in function CByte"},
        {"CByte(-1)", "!Overflow in function CByte"},
        {"CCur(12.345678)", "12.3457"},
        {"CSng(1.1)", "1.1"},
        {"CSng(3.14159265358979)", "3.141593"},
        {"CSng(1e39)", "!Overflow in function CSng"},
        {"CDec('12.5')", "12.5"},
    });
}

TEST_F(FunctionLibraryTest, Dates) {
    check({
        {"DateSerial(2003, 14, 1)", "2004-02-01"},
        {"DateSerial(2024, 3, 0)", "2024-02-29"},
        {"DateSerial(2024, 0, 1)", "2023-12-01"},
        {"DateSerial(2024, 1, -1)", "2023-12-30"},
        {"DateSerial(2024, 2, 30)", "2024-03-01"},
        {"DateSerial(29, 1, 1) & ' ' & DateSerial(30, 1, 1)", "2029-01-01 1930-01-01"},
        {"DateSerial(10000, 1, 1)", "!Invalid procedure call or argument in function DateSerial"},
        {"DateSerial(2024, 1, 40000)", "!Overflow in function DateSerial"},
        {"DateSerial(n, 1, 1)", "!Invalid use of Null in function DateSerial"},
        {"TimeSerial(25, 0, 0)", "1899-12-31 01:00:00"},
        {"Format(TimeSerial(12, -30, 0), 'hh:nn:ss')", "11:30:00"},
        {"Format(TimeSerial(0, 90, 5), 'hh:nn:ss')", "01:30:05"},
        {"DateValue('March 1, 2024 17:04')", "2024-03-01"},
        {"Format(TimeValue('5:04 PM'), 'hh:nn:ss')", "17:04:00"},
        {"DateValue('soon')", "!Type mismatch in function DateValue"},
        {"MonthName(2) & ' ' & MonthName(2, True)", "February Feb"},
        {"MonthName(13)", "!Invalid procedure call or argument in function MonthName"},
        {"WeekdayName(1) & ' ' & WeekdayName(1, True, 2) & ' ' & WeekdayName(7, False, 2)",
         "Sunday Mon Sunday"},
        {"WeekdayName(8)", "!Invalid procedure call or argument in function WeekdayName"},
    });
}

TEST_F(FunctionLibraryTest, Format) {
    const std::string d = "'2024-03-01 17:04:09'";
    check({
        {"Format(True, ';\\y;\\n') & Format(False, ';\\y;\\n')", "yn"},
        {"Format(0, '\\Y\\e\\s;\\Y\\e\\s;\\N\\o')", "No"},
        {"Format(5, '\\Y\\e\\s;\\Y\\e\\s;\\N\\o') & Format(-3, '\\Y\\e\\s;\\Y\\e\\s;\\N\\o')", "YesYes"},
        {"Format('2024-03-01 17:04:09', 'ttttt')", "17:04:09"},
        {"Format(1, 'True/False') & Format(0, 'Yes/No') & Format(-1, 'On/Off')", "TrueNoOn"},
        {"FormatNumber(1234.5)", "1,234.50"},
        {"FormatNumber(1234.5678, 3)", "1,234.568"},
        {"FormatNumber(0.5, 2, 0)", ".50"},
        {"FormatNumber(-1234.5, 1, -1, -1)", "(1,234.5)"},
        {"FormatNumber(1234.4, 0, -2, -2, 0)", "1234"},
        {"FormatNumber('abc')", "!Type mismatch in function FormatNumber"},
        {"FormatCurrency(-1234.5)", "-1,234.50"},
        {"FormatPercent(0.256) & ' ' & FormatPercent(0.256, 0)", "25.60% 26%"},
        {"FormatDateTime('2024-03-01 17:04:09')", "2024-03-01 17:04:09"},
        {"FormatDateTime('2024-03-01 17:04:09', 1)", "Friday, March 1, 2024"},
        {"FormatDateTime('2024-03-01 17:04:09', 2)", "2024-03-01"},
        {"FormatDateTime('2024-03-01 17:04:09', 3) & ' ' & FormatDateTime('2024-03-01 17:04:09', 4)",
         "17:04:09 17:04"},
        {"FormatDateTime('2024-03-01', 5)", "!Invalid procedure call or argument in function FormatDateTime"},
    });
}

TEST_F(FunctionLibraryTest, Financial) {
    struct Case {
        const char* expression;
        double expected;
    };
    const Case cases[] = {
        {"Pmt(0.1 / 12, 24, 1000)", -46.1449263375165},
        {"Pmt(0.1 / 12, 24, 1000, 0, 1)", -45.7635633099339},
        {"Pmt(0, 10, 1000)", -100},
        {"FV(0.05, 10, -100)", 1257.78925355488},
        {"FV(0, 10, -100, -1000)", 2000},
        {"PV(0.08 / 12, 240, 500)", -59777.1458511878},
        {"NPer(0.01, -100, 1000)", 10.5886444594232},
        {"IPmt(0.1 / 12, 1, 24, 1000)", -8.33333333333333},
        {"IPmt(0.1 / 12, 24, 24, 1000)", -0.381363027582751},
        {"IPmt(0.1 / 12, 1, 24, 1000, 0, 1)", 0},
        {"PPmt(0.1 / 12, 1, 24, 1000)", -37.8115930041833},
        {"Rate(24, -46.1449263375165, 1000)", 0.1 / 12},
        {"DDB(2400, 300, 10, 1)", 480},
        {"DDB(2400, 300, 10, 2)", 384},
        {"DDB(2400, 300, 10, 10)", 22.1225472},
        {"SLN(30000, 7500, 10)", 2250},
        {"SYD(30000, 7500, 10, 1)", 4090.90909090909},
        {"SYD(30000, 7500, 10, 10)", 409.090909090909},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const std::string actual = evaluate(c.expression);
        char* end = nullptr;
        const double value = std::strtod(actual.c_str(), &end);
        ASSERT_TRUE(end && *end == '\0' && end != actual.c_str()) << actual;
        EXPECT_NEAR(value, c.expected, 1e-9 * std::max(1.0, std::fabs(c.expected)));
    }
    check({
        {"Pmt(0.1, 0, 1000)", "!Invalid procedure call or argument in function Pmt"},
        {"IPmt(0.1, 0, 24, 1000)", "!Invalid procedure call or argument in function IPmt"},
        {"Rate(12, 100, 1000)", "!Invalid procedure call or argument in function Rate"},
        {"DDB(2400, 300, 10, 11)", "!Invalid procedure call or argument in function DDB"},
        {"Pmt(n, 24, 1000)", "!Invalid use of Null in function Pmt"},
    });
}

} // namespace
