// Text1: the query box, where Return runs the statement and Ctrl+Return starts a new line.
#include "app/QueryBox.h"

#include <QKeyEvent>

namespace app {

QueryBox::QueryBox(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Text1"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    setPlainText(QStringLiteral("select "));
}

QString QueryBox::statementText() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void QueryBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        // The only way to write a statement over several lines.
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (enter)
        emit enterPressed();
    else
        emit otherKeyPressed();
    // The run does not swallow the key: Enter still breaks the line at the caret afterwards.
    QPlainTextEdit::keyPressEvent(event);
}

void QueryBox::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    emit focusEntered();
}

} // namespace app
