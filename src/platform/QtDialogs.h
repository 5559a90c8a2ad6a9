// The dialogs of the running program: QInputDialog, QMessageBox and QFileDialog over a window.
#pragma once

#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>

namespace platform {

class QtDialogs : public Dialogs {
public:
    // parent: the window the dialogs are modal to; may be null (then they are application-modal).
    explicit QtDialogs(QWidget* parent = nullptr);
    ~QtDialogs() override;

    QString prompt(const QString& text, const QString& title, const QString& defaultAnswer,
                   bool* cancelled) override;
    void message(const QString& text, const QString& title, bool error) override;
    bool question(const QString& text, const QString& title, bool yesIsDefault) override;
    std::optional<bool> questionOrCancel(const QString& text, const QString& title) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& defaultName) override;
    int choose(const QString& text, const QStringList& items, int current,
               const std::function<QString(int)>& preview, const QString& title) override;
    void setBusy(bool busy) override;

private:
    // Takes the hourglass away while a dialog is up and puts it back afterwards.
    class PointerLift;

    QPointer<QWidget> m_parent;
    bool m_busy = false;
};

} // namespace platform
