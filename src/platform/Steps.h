// How a handler runs its steps and reports one that fails, in the form its failure rule names.
#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <exception>
#include <functional>

namespace platform {

// Each failing step is reported in a message box and the handler goes on with the next step (or ends,
// where its rule says so: a step returns false). Only the program's own failures (runtime errors) are
// caught; a logic error, such as a test script refusing a dialog, goes through.
class Steps {
public:
    enum class Form {
        Description, // the description alone
        StartUp,     // the description, " (Form Load) " and the window's name
        Numbered,    // the error's number, one blank, the description
    };

    explicit Steps(Dialogs& dialogs, Form form = Form::Description, QString window = {})
        : m_dialogs(dialogs), m_form(form), m_window(std::move(window)) {}

    // Runs one step; false when it failed and was reported.
    bool operator()(const std::function<void()>& step) const;
    // The report of a failure in this form.
    QString text(const std::exception& error) const;
    // Reports a failure in this form.
    void report(const std::exception& error) const { m_dialogs.message(text(error), {}, true); }

private:
    Dialogs& m_dialogs;
    Form m_form;
    QString m_window;
};

} // namespace platform
