// brindle: the main window over the folder or table named on the command line.
#include "app/Form1.h"
#include "platform/DesktopTextEditor.h"
#include "platform/ProgramFolder.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "usage: brindle [FOLDER | TABLE-FILE]\n"
    "Opens the query window on a folder of dBASE tables (a folder is a database, each .dbf file in it a\n"
    "table), or on the folder of a table file with that table shown.\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "Settings, the query log and the saved queries live beside the program when it may write there,\n"
    "else in the user's data folder (~/.local/share/BRINDLE).\n";

} // namespace

int main(int argc, char* argv[]) {
    // Answered without a window, and without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("brindle %s\n", BRINDLE_VERSION);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BRINDLE"));
    QApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION));
    platform::QtDialogs dialogs;
    platform::DesktopTextEditor editor(dialogs);
    app::Form1 window(dialogs, editor, platform::ProgramFolder::forThisProgram());
    window.start(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    window.restoreWindowState();
    window.show();
    return application.exec();
}
