// The dialect's function library on a real SQLite connection: results of SELECTs, errors, collation.
#include "engine/Functions.h"

#include "engine/Collation.h"
#include "support/Sqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

class FunctionsTest : public ::testing::Test {
protected:
    // The value of an expression, as SqliteRunner::lines shows it.
    std::string value(const std::string& expression) {
        const auto result = m_db.lines("SELECT " + expression);
        return result.size() == 1 ? result[0] : "<no row>";
    }
    std::string type(const std::string& expression) { return value("typeof(" + expression + ")"); }
    // The error message of an expression that must fail.
    std::string error(const std::string& expression) { return m_db.error("SELECT " + expression); }

    testsupport::SqliteRunner m_db;
};

TEST_F(FunctionsTest, SubstringsCountCharactersNotBytes) {
    EXPECT_EQ(value("dlg_len('Čačak')"), "5");
    EXPECT_EQ(value("dlg_len(12.5)"), "4");
    EXPECT_EQ(value("dlg_len(NULL)"), "<null>");
    EXPECT_EQ(value("dlg_left('Čačak', 2)"), "Ča");
    EXPECT_EQ(value("dlg_left('abc', 0)"), "");
    EXPECT_EQ(value("dlg_left('abc', 10)"), "abc");
    EXPECT_EQ(value("dlg_right('Čačak', 3)"), "čak");
    EXPECT_EQ(value("dlg_right('abc', 0)"), "");
    EXPECT_EQ(value("dlg_right('abc', 5)"), "abc");
    EXPECT_EQ(value("dlg_mid('školarac', 2, 3)"), "kol");
    EXPECT_EQ(value("dlg_mid('hello', 3)"), "llo");
    EXPECT_EQ(value("dlg_mid('hello', 9, 2)"), "");
    EXPECT_EQ(value("dlg_mid(NULL, 1, 2)"), "<null>");
    EXPECT_EQ(error("dlg_mid('hello', 0, 2)"), "Invalid procedure call or argument in function Mid");
    EXPECT_EQ(error("dlg_left('abc', -1)"), "Invalid procedure call or argument in function Left");
    EXPECT_EQ(error("dlg_left('abc', NULL)"), "Invalid use of Null in function Left");
}

TEST_F(FunctionsTest, InStrIgnoresCaseUnlessBinary) {
    EXPECT_EQ(value("dlg_instr('Beograd', 'GRAD')"), "4");
    EXPECT_EQ(value("dlg_instr('ЧАЧАК', 'чак')"), "3");
    EXPECT_EQ(value("dlg_instr(5, 'abcabc', 'b')"), "5");
    EXPECT_EQ(value("dlg_instr(1, 'abc', 'B', 0)"), "0");
    EXPECT_EQ(value("dlg_instr(1, 'abc', 'B', 1)"), "2");
    EXPECT_EQ(value("dlg_instr('abc', '')"), "1");
    EXPECT_EQ(value("dlg_instr('', 'a')"), "0");
    EXPECT_EQ(value("dlg_instr(9, 'abc', 'a')"), "0");
    EXPECT_EQ(value("dlg_instr('abc', NULL)"), "<null>");
}

TEST_F(FunctionsTest, CaseAndBlanks) {
    EXPECT_EQ(value("dlg_ucase('čačak šđž ß straße')"), "ČAČAK ŠĐŽ ß STRAßE");
    EXPECT_EQ(value("dlg_lcase('ШКОЛА ΣΟΦΊΑ ĞÜ')"), "школа σοφία ğü");
    EXPECT_EQ(value("dlg_trim('  a b  ')") + "|" + value("dlg_ltrim('  a ')") + "|" +
                  value("dlg_rtrim(' a  ')"),
              "a b|a | a");
    EXPECT_EQ(value("dlg_trim(char(9) || 'a')"), "\ta"); // only spaces are trimmed
    EXPECT_EQ(value("dlg_space(3) || '|'"), "   |");
    EXPECT_EQ(value("dlg_string(3, 'ab')"), "aaa");
    EXPECT_EQ(value("dlg_string(2, 'Č')"), "ČČ");
    EXPECT_EQ(value("dlg_string(2, 321)"), "AA"); // 321 Mod 256 = 65
    EXPECT_EQ(error("dlg_string(2, '')"), "Invalid procedure call or argument in function String");
}

