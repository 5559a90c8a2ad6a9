#include "support/Qt.h"

#include <QDesktopServices>

// Fontconfig keeps its caches until the process ends: not a leak of ours. Every program that makes
// the application links this file, and with it these suppressions.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace testsupport {

QApplication& application() {
    static int argc = 1;
    static char name[] = "brindle-test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

DesktopCatcher::DesktopCatcher() {
    QDesktopServices::setUrlHandler("file", this, "open");
}

DesktopCatcher::~DesktopCatcher() {
    QDesktopServices::unsetUrlHandler("file");
}

} // namespace testsupport
