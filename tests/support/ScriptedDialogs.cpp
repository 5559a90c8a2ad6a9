// Dialogs for tests: every call is recorded, and answers come from a script the test writes first.
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace testsupport {

void ScriptedDialogs::expectPrompt(const QString& answer) {
    m_script.push_back({Kind::Prompt, answer});
}

void ScriptedDialogs::expectMessage() {
    m_script.push_back({Kind::Message, {}});
}

void ScriptedDialogs::expectQuestion(bool yes) {
    m_script.push_back({Kind::Question, {}, yes});
}

void ScriptedDialogs::expectSaveFileName(const QString& path) {
    m_script.push_back({Kind::SaveFileName, path});
}

QString ScriptedDialogs::kindName(Kind kind) {
    switch (kind) {
    case Kind::Prompt:
        return "prompt";
    case Kind::Message:
        return "message box";
    case Kind::Question:
        return "Yes/No question";
    case Kind::SaveFileName:
        return "save dialog";
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

QString ScriptedDialogs::prompt(const QString& text, const QString& title, const QString& defaultAnswer) {
    const QString answer = take({Kind::Prompt, text, title, defaultAnswer}).answer;
    return answer.isNull() ? QString("") : answer;
}

void ScriptedDialogs::message(const QString& text, const QString& title) {
    take({Kind::Message, text, title, {}});
}

bool ScriptedDialogs::question(const QString& text, const QString& title) {
    return take({Kind::Question, text, title, {}}).yes;
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& filter,
                                      const QString& defaultName) {
    const QString path = take({Kind::SaveFileName, filter, title, defaultName}).answer;
    return path.isNull() ? QString("") : path;
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