TEST_F(FunctionsTest, ChrAndAscUseCodePage1252) {
    EXPECT_EQ(value("dlg_chr(65)"), "A");
    EXPECT_EQ(value("dlg_chr(128)"), "€");
    EXPECT_EQ(value("dlg_chr(138)"), "Š");
    EXPECT_EQ(value("dlg_chr(233)"), "é");
    EXPECT_EQ(value("dlg_asc('€uro')"), "128");
    EXPECT_EQ(value("dlg_asc('é')"), "233");
    EXPECT_EQ(value("dlg_asc('Ш')"), "1064"); // outside the code page: the code point
    EXPECT_EQ(error("dlg_asc('')"), "Invalid procedure call or argument in function Asc");
    EXPECT_EQ(error("dlg_chr(256)"), "Invalid procedure call or argument in function Chr");
    EXPECT_EQ(error("dlg_chr(NULL)"), "Invalid use of Null in function Chr");
}

TEST_F(FunctionsTest, StrAndVal) {
    EXPECT_EQ(value("dlg_str(42)"), " 42");
    EXPECT_EQ(value("dlg_str(-42)"), "-42");
    EXPECT_EQ(value("dlg_str(12.0)"), " 12");
    EXPECT_EQ(value("dlg_str(0.1 + 0.2)"), " 0.3");
    EXPECT_EQ(value("dlg_str(1e20)"), " 1E+20");
    EXPECT_EQ(value("dlg_str(-1.5e-7)"), "-1.5E-07");
    EXPECT_EQ(value("dlg_str('Paris ')"), "Paris ");
    EXPECT_EQ(value("dlg_str(NULL)"), "<null>");
    EXPECT_EQ(value("dlg_val('1615 198th')"), "1615198");
    EXPECT_EQ(value("dlg_val('  -2.5e2xyz')"), "-250");
    EXPECT_EQ(value("dlg_val('3.75 kg')"), "3.75");
    EXPECT_EQ(value("dlg_val('&HFF')") + "|" + value("dlg_val('&o17')"), "255|15");
    EXPECT_EQ(value("dlg_val('abc')"), "0");
    EXPECT_EQ(value("dlg_val('1,234')"), "1");
    EXPECT_EQ(type("dlg_val('12')"), "integer");
}

TEST_F(FunctionsTest, RoundingFollowsTheClassicRules) {
    EXPECT_EQ(value("dlg_round(2.5)") + " " + value("dlg_round(3.5)") + " " + value("dlg_round(-2.5)"),
              "2 4 -2");
    EXPECT_EQ(value("dlg_round(0.125, 2)"), "0.12");
    EXPECT_EQ(value("dlg_round(2.567, 2)"), "2.57");
    EXPECT_EQ(value("dlg_round(7, 2)"), "7");
    EXPECT_EQ(value("dlg_int(-8.4)") + " " + value("dlg_fix(-8.4)"), "-9 -8");
    EXPECT_EQ(value("dlg_int(8.9)") + " " + value("dlg_fix(8.9)"), "8 8");
    EXPECT_EQ(type("dlg_int(8.9)"), "integer");
    EXPECT_EQ(value("dlg_int('7.5')"), "7");
    EXPECT_EQ(value("dlg_abs(-3)") + " " + value("dlg_abs(-2.5)") + " " + value("dlg_sgn(-0.1)"), "3 2.5 -1");
    EXPECT_EQ(value("dlg_cint(2.5)") + " " + value("dlg_cint(3.5)") + " " + value("dlg_cint('-7.5')"),
              "2 4 -8");
    EXPECT_EQ(value("dlg_clng(2147483647.4)"), "2147483647");
    EXPECT_EQ(error("dlg_cint(32767.5)"), "Overflow in function CInt");
    EXPECT_EQ(error("dlg_clng(2147483648)"), "Overflow in function CLng");
    EXPECT_EQ(error("dlg_cint(NULL)"), "Invalid use of Null in function CInt");
    EXPECT_EQ(error("dlg_cint('abc')"), "Type mismatch in function CInt");
    EXPECT_EQ(value("dlg_cdbl('1,234.5')"), "1234.5");
    EXPECT_EQ(type("dlg_cdbl(3)"), "real");
    EXPECT_EQ(value("dlg_cstr(2.50)") + "|" + value("dlg_cstr(-7)"), "2.5|-7");
    EXPECT_EQ(error("dlg_cstr(NULL)"), "Invalid use of Null in function CStr");
}

