// Opens a file in the desktop's default application for its type.
#include "platform/DesktopTextEditor.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace platform {

void DesktopTextEditor::open(const QString& path) {
    // A file that does not exist yet (the log before the first run) is still handed over: what
    // to show then is the application's business.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(absolute)))
        m_dialogs.message(
            "No application could be started to show " + QDir::toNativeSeparators(absolute) + ".", {});
}

} // namespace platform
