// brindle: the main window over the folder or table named on the command line.
#include "app/Form1.h"
#include "platform/DesktopTextEditor.h"
#include "platform/ProgramFolder.h"
#include "platform/QtDialogs.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BRINDLE"));
    platform::QtDialogs dialogs;
    platform::DesktopTextEditor editor(dialogs);
    app::Form1 window(dialogs, editor, platform::ProgramFolder::ofExecutable());
    window.start(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    window.show();
    return application.exec();
}
