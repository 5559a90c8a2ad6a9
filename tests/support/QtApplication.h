// The QApplication of a Qt test program, run without a display. Include it from the one source file of
// a test program (it defines LeakSanitizer's suppressions for that program).
#pragma once

#include <QApplication>

// Fontconfig keeps its caches until the process ends: not a leak of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace testsupport {

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "brindle-test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace testsupport
