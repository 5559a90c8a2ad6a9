// Dialogs for tests: every call is recorded, and answers come from a script the test writes first.
#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <stdexcept>

namespace testsupport {

// Thrown when the program shows a dialog the script did not expect. Deliberately not an
// engine::Error, so that a handler's own error trap cannot swallow it as a failure to report.
class ScriptError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class ScriptedDialogs : public platform::Dialogs {
public:
    enum class Kind { Prompt, Message, Question, QuestionOrCancel, SaveFileName, Choice };

    // One dialog as the program showed it. For a save dialog, text holds the filter; for a question,
    // defaultAnswer is the button Enter presses ("Yes" or "No"); for a choice, items are the list and
    // defaultAnswer the preview of the chosen item.
    struct Call {
        Kind kind;
        QString text;
        QString title; // as passed: empty when the program left the caption to the default
        QString defaultAnswer;
        QStringList items;
        int current = -1;
    };

    // The script: each dialog the program shows takes the next step, which must be of its kind.
    void expectPrompt(const QString& answer);
    // The user presses Cancel in the prompt.
    void expectPromptCancelled();
    void expectMessage();
    void expectQuestion(bool yes);
    // A Yes/No/Cancel question answered Yes (true), No (false) or Cancel (nullopt).
    void expectQuestionOrCancel(std::optional<bool> answer);
    void expectSaveFileName(const QString& path);
    // Picks the item of this index (-1: Cancel).
    void expectChoice(int index);

    QString prompt(const QString& text, const QString& title, const QString& defaultAnswer,
                   bool* cancelled) override;
    void message(const QString& text, const QString& title, bool error) override;
    bool question(const QString& text, const QString& title, bool yesIsDefault) override;
    std::optional<bool> questionOrCancel(const QString& text, const QString& title) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& defaultName) override;
    int choose(const QString& text, const QStringList& items, int current,
               const std::function<QString(int)>& preview, const QString& title) override;
    void setBusy(bool busy) override;

    const QList<Call>& calls() const { return m_calls; }
    // Texts of the message boxes shown, in order.
    QStringList messages() const;
    // Steps of the script not used yet.
    std::size_t pending() const { return m_script.size(); }
    // Every refusal, also those an outside handler caught, so that a test can still see them.
    const QStringList& violations() const { return m_violations; }
    bool busy() const { return m_busy; }
    // Every setBusy call, in order.
    const QList<bool>& busyChanges() const { return m_busyChanges; }

    static QString kindName(Kind kind);
    // Fails the test unless every step of the script was used and nothing outside it was shown.
    void expectScriptDone() const;

private:
    struct Step {
        Kind kind;
        QString answer;
        bool yes = false;
        int index = -1;
    };

    Step take(const Call& call);

    std::deque<Step> m_script;
    QList<Call> m_calls;
    QStringList m_violations;
    QList<bool> m_busyChanges;
    bool m_busy = false;
};

} // namespace testsupport
