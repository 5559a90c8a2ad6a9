// The Settings command's prompts and the file it writes, the help text handed to the editor, and About.
#include "app/Form1Fixture.h"
#include "browser/Settings.h"

#include <QDir>

using namespace form1test;
using Form1OtherTest = Form1Test;

TEST_F(Form1OtherTest, SettingsOffersTheCurrentValuesWritesTheAnswersAndReportsAFailureOnce) {
    open(folder());
    const QString folderBefore = m_form->Putanja;
    m_dialogs.expectPrompt("/srv/data/");
    m_dialogs.expectPrompt("%%");
    trigger("mnuPodesavanje");
    EXPECT_EQ(m_dialogs.calls()[0].defaultAnswer, folderBefore);
    EXPECT_EQ(m_dialogs.calls()[1].defaultAnswer, "~");
    EXPECT_EQ(readFile(m_program / "brindle.ini"), "/srv/data/\r\n%%\r\n");
    // The new marker is used by the next statement.
    m_dialogs.expectPrompt("12");
    enter("select * from orders where QTY = %%n%%");
    EXPECT_EQ(rows().recordCount(), 1);

    // Cancelled prompts give the root folder and the default marker.
    m_dialogs.expectPrompt("");
    m_dialogs.expectPrompt("");
    trigger("mnuPodesavanje");
    EXPECT_EQ(m_dialogs.calls()[m_dialogs.calls().size() - 2].defaultAnswer, "/srv/data/");
    EXPECT_EQ(readFile(m_program / "brindle.ini"),
              QDir::toNativeSeparators(QDir::rootPath()).toStdString() + "\r\n~\r\n");
    EXPECT_EQ(m_form->Putanja, QDir::toNativeSeparators(QDir::rootPath()));

    // A folder where the file should be: reported once, and the values still hold for this session.
    std::filesystem::remove(m_program / "brindle.ini");
    std::filesystem::create_directory(m_program / "brindle.ini");
    m_dialogs.expectPrompt("/elsewhere");
    m_dialogs.expectPrompt("#");
    m_dialogs.expectMessage();
    trigger("mnuPodesavanje");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_TRUE(m_dialogs.messages().value(0).contains("brindle.ini"))
        << m_dialogs.messages().value(0).toStdString();
    EXPECT_EQ(m_form->pChar, "#");
}

TEST_F(Form1OtherTest, HelpOpensTheHelpTextAndAboutShowsAMessage) {
    open(folder());
    trigger("mnuHelp");
    EXPECT_EQ(m_editor.opened(), QStringList{q(m_program / "brHelp.txt")});

    // About shows one message box.
    m_dialogs.expectMessage();
    trigger("mnuAbout");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
}
