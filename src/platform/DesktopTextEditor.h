// Opens a file in the desktop's default application for its type.
#pragma once

#include "platform/Dialogs.h"
#include "platform/TextEditor.h"

namespace platform {

class DesktopTextEditor : public TextEditor {
public:
    // dialogs: where a failure to start the application is reported; must outlive this object.
    explicit DesktopTextEditor(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void open(const QString& path) override;

private:
    Dialogs& m_dialogs;
};

} // namespace platform
