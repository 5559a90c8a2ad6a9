// Text1: the query box, where Return runs the statement and Ctrl+Return starts a new line.
#pragma once

#include <QPlainTextEdit>
#include <QTextCursor>
#include <optional>

namespace app {

class QueryBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit QueryBox(QWidget* parent = nullptr);

    // The text as the program reads it: line breaks are CR LF.
    QString statementText() const;

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
    // The selection made when a click brought the focus, kept until that click ends.
    std::optional<QTextCursor> m_focusSelection;
};

} // namespace app