TEST_F(FunctionsTest, AnErrorOnOneRowFailsTheStatement) {
    m_db.exec("CREATE TABLE n(x)");
    m_db.exec("INSERT INTO n VALUES (1), (NULL), (40000), (2)");
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(m_db.handle(), "SELECT dlg_cint(dlg_nz(x, 0)) FROM n", -1, &stmt, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_ERROR);
    EXPECT_STREQ(sqlite3_errmsg(m_db.handle()), "Overflow in function CInt");
    sqlite3_finalize(stmt);
}

TEST_F(FunctionsTest, OperatorsRoundTheirOperands) {
    EXPECT_EQ(value("dlg_mod(19, 6.7)"), "5");
    EXPECT_EQ(value("dlg_mod(-7, 3)"), "-1");
    EXPECT_EQ(value("dlg_mod(10.5, 3)"), "1");  // 10.5 rounds to 10
    EXPECT_EQ(value("dlg_idiv(11, 2.5)"), "5"); // 2.5 rounds to 2
    EXPECT_EQ(value("dlg_idiv(-7, 2)"), "-3");
    EXPECT_EQ(value("dlg_div(7, 2)"), "3.5");
    EXPECT_EQ(value("dlg_pow(2, 10)") + " " + value("dlg_pow(9, 0.5)"), "1024 3");
    EXPECT_EQ(error("dlg_div(1, 0)"), "Division by zero");
    EXPECT_EQ(error("dlg_mod(1, 0.4)"), "Division by zero");
    EXPECT_EQ(error("dlg_idiv(1, 0)"), "Division by zero");
    EXPECT_EQ(value("dlg_mod(NULL, 2)") + value("dlg_div(1, NULL)"), "<null><null>");
}

TEST_F(FunctionsTest, NullsInNzIsNullAndConcatenation) {
    EXPECT_EQ(value("dlg_nz(NULL)"), "");
    EXPECT_EQ(type("dlg_nz(NULL)"), "text");
    EXPECT_EQ(value("dlg_nz(NULL, 0)") + " " + value("dlg_nz(5, 0)"), "0 5");
    EXPECT_EQ(value("dlg_isnull(NULL)") + " " + value("dlg_isnull('')"), "-1 0");
    EXPECT_EQ(value("dlg_cat(NULL, NULL)"), "<null>");
    EXPECT_EQ(value("dlg_cat('a', NULL)") + "|" + value("dlg_cat(NULL, 'b')"), "a|b");
    EXPECT_EQ(value("dlg_cat('n=', 5)") + "|" + value("dlg_cat(2.5, 'x')") + "|" + value("dlg_cat(1.0, '')"),
              "n=5|2.5x|1");
}

TEST_F(FunctionsTest, DatePartsAndConversions) {
    EXPECT_EQ(value("dlg_year('2024-03-01')") + value("dlg_month('2024-03-01')") +
                  value("dlg_day('2024-03-01')"),
              "202431");
    EXPECT_EQ(value("dlg_hour('2024-03-01 17:04:23')") + ":" + value("dlg_minute('2024-03-01 17:04:23')") +
                  ":" + value("dlg_second('2024-03-01 17:04:23')"),
              "17:4:23");
    EXPECT_EQ(value("dlg_year(NULL)"), "<null>");
    EXPECT_EQ(value("dlg_weekday('2024-03-01')") + value("dlg_weekday('2024-03-01', 2)"), "65"); // a Friday
    EXPECT_EQ(value("dlg_cdate('5/10/96')"), "1996-05-10");
    EXPECT_EQ(value("dlg_cdate('January 1, 1993')"), "1993-01-01");
    EXPECT_EQ(value("dlg_cdate('1 Jan 93')"), "1993-01-01");
    EXPECT_EQ(value("dlg_cdate('31.12.2024')"), "2024-12-31");
    EXPECT_EQ(value("dlg_cdate('13/1/2024')"), "2024-01-13");
    EXPECT_EQ(value("dlg_cdate('3-31-2006 5:04 PM')"), "2006-03-31 17:04:00");
    EXPECT_EQ(value("dlg_cdate('2024-03-01T08:30:00')"), "2024-03-01 08:30:00");
    EXPECT_EQ(value("dlg_cdate(45352)"), "2024-03-01");
    EXPECT_EQ(value("dlg_cdate(45352.75)"), "2024-03-01 18:00:00");
    EXPECT_EQ(value("dlg_cdate(-1.25)"), "1899-12-29 06:00:00");
    EXPECT_EQ(value("dlg_cdate('17:04:23')"), "17:04:23");
    EXPECT_EQ(value("dlg_cdbl('2024-03-01')"), "45352");
    EXPECT_EQ(error("dlg_cdate('2/30/2024')"), "Type mismatch in function CDate");
    EXPECT_EQ(error("dlg_year('soon')"), "Type mismatch in function Year");
    EXPECT_EQ(error("dlg_cdate(NULL)"), "Invalid use of Null in function CDate");
    EXPECT_EQ(value("dlg_date() = date('now', 'localtime')"), "1");
    EXPECT_EQ(value("length(dlg_now()) || length(dlg_time())"), "198");
}

