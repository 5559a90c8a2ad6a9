// Parameter prompts and substitution, as a user answering the prompts meets them.
#include "console/Parameters.h"

#include <deque>
#include <gtest/gtest.h>

using namespace console;

namespace {
// Answers in order and records every prompt shown.
struct ScriptedPrompt {
    std::deque<std::string> answers;
    std::vector<std::string> texts;
    Prompt prompt() {
        return [this](const std::string& text, const std::string& title, const std::string& defaultAnswer) {
            EXPECT_EQ(title, "");
            EXPECT_EQ(defaultAnswer, "");
            texts.push_back(text);
            std::string answer = answers.empty() ? std::string() : answers.front();
            if (!answers.empty()) answers.pop_front();
            return answer;
        };
    }
};
} // namespace

TEST(Parameters, NoMarkersNoPrompt) {
    ScriptedPrompt script;
    const PreparedStatement p = prepareStatement("select * from t\r\nwhere a = 1", "~", script.prompt());
    EXPECT_EQ(p.text, "select * from t\r\nwhere a = 1");
    EXPECT_TRUE(script.texts.empty());
    EXPECT_EQ(p.parCount, 0);
}

TEST(Parameters, RepeatedNameIsAskedEachTime) {
    ScriptedPrompt script{{"'Ann'", "Bob"}, {}};
    const PreparedStatement p =
        prepareStatement("select * from t where a = ~Cust~ or b = '~cust~'", "~", script.prompt());
    EXPECT_EQ(p.text, "select * from t where a = 'Ann' or b = 'Bob'");
    EXPECT_EQ(script.texts, (std::vector<std::string>{"Enter value for parameter 'CUST' :",
                                                      "Enter value for parameter 'CUST' :"}));
    ASSERT_EQ(p.parameters.size(), 2u);
    EXPECT_EQ(p.parameters[0].name, "Cust");
    EXPECT_EQ(p.parameters[0].index, 1);
    EXPECT_EQ(p.parameters[1].name, "cust");
    EXPECT_EQ(p.parameters[1].value, "Bob");
    EXPECT_EQ(p.parameters[1].index, 2);
}

TEST(Parameters, EmptyNameUnpairedMarkerAndCancel) {
    ScriptedPrompt script{{"5"}, {}};
    PreparedStatement p = prepareStatement("a ~~ b ~ c", "~", script.prompt());
    EXPECT_EQ(p.text, "a 5 b ~ c");
    EXPECT_EQ(script.texts, std::vector<std::string>{"Enter value for parameter '' :"});
    EXPECT_EQ(p.parCount, 2);

    ScriptedPrompt cancelled;
    p = prepareStatement("x=~a~;", "~", cancelled.prompt());
    EXPECT_EQ(p.text, "x=;");
}

TEST(Parameters, AnswersAreNotSearchedAgain) {
    ScriptedPrompt script{{"~b~", "2"}, {}};
    const PreparedStatement p = prepareStatement("~a~ ~c~", "~", script.prompt());
    EXPECT_EQ(p.text, "~b~ 2");
    EXPECT_EQ(script.texts.size(), 2u);
}

TEST(Parameters, ChangedMarkerCharacter) {
    ScriptedPrompt script{{"10"}, {}};
    PreparedStatement p =
        prepareStatement("select * from t where n > #lim# and s = '~x~'", "#", script.prompt());
    EXPECT_EQ(p.text, "select * from t where n > 10 and s = '~x~'");
    EXPECT_EQ(script.texts, std::vector<std::string>{"Enter value for parameter 'LIM' :"});

    ScriptedPrompt twoChars{{"7"}, {}};
    p = prepareStatement("a = {{n{{ and b = {{", "{{", twoChars.prompt());
    EXPECT_EQ(p.text, "a = 7 and b = {{");

    ScriptedPrompt defaulted{{"1"}, {}};
    p = prepareStatement("a = ~n~", "", defaulted.prompt());
    EXPECT_EQ(p.text, "a = 1");
}

TEST(Parameters, NameInTheUsersLanguageAndManyParameters) {
    ScriptedPrompt script{{"x"}, {}};
    prepareStatement("~grad_čačak~", "~", script.prompt());
    EXPECT_EQ(script.texts, std::vector<std::string>{"Enter value for parameter 'GRAD_ČAČAK' :"});

    std::string typed;
    for (int i = 0; i < 1500; ++i)
        typed += "~p~,";
    int asked = 0;
    const PreparedStatement p =
        prepareStatement(typed, "~", [&](auto&, auto&, auto&) { return std::to_string(++asked); });
    EXPECT_EQ(asked, 1500);
    EXPECT_EQ(p.parameters.back().index, 1500);
    EXPECT_EQ(p.text.substr(p.text.size() - 5), "1500,");
}
