// The dialogs of the running program: QInputDialog, QMessageBox and QFileDialog over a window.
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace platform {

namespace {

QString captionOr(const QString& title) {
    return title.isEmpty() ? programTitle() : title;
}

// User text such as "a<b" or a parameter named <b> must show as typed, never as markup.
void showPlainText(QWidget& dialog) {
    for (QLabel* label : dialog.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}

} // namespace

class QtDialogs::PointerLift {
public:
    explicit PointerLift(bool busy) : m_busy(busy) {
        if (m_busy) QApplication::restoreOverrideCursor();
    }
    ~PointerLift() {
        if (m_busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    PointerLift(const PointerLift&) = delete;
    PointerLift& operator=(const PointerLift&) = delete;

private:
    bool m_busy;
};

QtDialogs::QtDialogs(QWidget* parent) : m_parent(parent) {}

QtDialogs::~QtDialogs() {
    setBusy(false);
}

QString QtDialogs::prompt(const QString& text, const QString& title, const QString& defaultAnswer) {
    PointerLift lift(m_busy);
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(captionOr(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(text);
    dialog.setTextValue(defaultAnswer);
    showPlainText(dialog);
    if (dialog.exec() != QDialog::Accepted) return QString(""); // empty, not null: an answer like any other
    const QString answer = dialog.textValue();
    return answer.isNull() ? QString("") : answer;
}

void QtDialogs::message(const QString& text, const QString& title) {
    PointerLift lift(m_busy);
    QMessageBox box(QMessageBox::NoIcon, captionOr(title), text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogs::question(const QString& text, const QString& title) {
    PointerLift lift(m_busy);
    QMessageBox box(QMessageBox::Question, captionOr(title), text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::saveFileName(const QString& title, const QString& filter, const QString& defaultName) {
    PointerLift lift(m_busy);
    // The static function picks the desktop's own dialog where there is one; both kinds ask
    // before an existing file is replaced.
    const QString chosen = QFileDialog::getSaveFileName(m_parent, captionOr(title), defaultName, filter);
    return chosen.isEmpty() ? QString("") : QDir::toNativeSeparators(chosen);
}

void QtDialogs::setBusy(bool busy) {
    if (busy == m_busy) return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace platform
