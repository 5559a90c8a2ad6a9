// Showing the program's text files: handed to the desktop as a file URL, failures told to the user.
#include "platform/DesktopTextEditor.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

using testsupport::application;

TEST(DesktopTextEditor, HandsTheFileToTheDesktopWithoutAnyMessage) {
    application();
    testsupport::TempDir temp;
    testsupport::DesktopCatcher desktop;
    testsupport::ScriptedDialogs dialogs; // no dialog expected
    platform::DesktopTextEditor editor(dialogs);

    // The log before the first run does not exist yet; it is handed over all the same.
    const QString log = testsupport::q(temp / "sql.txt");
    editor.open(log);

    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened.at(0).toLocalFile(), log);
    EXPECT_TRUE(dialogs.calls().isEmpty());
}

TEST(DesktopTextEditor, ReportsInAMessageBoxWhenNoApplicationStarts) {
    application();
    // The offscreen platform has no desktop services, so opening fails as it does on a system
    // without a default application for text.
    testsupport::ScriptedDialogs dialogs;
    dialogs.expectMessage();
    platform::DesktopTextEditor editor(dialogs);
    editor.open("/nonexistent/brHelp.txt");

    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(dialogs.messages().at(0), "No application could be started to show " +
                                            QDir::toNativeSeparators("/nonexistent/brHelp.txt") + ".");
    EXPECT_TRUE(dialogs.calls().at(0).title.isEmpty()); // the program's own caption
}