TEST_F(FunctionsTest, DateArithmeticCountsBoundaries) {
    EXPECT_EQ(value("dlg_dateadd('m', 1, '2001-01-31')"), "2001-02-28");
    EXPECT_EQ(value("dlg_dateadd('m', 1, '2004-01-31')"), "2004-02-29");
    EXPECT_EQ(value("dlg_dateadd('yyyy', 1, '2024-02-29')"), "2025-02-28");
    EXPECT_EQ(value("dlg_dateadd('q', -1, '2024-05-31')"), "2024-02-29");
    EXPECT_EQ(value("dlg_dateadd('ww', 2, '2024-12-25')"), "2025-01-08");
    EXPECT_EQ(value("dlg_dateadd('h', 30, '2024-03-01 00:00:00')"), "2024-03-02 06:00:00");
    EXPECT_EQ(value("dlg_dateadd('n', -1, '2024-03-01')"), "2024-02-29 23:59:00");
    EXPECT_EQ(value("dlg_dateadd('D', 1.5, '2024-03-01')"), "2024-03-03"); // 1.5 rounds to 2
    EXPECT_EQ(value("dlg_dateadd('d', 1, NULL)"), "<null>");
    EXPECT_EQ(error("dlg_dateadd('x', 1, '2024-03-01')"),
              "Invalid interval 'x' in function DateAdd (use yyyy, q, m, y, d, w, ww, h, n or s)");
    EXPECT_EQ(error("dlg_dateadd('yyyy', 9000, '2024-03-01')"),
              "Invalid procedure call or argument in function DateAdd");
    EXPECT_EQ(value("dlg_datediff('yyyy', '2023-12-31', '2024-01-01')"), "1");
    EXPECT_EQ(value("dlg_datediff('m', '2024-01-31', '2024-02-01')"), "1");
    EXPECT_EQ(value("dlg_datediff('q', '2024-03-31', '2024-04-01')"), "1");
    EXPECT_EQ(value("dlg_datediff('d', '2024-03-01 23:00:00', '2024-03-02 01:00:00')"), "1");
    EXPECT_EQ(value("dlg_datediff('d', '2024-03-10', '2024-03-01')"), "-9");
    EXPECT_EQ(value("dlg_datediff('h', '2024-03-01 10:59:59', '2024-03-01 11:00:00')"), "1");
    EXPECT_EQ(value("dlg_datediff('s', '2024-03-01', '2024-03-01 00:01:00')"), "60");
    // 2024-03-02 is a Saturday, 03-03 a Sunday: one Sunday crossed, but not a whole week.
    EXPECT_EQ(value("dlg_datediff('ww', '2024-03-02', '2024-03-03')") +
                  value("dlg_datediff('w', '2024-03-02', '2024-03-03')"),
              "10");
    EXPECT_EQ(value("dlg_datepart('q', '2024-08-15')") + " " + value("dlg_datepart('y', '2024-03-01')") +
                  " " + value("dlg_datepart('ww', '2024-01-06')") + " " +
                  value("dlg_datepart('ww', '2024-01-07')"),
              "3 61 1 2");
    // First four-day week, weeks starting on Monday: ISO weeks.
    EXPECT_EQ(value("dlg_datepart('ww', '2021-01-03', 2, 2)") + " " +
                  value("dlg_datepart('ww', '2024-12-30', 2, 2)"),
              "53 1");
}

