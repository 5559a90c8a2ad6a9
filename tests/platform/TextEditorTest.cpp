// Showing the program's text files: handed to the desktop as a file URL, failures told to the user.
#include "platform/DesktopTextEditor.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedTextEditor.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

using testsupport::application;

// Stands in for the desktop: receives the URLs the program asks it to open.
class Desktop : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

TEST(DesktopTextEditor, HandsTheFileToTheDesktopWithoutAnyMessage) {
    application();
    testsupport::TempDir temp;
    Desktop desktop;
    QDesktopServices::setUrlHandler("file", &desktop, "open");
    testsupport::ScriptedDialogs dialogs; // no dialog expected
    platform::DesktopTextEditor editor(dialogs);

    // The log before the first run does not exist yet; it is handed over all the same.
    const QString log = QString::fromStdString((temp / "sql.txt").string());
    editor.open(log);
    QDesktopServices::unsetUrlHandler("file");

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

TEST(ScriptedTextEditor, RecordsThePathsInOrder) {
    testsupport::ScriptedTextEditor editor;
    platform::TextEditor& asUsed = editor;
    asUsed.open("/p/sql.txt");
    asUsed.open("/p/brHelp.txt");
    EXPECT_EQ(editor.opened(), (QStringList{"/p/sql.txt", "/p/brHelp.txt"}));
}

#include "TextEditorTest.moc"
