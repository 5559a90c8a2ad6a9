// Dialogs for tests: every call is recorded, and answers come from a script the test writes first.
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace testsupport {

void ScriptedDialogs::expectPrompt(const QString& answer) {
    m_script.push_back({Kind::Prompt, answer});
}

void ScriptedDialogs::expectPromptCancelled() {
    m_script.push_back({Kind::Prompt, {}, true});
}

void ScriptedDialogs::expectMessage() {
    m_script.push_back({Kind::Message, {}});
}

void ScriptedDialogs::expectQuestion(bool yes) {
    m_script.push_back({Kind::Question, {}, yes});
}

void ScriptedDialogs::expectQuestionOrCancel(std::optional<bool> answer) {
    m_script.push_back({Kind::QuestionOrCancel, {}, answer.value_or(false), answer ? 1 : -1});
}

void ScriptedDialogs::expectSaveFileName(const QString& path) {
    m_script.push_back({Kind::SaveFileName, path});
}

void ScriptedDialogs::expectChoice(int index) {
    m_script.push_back({Kind::Choice, {}, false, index});
}

QString ScriptedDialogs::kindName(Kind kind) {
    switch (kind) {
    case Kind::Prompt:
        return "prompt";
    case Kind::Message:
        return "message box";
    case Kind::Question:
        return "Yes/No question";
    case Kind::QuestionOrCancel:
        return "Yes/No/Cancel question";
    case Kind::SaveFileName:
        return "save dialog";
    case Kind::Choice:
        return "choice";
    }
    return "dialog";
}

ScriptedDialogs::Step ScriptedDialogs::take(const Call& call) {
    m_calls.append(call);
    QString refusal;
    const QString shown = kindName(call.kind) + " \"" + call.text + "\"";
    if (m_script.empty())
        refusal = "dialog script is empty, but the program showed a " + shown;
    else if (m_script.front().kind != call.kind)
        refusal = "dialog script expected a " + kindName(m_script.front().kind) +
                  ", but the program showed a " + shown;
    if (!refusal.isEmpty()) {
        m_violations.append(refusal);
        throw ScriptError(refusal.toStdString());
    }
    Step step = m_script.front();
    m_script.pop_front();
    return step;
}

QString ScriptedDialogs::prompt(const QString& text, const QString& title, const QString& defaultAnswer,
                                bool* cancelled) {
    const Step step = take({Kind::Prompt, text, title, defaultAnswer, {}, -1});
    if (cancelled) *cancelled = step.yes;
    const QString answer = step.yes ? QString() : step.answer;
    return answer.isNull() ? QString("") : answer;
}

void ScriptedDialogs::message(const QString& text, const QString& title, bool /*error*/) {
    take({Kind::Message, text, title, {}, {}, -1});
}

bool ScriptedDialogs::question(const QString& text, const QString& title, bool yesIsDefault) {
    return take({Kind::Question, text, title, yesIsDefault ? "Yes" : "No", {}, -1}).yes;
}

std::optional<bool> ScriptedDialogs::questionOrCancel(const QString& text, const QString& title) {
    const Step step = take({Kind::QuestionOrCancel, text, title, "Yes", {}, -1});
    if (step.index < 0) return std::nullopt;
    return step.yes;
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& filter,
                                      const QString& defaultName) {
    const QString path = take({Kind::SaveFileName, filter, title, defaultName, {}, -1}).answer;
    return path.isNull() ? QString("") : path;
}

int ScriptedDialogs::choose(const QString& text, const QStringList& items, int current,
                            const std::function<QString(int)>& preview, const QString& title) {
    const int index = take({Kind::Choice, text, title, {}, items, current}).index;
    if (index >= 0) m_calls.last().defaultAnswer = preview(index);
    return index;
}

void ScriptedDialogs::setBusy(bool busy) {
    m_busy = busy;
    m_busyChanges.append(busy);
}

QStringList ScriptedDialogs::messages() const {
    QStringList texts;
    for (const Call& call : m_calls)
        if (call.kind == Kind::Message) texts.append(call.text);
    return texts;
}

void ScriptedDialogs::expectScriptDone() const {
    EXPECT_TRUE(m_violations.isEmpty()) << m_violations.join("; ").toStdString();
    EXPECT_EQ(m_script.size(), 0u) << "steps of the dialog script were not used";
}

} // namespace testsupport
