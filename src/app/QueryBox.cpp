// Text1: the query box, where Return runs the statement and Ctrl+Return starts a new line.
#include "app/QueryBox.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <algorithm>

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
    // While the names are offered, Enter, Tab and Escape are the list's: Enter takes a name, it runs
    // nothing.
    if (m_completer && m_completer->popup()->isVisible() &&
        (enter || event->key() == Qt::Key_Escape || event->key() == Qt::Key_Tab ||
         event->key() == Qt::Key_Backtab)) {
        event->ignore();
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::ControlModifier) {
        showCompletions();
        event->accept();
        return;
    }
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        // The only way to write a statement over several lines.
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (enter) {
        // The Enter that runs the statement is used up; afterwards the whole statement is selected, so
        // that typing replaces it and Enter runs it again.
        event->accept();
        m_walk = -1;
        emit enterPressed();
        selectAll();
        return;
    }
    const bool up = event->key() == Qt::Key_Up, down = event->key() == Qt::Key_Down;
    if ((up || down) && event->modifiers() == Qt::ControlModifier) {
        walkHistory(up ? 1 : -1);
        event->accept();
        return;
    }
    // Any other key but a modifier alone ends the walk: the text shown is the user's now.
    const int key = event->key();
    if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt && key != Qt::Key_Meta)
        m_walk = -1;
    emit otherKeyPressed();
    QPlainTextEdit::keyPressEvent(event);
    // Typing on while the names are offered narrows them to the word typed so far.
    if (m_completer && m_completer->popup()->isVisible()) {
        m_completer->setCompletionPrefix(wordBeforeCursor());
        if (m_completer->completionCount() == 0 || wordBeforeCursor().isEmpty())
            m_completer->popup()->hide();
        else
            offerCompletions();
    }
}

QString QueryBox::wordBeforeCursor() const {
    const QTextCursor cursor = textCursor();
    const QString line = cursor.block().text().left(cursor.positionInBlock());
    qsizetype start = line.size();
    while (start > 0 && (line.at(start - 1).isLetterOrNumber() || line.at(start - 1) == QLatin1Char('_')))
        --start;
    return line.mid(start);
}

void QueryBox::showCompletions() {
    if (!m_names) return;
    if (!m_completer) {
        m_offered = new QStringListModel(this);
        m_completer = new QCompleter(m_offered, this);
        m_completer->setObjectName(QStringLiteral("Text1Completer"));
        m_completer->setWidget(this);
        m_completer->setCaseSensitivity(Qt::CaseInsensitive);
        m_completer->setCompletionMode(QCompleter::PopupCompletion);
        connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
                &QueryBox::insertCompletion);
    }
    m_offered->setStringList(m_names());
    m_completer->setCompletionPrefix(wordBeforeCursor());
    offerCompletions();
}

void QueryBox::offerCompletions() {
    QRect place = cursorRect();
    place.setWidth(m_completer->popup()->sizeHintForColumn(0) +
                   m_completer->popup()->verticalScrollBar()->sizeHint().width() + 8);
    m_completer->complete(place);
    // The first name is chosen, so that Enter takes it at once.
    m_completer->popup()->setCurrentIndex(m_completer->completionModel()->index(0, 0));
}

void QueryBox::insertCompletion(const QString& name) {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, int(wordBeforeCursor().size()));
    // A name with blanks or other signs is written as a [name].
    const bool plain = std::all_of(name.begin(), name.end(),
                                   [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); });
    cursor.insertText(plain ? name : QLatin1Char('[') + name + QLatin1Char(']'));
    setTextCursor(cursor);
}

void QueryBox::walkHistory(int step) {
    if (m_walk < 0) {
        m_walked = m_history ? m_history() : QStringList();
        m_beforeWalk = toPlainText();
    }
    const int next = std::clamp(m_walk + step, -1, int(m_walked.size()) - 1);
    if (next == m_walk) return;
    m_walk = next;
    setPlainText(m_walk < 0 ? m_beforeWalk : m_walked.at(m_walk));
    moveCursor(QTextCursor::End);
}

void QueryBox::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    // Closing a menu or a message box gives the focus back without the user choosing the box; a click,
    // Tab, Backtab or a shortcut chooses it.
    const Qt::FocusReason reason = event->reason();
    emit focusEntered(reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                      reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason);
    // A click that brings the focus would place the caret right after the selection was made:
    // the selection of the focus wins over that click.
    m_focusSelection.reset();
    if (event->reason() == Qt::MouseFocusReason) m_focusSelection = textCursor();
}

void QueryBox::mousePressEvent(QMouseEvent* event) {
    QPlainTextEdit::mousePressEvent(event);
    if (m_focusSelection) setTextCursor(*m_focusSelection);
}

void QueryBox::mouseMoveEvent(QMouseEvent* event) {
    // Dragging from the focusing click selects as usual.
    m_focusSelection.reset();
    QPlainTextEdit::mouseMoveEvent(event);
}

void QueryBox::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (m_focusSelection) setTextCursor(*m_focusSelection);
    m_focusSelection.reset();
}

} // namespace app
