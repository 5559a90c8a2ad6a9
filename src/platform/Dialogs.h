// The one interface through which the windows talk to the user: prompts, message boxes, the save
// dialog and the busy pointer.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace platform {

// Caption of every prompt and message box that names no title of its own.
inline QString programTitle() {
    return QStringLiteral("BRINDLE");
}

// Windows hold a Dialogs& and call through it; the default arguments live here only.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Modal input prompt. Returns the typed text; Cancel returns the empty text (never a null
    // QString), which callers store like any other answer. cancelled, when given, tells Cancel apart.
    virtual QString prompt(const QString& text, const QString& title = {}, const QString& defaultAnswer = {},
                           bool* cancelled = nullptr) = 0;

    // Modal message box with an OK button; an error carries the error icon.
    virtual void message(const QString& text, const QString& title = {}, bool error = false) = 0;

    // Modal message box with Yes and No buttons; true when the user answered Yes. Enter answers Yes, or
    // No where the question is about destroying something (yesIsDefault false).
    virtual bool question(const QString& text, const QString& title = {}, bool yesIsDefault = true) = 0;

    // Modal message box with Yes, No and Cancel (Enter answers Yes, Escape cancels); nullopt for Cancel.
    virtual std::optional<bool> questionOrCancel(const QString& text, const QString& title = {}) = 0;

    // Save dialog. Returns the chosen full path, or the empty text when the user cancelled: Cancel
    // is an ordinary answer, not an error. Replacing an existing file is confirmed by the dialog.
    virtual QString saveFileName(const QString& title = {}, const QString& filter = {},
                                 const QString& defaultName = {}) = 0;

    // Modal choice of one item of a list, with a preview of what the item under the cursor gives beside
    // the list. Returns the chosen index, or -1 when the user cancelled.
    virtual int choose(const QString& text, const QStringList& items, int current,
                       const std::function<QString(int)>& preview, const QString& title = {}) = 0;

    // Hourglass pointer over the whole program while a long command runs. Calls do not nest: the
    // last call wins. Any dialog shown meanwhile gets the ordinary pointer.
    virtual void setBusy(bool busy) = 0;
};

} // namespace platform
