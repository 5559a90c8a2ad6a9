// Text1: the query box, where Return runs the statement and Ctrl+Return starts a new line.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextCursor>
#include <functional>
#include <optional>

class QCompleter;
class QStringListModel;

namespace app {

class QueryBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit QueryBox(QWidget* parent = nullptr);

    // The text as the program reads it: line breaks are CR LF.
    QString statementText() const;
    // Where Ctrl+Up and Ctrl+Down find earlier statements: newest first, read when the walk begins.
    void setHistory(std::function<QStringList()> history) { m_history = std::move(history); }
    // The names Ctrl+Space offers for the word before the caret, asked for each time.
    void setCompletions(std::function<QStringList()> names) { m_names = std::move(names); }
    // The list of names shown by Ctrl+Space (null before the first).
    QCompleter* completer() const { return m_completer; }

signals:
    // Return or keypad Enter without Ctrl: the statement is to run. The key goes no further.
    void enterPressed();
    // Any other key, before the box handles it.
    void otherKeyPressed();
    // The box took the keyboard focus; chosen when the user moved it there (a click, Tab, Backtab, a
    // shortcut), not when it came back after a menu or a message box closed.
    void focusEntered(bool chosen);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Ctrl+Up (back: older) and Ctrl+Down (forward: newer) through the history; past the newest, the
    // text typed before the walk began comes back.
    void walkHistory(int step);
    // Ctrl+Space: the names that begin with the word before the caret; the one chosen replaces the word.
    void showCompletions();
    // Shows the names that begin with the completion prefix under the caret, the first chosen.
    void offerCompletions();
    void insertCompletion(const QString& name);
    QString wordBeforeCursor() const;

    // The selection made when a click brought the focus, kept until that click ends.
    std::optional<QTextCursor> m_focusSelection;
    std::function<QStringList()> m_history;
    QStringList m_walked; // the history as the walk began
    int m_walk = -1;      // the statement shown from it; -1: not walking
    QString m_beforeWalk; // the text typed before the walk
    std::function<QStringList()> m_names;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_offered = nullptr;
};

} // namespace app