TEST_F(FunctionsTest, FormatNumbers) {
    EXPECT_EQ(value("dlg_format(1234.5, '0.00')"), "1234.50");
    EXPECT_EQ(value("dlg_format(1234.5, '#,##0.00')"), "1,234.50");
    EXPECT_EQ(value("dlg_format(1234567, '#,##0')"), "1,234,567");
    EXPECT_EQ(value("dlg_format(0.125, '0.00')"), "0.13"); // Format rounds half away from zero
    EXPECT_EQ(value("dlg_format(2.675, '0.00')"), "2.68");
    EXPECT_EQ(value("dlg_format(5, '#.##')") + "|" + value("dlg_format(0.5, '#.##')"), "5.|.5");
    EXPECT_EQ(value("dlg_format(7, '000')"), "007");
    EXPECT_EQ(value("dlg_format(0.256, '0.0%')"), "25.6%");
    EXPECT_EQ(value("dlg_format(1234567, '#,##0,')"), "1,235");
    EXPECT_EQ(value("dlg_format(-5, '0.0')"), "-5.0");
    EXPECT_EQ(value("dlg_format(-5, '0.0;(0.0)')"), "(5.0)");
    EXPECT_EQ(value("dlg_format(0, '0.0;(0.0);\"zero\"')"), "zero");
    EXPECT_EQ(value("dlg_format(-0.001, '0.00')"), "0.00");
    EXPECT_EQ(value("dlg_format(12345.678, '0.00E+00')"), "1.23E+04");
    EXPECT_EQ(value("dlg_format(0.00012, '0.0E-0')"), "1.2E-4");
    EXPECT_EQ(value("dlg_format(5551234, '(000) 000-0000')"), "(000) 555-1234");
    EXPECT_EQ(value("dlg_format(3, '0 \"kg\"')"), "3 kg");
    EXPECT_EQ(value("dlg_format(1234.5, 'Standard')") + "|" + value("dlg_format(1234.5, 'Currency')") + "|" +
                  value("dlg_format(1234.5, 'Fixed')") + "|" + value("dlg_format(0.5, 'Percent')") + "|" +
                  value("dlg_format(1234.5, 'General Number')"),
              "1,234.50|1,234.50|1234.50|50.00%|1234.5");
    EXPECT_EQ(value("dlg_format(-1, 'Yes/No')") + value("dlg_format(0, 'True/False')") +
                  value("dlg_format(1, 'on/off')"),
              "YesFalseOn");
    EXPECT_EQ(value("dlg_format('12.5', '0.00')"), "12.50");
    EXPECT_EQ(value("dlg_format(1234.5)"), "1234.5");
    EXPECT_EQ(value("dlg_format(NULL, '0.00')"), "<null>");
    EXPECT_EQ(value("dlg_format(NULL, '0;0;0;\"none\"')"), "none");
}

TEST_F(FunctionsTest, FormatDatesAndText) {
    const std::string d = "'2024-03-01 17:04:09'";
    EXPECT_EQ(value("dlg_format(" + d + ", 'dd.mm.yyyy')"), "01.03.2024");
    EXPECT_EQ(value("dlg_format(" + d + ", 'd/m/yy')"), "1/3/24");
    EXPECT_EQ(value("dlg_format(" + d + ", 'ddd dddd mmm mmmm')"), "Fri Friday Mar March");
    EXPECT_EQ(value("dlg_format(" + d + ", 'hh:mm:ss')"), "17:04:09");
    EXPECT_EQ(value("dlg_format(" + d + ", 'h:nn AM/PM')") + "|" +
                  value("dlg_format(" + d + ", 'h:nn am/pm')"),
              "5:04 PM|5:04 pm");
    EXPECT_EQ(value("dlg_format(" + d + ", '\"Q\"q yyyy')"), "Q1 2024");
    EXPECT_EQ(value("dlg_format(" + d + ", 'Short Date')"), "2024-03-01");
    EXPECT_EQ(value("dlg_format(" + d + ", 'Long Date')"), "Friday, March 1, 2024");
    EXPECT_EQ(value("dlg_format(" + d + ", 'Medium Date')"), "01-Mar-24");
    EXPECT_EQ(value("dlg_format(" + d + ", 'Short Time')") + "|" +
                  value("dlg_format(" + d + ", 'Long Time')"),
              "17:04|17:04:09");
    EXPECT_EQ(value("dlg_format(" + d + ", 'General Date')"), "2024-03-01 17:04:09");
    EXPECT_EQ(value("dlg_format(45352, 'yyyy-mm-dd')"), "2024-03-01");
    EXPECT_EQ(value("dlg_format(" + d + ", 'w')") + value("dlg_format(" + d + ", 'w', 2)"), "65");
    EXPECT_EQ(value("dlg_format('2024-03-01', '0')"), "45352");
    EXPECT_EQ(value("dlg_format('abc', '>')") + "|" + value("dlg_format('abc', '@@@@@')") + "|" +
                  value("dlg_format('abc', '!@@@@@')"),
              "ABC|  abc|abc  ");
    EXPECT_EQ(value("dlg_format('5551234', '@@@-@@@@')"), "555-1234");
    EXPECT_EQ(value("dlg_format('plain', '0.00')"), "plain");
}

