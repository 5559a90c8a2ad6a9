// The Settings command's prompts and the file it writes, the help text handed to the editor, and About.
#include "app/Form1Fixture.h"
#include "browser/Settings.h"

#include <QAction>
#include <QDir>

using namespace form1test;
using Form1OtherTest = Form1Test;

TEST_F(Form1OtherTest, SettingsAsksForBothValuesAndWritesThem) {
    open(folder());
    const QString title = m_form->windowTitle();
    const QString folderBefore = m_form->Putanja;
    m_dialogs.expectPrompt("/srv/data, 2024/");
    m_dialogs.expectPrompt("%%");
    named<QAction>("mnuPodesavanje")->trigger();
    ASSERT_EQ(m_dialogs.calls().size(), 2);
    EXPECT_EQ(m_dialogs.calls()[0].text, "Default path: ");
    EXPECT_EQ(m_dialogs.calls()[0].title, title);
    EXPECT_EQ(m_dialogs.calls()[0].defaultAnswer, folderBefore);
    EXPECT_EQ(m_dialogs.calls()[1].text, "Parameter character: ");
    EXPECT_EQ(m_dialogs.calls()[1].defaultAnswer, "~");
    // Several characters and a comma in the folder are kept as typed.
    EXPECT_EQ(readFile(m_program / "brindle.ini"), "/srv/data, 2024/\r\n%%\r\n");
    EXPECT_EQ(m_form->pChar, "%%");
    // The new marker is used by the next statement.
    m_dialogs.expectPrompt("12");
    enter("select * from orders where QTY = %%n%%");
    EXPECT_EQ(m_dialogs.calls().last().text, "Enter value for parameter 'N' :");
    EXPECT_EQ(rows().recordCount(), 1);

    // Cancelled prompts give the root folder and the default marker.
    m_dialogs.expectPrompt("");
    m_dialogs.expectPrompt("");
    named<QAction>("mnuPodesavanje")->trigger();
    EXPECT_EQ(m_dialogs.calls()[m_dialogs.calls().size() - 2].defaultAnswer, "/srv/data, 2024/");
    EXPECT_EQ(readFile(m_program / "brindle.ini"),
              QDir::toNativeSeparators(QDir::rootPath()).toStdString() + "\r\n~\r\n");
    EXPECT_EQ(m_form->Putanja, QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(Form1OtherTest, SettingsThatCannotBeWrittenAreReportedOnce) {
    open(folder());
    // A folder where the file should be: it cannot be replaced.
    std::filesystem::remove(m_program / "brindle.ini");
    std::filesystem::create_directory(m_program / "brindle.ini");
    m_dialogs.expectPrompt("/elsewhere");
    m_dialogs.expectPrompt("#");
    m_dialogs.expectMessage();
    named<QAction>("mnuPodesavanje")->trigger();
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages().value(0).contains("brindle.ini"))
        << m_dialogs.messages().value(0).toStdString();
    EXPECT_TRUE(std::filesystem::is_directory(m_program / "brindle.ini"));
    // The values still hold for this session.
    EXPECT_EQ(m_form->pChar, "#");
}

TEST_F(Form1OtherTest, HelpOpensTheHelpTextAndAboutNamesTheAuthors) {
    open(folder());
    QAction* help = named<QAction>("mnuHelp");
    EXPECT_TRUE(help->isEnabled());
    help->trigger();
    EXPECT_EQ(m_editor.opened(), QStringList{q(m_program / "brHelp.txt")});

    m_dialogs.expectMessage();
    named<QAction>("mnuAbout")->trigger();
    const QStringList about = m_dialogs.messages().value(0).split("\r\n");
    ASSERT_EQ(about.size(), 2);
    EXPECT_TRUE(about[0].contains("BRINDLE authors"));
    EXPECT_TRUE(about[0].contains("completely free"));
    EXPECT_TRUE(about[1].contains("suggestions"));
    EXPECT_EQ(m_dialogs.calls().last().kind, testsupport::ScriptedDialogs::Kind::Message);
}
