// What the tests of the windows and of Qt-based layers share: the QApplication, paths as QString, a
// stand-in for the desktop, and a program folder in a temporary folder.
#pragma once

#include "platform/ProgramFolder.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <filesystem>

namespace testsupport {

// The program's QApplication, made on first use, without a display.
QApplication& application();

// A member declared before any widget member, so that the application exists when they are made.
struct ApplicationFirst {
    ApplicationFirst() { application(); }
};

inline QString q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

inline platform::ProgramFolder programFolder(const TempDir& dir) {
    return platform::ProgramFolder(q(dir.path()));
}

// Stands in for the desktop while it lives: receives the file URLs the program asks it to open.
class DesktopCatcher : public QObject {
    Q_OBJECT
public:
    DesktopCatcher();
    ~DesktopCatcher() override;
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace testsupport
