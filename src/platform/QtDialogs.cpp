// The dialogs of the running program: QInputDialog, QMessageBox and QFileDialog over a window.
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

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

// A message box sizes itself to its text; its title, when longer, would be cut off.
void wideEnoughForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    const int wanted = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 120;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(),
                  0, 1, grid->columnCount());
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

QString QtDialogs::prompt(const QString& text, const QString& title, const QString& defaultAnswer,
                          bool* cancelled) {
    PointerLift lift(m_busy);
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(captionOr(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(text);
    dialog.setTextValue(defaultAnswer);
    showPlainText(dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (cancelled) *cancelled = !accepted;
    if (!accepted) return QString(""); // empty, not null: an answer like any other
    const QString answer = dialog.textValue();
    return answer.isNull() ? QString("") : answer;
}

void QtDialogs::message(const QString& text, const QString& title, bool error) {
    PointerLift lift(m_busy);
    QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon, captionOr(title), text,
                    QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    wideEnoughForTitle(box);
    box.exec();
}

bool QtDialogs::question(const QString& text, const QString& title, bool yesIsDefault) {
    PointerLift lift(m_busy);
    QMessageBox box(QMessageBox::Question, captionOr(title), text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    wideEnoughForTitle(box);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<bool> QtDialogs::questionOrCancel(const QString& text, const QString& title) {
    PointerLift lift(m_busy);
    QMessageBox box(QMessageBox::Question, captionOr(title), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
    box.setTextFormat(Qt::PlainText);
    wideEnoughForTitle(box);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    if (answer == QMessageBox::Cancel) return std::nullopt;
    return answer == QMessageBox::Yes;
}

QString QtDialogs::saveFileName(const QString& title, const QString& filter, const QString& defaultName) {
    PointerLift lift(m_busy);
    // The static function picks the desktop's own dialog where there is one; both kinds ask
    // before an existing file is replaced.
    const QString chosen = QFileDialog::getSaveFileName(m_parent, captionOr(title), defaultName, filter);
    return chosen.isEmpty() ? QString("") : QDir::toNativeSeparators(chosen);
}

int QtDialogs::choose(const QString& text, const QStringList& items, int current,
                      const std::function<QString(int)>& preview, const QString& title) {
    PointerLift lift(m_busy);
    QDialog dialog(m_parent);
    dialog.setWindowTitle(captionOr(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("ChoiceList"));
    list->addItems(items);
    layout->addWidget(list, 1);
    auto* shown = new QPlainTextEdit(&dialog);
    shown->setObjectName(QStringLiteral("ChoicePreview"));
    shown->setReadOnly(true);
    shown->setLineWrapMode(QPlainTextEdit::NoWrap);
    shown->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(shown, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(list, &QListWidget::currentRowChanged, &dialog,
                     [&](int row) { shown->setPlainText(row < 0 ? QString() : preview(row)); });
    list->setCurrentRow(current >= 0 && current < items.size() ? current : 0);
    list->setFocus();
    dialog.resize(640, 480);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return list->currentRow();
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
