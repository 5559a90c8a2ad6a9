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

} // namespace