TEST_F(FunctionsTest, LikePatterns) {
    struct Case {
        const char* value;
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {"Paris", "P*", "-1"},
        {"Paris", "*RIS", "-1"},
        {"Paris", "P?ris", "-1"},
        {"Paris", "P?is", "0"},
        {"a1b", "a#b", "-1"},
        {"aXb", "a#b", "0"},
        {"b", "[abc]", "-1"},
        {"d", "[abc]", "0"},
        {"K", "[a-m]", "-1"},
        {"x", "[!a-m]", "-1"},
        {"c", "[!a-m]", "0"},
        {"a*b", "a[*]b", "-1"},
        {"axb", "a[*]b", "0"},
        {"a?", "a[?]", "-1"},
        {"5#", "5[#]", "-1"},
        {"-", "[a-]", "-1"},
        {"ab", "a[]b", "-1"},
        {"Paris", "P%", "0"}, // % and _ are ordinary characters
        {"Paris", "P_ris", "0"},
        {"100%", "100%", "-1"},
        {"1000", "100%", "0"},
        {"Čačak", "čA*", "-1"},
        {"ШКОЛА", "*кол*", "-1"},
        {"Straße", "STRASSE", "0"},
        {"Ž", "[Ž]", "-1"},
        {"ž", "[Š-Ž]", "-1"},
        {"", "*", "-1"},
        {"", "?", "0"},
        {"aaa", "*a*a*a*", "-1"},
        {"abcabd", "*abd", "-1"},
        {"mississippi", "m*iss*ppi", "-1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(value(std::string("dlg_like('") + c.value + "', '" + c.pattern + "')"), c.expected)
            << c.value << " like " << c.pattern;
    }
    EXPECT_EQ(value("dlg_like(NULL, '*')") + value("dlg_like('a', NULL)"), "<null><null>");
    EXPECT_EQ(value("dlg_like(123, '1#3')"), "-1");
    EXPECT_EQ(error("dlg_like('a', '[a')"), "Invalid pattern string '[a' in Like");
    EXPECT_EQ(error("dlg_like('a', '[z-a]')"), "Invalid pattern string '[z-a]' in Like");
    // SQLite's own LIKE operator follows the same rules, with ESCAPE too.
    EXPECT_EQ(value("'Beograd' LIKE 'beo*'") + value("'Beograd' LIKE 'B[a-f]o#'"), "-10");
    EXPECT_EQ(value("'50%' LIKE '50!%' ESCAPE '!'") + value("'500' LIKE '50!%' ESCAPE '!'"), "-10");
}

TEST_F(FunctionsTest, LikeOverATableReusesItsPattern) {
    m_db.exec("CREATE TABLE t(name TEXT)");
    m_db.exec("INSERT INTO t VALUES ('Čačak'), ('čačak'), ('Niš'), ('Beograd'), (NULL), ('ČAČAK 2')");
    EXPECT_EQ(m_db.lines("SELECT name FROM t WHERE name LIKE 'čačak*' ORDER BY rowid"),
              (std::vector<std::string>{"Čačak", "čačak", "ČAČAK 2"}));
    EXPECT_EQ(m_db.lines("SELECT count(*) FROM t WHERE dlg_like(name, '*[šs]')"),
              std::vector<std::string>{"1"});
}

TEST_F(FunctionsTest, TextCollationFoldsCaseBeyondAscii) {
    m_db.exec("CREATE TABLE c(city TEXT COLLATE DBTEXT, n INTEGER)");
    m_db.exec("INSERT INTO c VALUES ('Čačak', 1), ('čačak', 2), ('ШКОЛА', 3), ('школа', 4), ('Paris', 5), "
              "('paris', 6), ('Beograd', 7), ('Zagreb', 8), ('ΣΟΦΙΑ', 9), ('σοφια', 10)");
    EXPECT_EQ(m_db.lines("SELECT n FROM c WHERE city = 'ČAČAK' ORDER BY n"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(m_db.lines("SELECT n FROM c WHERE city = 'Школа' ORDER BY n"),
              (std::vector<std::string>{"3", "4"}));
    EXPECT_EQ(m_db.lines("SELECT n FROM c WHERE city IN ('PARIS') ORDER BY n"),
              (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(m_db.lines("SELECT count(*) FROM c WHERE city < 'c'"),
              std::vector<std::string>{"1"}); // Beograd
    EXPECT_EQ(
        m_db.lines("SELECT dlg_lcase(city), count(*) FROM c GROUP BY city ORDER BY city"),
        (std::vector<std::string>{"beograd|1", "čačak|2", "paris|2", "zagreb|1", "σοφια|2", "школа|2"}));
    EXPECT_EQ(m_db.lines("SELECT count(*) FROM (SELECT DISTINCT city FROM c)"),
              std::vector<std::string>{"6"});
    // Sorting puts both spellings of a name together, and letters with marks by their base letters.
    const auto sorted = m_db.lines("SELECT n FROM c ORDER BY city, n");
    EXPECT_EQ(sorted, (std::vector<std::string>{"7", "1", "2", "5", "6", "8", "9", "10", "3", "4"}));
}

TEST(CollationTest, FoldsLatinGreekAndCyrillic) {
    EXPECT_EQ(engine::compareText("ĐURĐEVAC", "đurđevac"), 0);
    EXPECT_EQ(engine::compareText("ẞ", "ß"), 0);
    EXPECT_EQ(engine::compareText("ΟΔΟΣ", "οδος"), 0);
    EXPECT_EQ(engine::compareText("οδος", "οδοσ"), 0); // final sigma folds to sigma
    EXPECT_EQ(engine::compareText("Ǆ", "ǆ"), 0);
    EXPECT_EQ(engine::compareText("Ѓ", "ѓ"), 0);
    EXPECT_EQ(engine::compareText("Ÿ", "ÿ"), 0);
    EXPECT_LT(engine::compareText("abc", "ABD"), 0);
    EXPECT_GT(engine::compareText("abcd", "ABC"), 0);
    EXPECT_LT(engine::compareText("č", "d"), 0);
    EXPECT_LT(engine::compareFolded("z", "č"), 0);
    EXPECT_EQ(engine::upperText("ǆ ω ѓ ÿ"), "Ǆ Ω Ѓ Ÿ");
    EXPECT_EQ(engine::lowerText("İ"), "i");
    // Malformed UTF-8 compares consistently and survives case mapping byte for byte.
    const std::string broken = std::string("a\xC3") + "B\xFF";
    EXPECT_EQ(engine::lowerText(broken), std::string("a\xC3") + "b\xFF");
    EXPECT_EQ(engine::compareText(broken, std::string("A\xC3") + "b\xFF"), 0);
    EXPECT_NE(engine::compareText(broken, "aÃb"), 0);
}

TEST_F(FunctionsTest, Aggregates) {
    m_db.exec("CREATE TABLE s(g TEXT, x)");
    m_db.exec(
        "INSERT INTO s VALUES ('a', 2), ('a', 4), ('a', 4), ('a', 4), ('a', 5), ('a', 5), ('a', 7), ('a', "
        "9), "
        "('b', NULL), ('b', 3), ('c', 1)");
    EXPECT_EQ(
        m_db.lines("SELECT g, dlg_first(x), dlg_last(x) FROM (SELECT * FROM s ORDER BY rowid) GROUP BY g"),
        (std::vector<std::string>{"a|2|9", "b|<null>|3", "c|1|1"}));
    EXPECT_EQ(m_db.lines("SELECT dlg_stdevp(x), dlg_varp(x), dlg_var(x) FROM s WHERE g = 'a'"),
              std::vector<std::string>{"2|4|4.57142857142857"});
    EXPECT_EQ(m_db.lines("SELECT dlg_stdev(x), dlg_stdevp(x) FROM s WHERE g = 'b'"),
              std::vector<std::string>{"<null>|0"});
    EXPECT_EQ(m_db.lines("SELECT dlg_first(x) FROM s WHERE 0"), std::vector<std::string>{"<null>"});
    m_db.exec("INSERT INTO s VALUES ('d', 'many')");
    EXPECT_EQ(error("dlg_var(x) FROM s"), "Type mismatch in function Var");
}

} // namespace
