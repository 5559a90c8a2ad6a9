// The fixed-width text export compared byte for byte: heading, nine blanks, padded rows, Null
// fields, CR LF, the title's percentage, an empty result, Cancel and files that cannot be made.
#include "output/TextExport.h"

#include "output/ResultTables.h"
#include "support/Files.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <gtest/gtest.h>

using namespace outputtest;
using testsupport::readFile;
using testsupport::ScriptedDialogs;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

class TextExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::application();
        writePeople(m_temp / "PEOPLE.DBF");
    }

    void TearDown() override { m_dialogs.expectScriptDone(); }

    void run(const QStringList& captions, const QLocale& locale = english) {
        output::exportText({m_dialogs,
                            m_data,
                            captions,
                            [this](const QString& t) { m_titles.append(t); },
                            [this] { m_titles.append("(own title)"); },
                            {}},
                           locale);
    }

    QStringList prompts() const {
        QStringList texts;
        for (const auto& call : m_dialogs.calls())
            if (call.kind == ScriptedDialogs::Kind::Prompt) texts.append(call.text);
        return texts;
    }

    TempDir m_temp;
    ScriptedDialogs m_dialogs;
    datagrid::DataSource m_data;
    QStringList m_titles;
};

} // namespace

TEST_F(TextExportTest, WritesTheHeadingNineBlanksAndPaddedRowsWithCrLf) {
    bind(m_data, m_temp.path(), "select name, age, price, born, member from people order by name");
    const auto out = m_temp / "people.txt";
    writeFile(out, std::string(5000, 'x')); // replaced whole, not overwritten in part
    m_dialogs.expectSaveFileName(q(out));
    for (const char* answer : {"6", "3", "9.9", "", "-5"})
        m_dialogs.expectPrompt(answer);
    run({"Name", "Age", "Price", "Born", "Member"});

    EXPECT_EQ(readFile(out), "   NAME AGE     PRICE BORN MEMBER\r\n"
                             "         \r\n"
                             "    Ann   7      2.50 3/15/2024 True\r\n"
                             "    Bob       1234.75     False\r\n"
                             "    Zo\xc3\xab  12           12/31/1999  \r\n");
    EXPECT_EQ(prompts(), (QStringList{"Lenght of 'Name' (in character):", "Lenght of 'Age' (in character):",
                                      "Lenght of 'Price' (in character):", "Lenght of 'Born' (in character):",
                                      "Lenght of 'Member' (in character):"}));
    for (const auto& call : m_dialogs.calls())
        EXPECT_TRUE(call.title.isEmpty()); // the program's own caption
    // The percentage shows from the first row at most ten times a second; the own title comes back.
    EXPECT_EQ(m_titles, (QStringList{". %", "(own title)"}));
    EXPECT_TRUE(m_data.recordset()->eof()); // past the last written row
    EXPECT_EQ(m_dialogs.busyChanges(), (QList<bool>{true, false}));
}

TEST_F(TextExportTest, ValuesFollowTheLocaleAndLineBreaksInsideAValueStay) {
    testsupport::writeTable(m_temp / "NOTES.DBF",
                            {{"NOTE", 'C', 10, 0}, {"AMOUNT", 'N', 8, 2}, {"DAY", 'D', 8, 0}},
                            {{std::string("two\nlines"), 0.5, xbase::Date{2024, 3, 5}}});
    bind(m_data, m_temp.path(), "NOTES.DBF");
    const auto out = m_temp / "notes.txt";
    m_dialogs.expectSaveFileName(q(out));
    for (const char* answer : {"1", "7,9", "0"})
        m_dialogs.expectPrompt(answer);
    run({"note", "Amount", "Day"}, german);
    EXPECT_EQ(readFile(out), " NOTE  AMOUNT DAY\r\n"
                             "         \r\n"
                             " two\nlines    0,50 05.03.2024\r\n");
    EXPECT_EQ(m_titles, (QStringList{", %", "(own title)"}));
}

TEST_F(TextExportTest, EscapeStopsTheExportAndTheFileKeepsTheLinesWritten) {
    bind(m_data, m_temp.path(), "select name from people order by name");
    const auto out = m_temp / "stopped.txt";
    m_dialogs.expectSaveFileName(q(out));
    m_dialogs.expectPrompt("5");
    // Pressed while the export runs: it arrives at the first repaint, after the first row.
    QCoreApplication::postEvent(qApp, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(qApp, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    run({"name"});
    EXPECT_EQ(readFile(out), "  NAME\r\n         \r\n   Ann\r\n");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
    EXPECT_EQ(m_titles.last(), "(own title)");
}

TEST_F(TextExportTest, AnEmptyResultWritesTheTwoHeadingLinesWithoutAMessage) {
    bind(m_data, m_temp.path(), "select name, age from people where age > 100");
    const auto out = m_temp / "empty.txt";
    m_dialogs.expectSaveFileName(q(out));
    m_dialogs.expectPrompt("5");
    m_dialogs.expectPrompt("");
    run({"name", "age"});
    EXPECT_EQ(readFile(out), "  NAME AGE\r\n         \r\n");
    EXPECT_EQ(m_titles, QStringList{"(own title)"}); // no rows: no percentage
    EXPECT_TRUE(m_dialogs.messages().isEmpty());

    // Nothing shown at all yet: no columns, so an empty heading.
    datagrid::DataSource nothing;
    m_dialogs.expectSaveFileName(q(out));
    output::exportText({m_dialogs, nothing, {}, [this](const QString& t) { m_titles.append(t); }, {}, {}},
                       english);
    EXPECT_EQ(readFile(out), "\r\n         \r\n");
    EXPECT_TRUE(m_dialogs.messages().isEmpty());
}

TEST_F(TextExportTest, CancelWritesNothingAndAFileThatCannotBeMadeIsReportedOnce) {
    bind(m_data, m_temp.path(), "PEOPLE.DBF");
    const auto before = testsupport::names(m_temp.path());
    m_dialogs.expectSaveFileName("");
    run({"NAME"});
    EXPECT_EQ(m_dialogs.calls().size(), 1); // no prompts after Cancel
    EXPECT_EQ(testsupport::names(m_temp.path()), before);

    const auto missing = m_temp / "no such folder" / "out.txt";
    m_dialogs.expectSaveFileName(q(missing));
    m_dialogs.expectMessage();
    run({"NAME", "AGE"});
    std::filesystem::create_directory(m_temp / "a folder");
    m_dialogs.expectSaveFileName(q(m_temp / "a folder"));
    m_dialogs.expectMessage();
    run({"NAME", "AGE"});

    EXPECT_EQ(m_dialogs.messages(),
              (QStringList{"Cannot create " + q(missing) + ": the folder " + q(m_temp / "no such folder") +
                               " does not exist",
                           "Cannot create " + q(m_temp / "a folder") + ": it is a folder"}));
    EXPECT_TRUE(prompts().isEmpty()); // the command ended before asking for widths
    EXPECT_TRUE(m_titles.isEmpty());
    EXPECT_FALSE(m_dialogs.busy());
    EXPECT_EQ(m_data.recordset()->absolutePosition(), 0); // the rows were not walked
}
