// The Settings command's prompts and the file it writes, the help text handed to the editor, About, and
// the code page a table is read in.
#include "app/Form1Fixture.h"
#include "browser/FileList.h"
#include "browser/Settings.h"
#include "xbase/CodePageTables.h"

#include <QDir>
#include <QLabel>
#include <algorithm>

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

    // About shows one message box, the version in its title.
    m_dialogs.expectMessage();
    trigger("mnuAbout");
    EXPECT_EQ(m_dialogs.messages().size(), 1);
    EXPECT_EQ(m_dialogs.calls().back().title, "BRINDLE " BRINDLE_VERSION);
}

TEST_F(Form1OtherTest, CodePageReadsTheOpenTableInThePageChosenAndRemembersIt) {
    const auto openNames = [this] {
        m_form = nullptr;
        open(q(m_data / "NAMES.DBF"));
        auto* files = named<browser::FileList>("File1");
        files->setFocus();
        QTest::keyClick(files, Qt::Key_Return);
    };
    // Serbian DOS text in YUSCII, whose file does not say so: it reads as ASCII signs.
    testsupport::writeTable(m_data / "NAMES.DBF", {{"NAME", 'C', 10}}, {{std::string("Čačak")}}, "YUSCII");
    std::filesystem::remove(m_data / "NAMES.cpg");
    const auto pages = xbase::cptables::knownPages();
    const auto yuscii = std::find_if(pages.begin(), pages.end(),
                                     [](const auto& p) { return p.name == std::string("YUSCII"); });
    ASSERT_NE(yuscii, pages.end());
    const int item = int(yuscii - pages.begin()) + 1; // after the line for the table's own page

    open(folder());
    m_dialogs.expectMessage();
    trigger("mnuCodePage");
    EXPECT_EQ(m_dialogs.messages().value(0),
              "A code page is chosen for the text of one table: open a table first.");

    openNames();
    EXPECT_EQ(enginetest::show(rows().value(std::size_t{0})), "^a~ak");
    m_dialogs.expectChoice(item);
    trigger("mnuCodePage");
    const auto& choice = m_dialogs.calls().back();
    EXPECT_EQ(choice.items.value(item), "YUSCII - " + QString::fromLatin1(yuscii->description));
    EXPECT_EQ(choice.defaultAnswer, "Čačak\n") << "the preview shows the first rows in the page";
    EXPECT_EQ(enginetest::show(rows().value(std::size_t{0})), "Čačak");
    EXPECT_EQ(named<QLabel>("Data1CodePage")->text(), "YUSCII");
    EXPECT_EQ(readFile(m_program / "codepages.txt"), "YUSCII\t" + (m_data / "NAMES.DBF").string() + "\r\n");

    // The next start reads the table in the page chosen, and the first line of the list forgets it.
    openNames();
    EXPECT_EQ(enginetest::show(rows().value(std::size_t{0})), "Čačak");
    m_dialogs.expectChoice(0);
    trigger("mnuCodePage");
    EXPECT_EQ(m_dialogs.calls().back().current, item) << "the list starts at the page chosen";
    EXPECT_EQ(enginetest::show(rows().value(std::size_t{0})), "^a~ak");
    EXPECT_EQ(readFile(m_program / "codepages.txt"), "");
}

// The status bar tells the folder's tables, the table's code page and rows, and how long the last statement
// took; the window's size and place come back at the next run.
TEST_F(Form1OtherTest, TheStatusBarAndTheWindowsPlaceBetweenRuns) {
    open(folder());
    const auto status = [this](const char* part) {
        QLabel* label = named<QLabel>(part);
        return label && label->isVisibleTo(m_form.get()) ? label->text() : QString("(hidden)");
    };
    QCoreApplication::processEvents();
    ASSERT_EQ(named<browser::FileList>("File1")->count(), 1);
    EXPECT_EQ(status("StatusTables"), "1 table");
    EXPECT_EQ(status("StatusRows"), "(hidden)");
    EXPECT_EQ(status("StatusTime"), "(hidden)");
    enter("select * from orders where QTY > 10");
    QCoreApplication::processEvents();
    EXPECT_EQ(status("StatusRows"), "2 rows");
    EXPECT_EQ(status("StatusCodePage"), m_form->dataSource()->codePage());
    EXPECT_FALSE(status("StatusCodePage").isEmpty());
    EXPECT_TRUE(status("StatusTime").startsWith("last statement ")) << status("StatusTime").toStdString();
    // A table a statement makes counts at once.
    enter("create table more (a text(3))");
    QCoreApplication::processEvents();
    EXPECT_EQ(status("StatusTables"), "2 tables");

    m_form->setGeometry(QRect(120, 90, 900, 640));
    const QRect placed = m_form->geometry();
    m_form->close();
    open(folder());
    EXPECT_NE(m_form->geometry(), placed);
    m_form->restoreWindowState();
    EXPECT_EQ(m_form->geometry(), placed);
}
