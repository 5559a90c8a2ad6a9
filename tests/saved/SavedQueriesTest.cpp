// The table of saved queries as the build places it, read back by another program, and a program
// folder without it.
#include "saved/SavedQueries.h"

#include "engine/EngineTestSupport.h"
#include "saved/QueryExport.h"
#include "saved/TableLayout.h"
#include "support/Qt.h"

#include <gtest/gtest.h>

using testsupport::programFolder;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// The empty table, made by the build's own tool.
void placeTable(const TempDir& dir) {
    const auto result = testsupport::run({MAKE_UPITI, dir.path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
}

} // namespace

TEST(SavedQueriesTest, TheBuildPlacesAnEmptyTableAndKeepsOneThatHoldsQueries) {
    TempDir program;
    placeTable(program);
    auto db = saved::openDatabase(programFolder(program));
    {
        auto rows = db->openRecordset("upiti");
        ASSERT_EQ(rows->fieldCount(), 2u);
        EXPECT_EQ(rows->field(0).name, "u_naziv");
        EXPECT_EQ(rows->field(1).name, "u_txt");
        EXPECT_EQ(rows->field(1).kind, engine::FieldKind::Memo);
        EXPECT_TRUE(rows->eof());
    }
    // Exporting the empty table empties the chosen file.
    const auto file = program / "old.txt";
    writeFile(file, "old contents\r\n");
    saved::exportQueries(*db, QString::fromStdString(file.string()));
    EXPECT_EQ(readFile(file), "");

    // Apostrophes, letters beyond ASCII and a long text of many lines are stored exactly, as
    // another program reads them.
    std::string longText = "select *\r\nfrom orders\r\nwhere";
    for (int i = 0; i < 200; ++i)
        longText += " qty <> " + std::to_string(i) + " and\r\n";
    saved::addQuery(*db, "Marko's Čačak", QString::fromStdString(longText));
    db.reset();
    const auto dump = testsupport::dbfread(program / "upiti.dbf", "utf-8");
    ASSERT_EQ(dump.records.size(), 1u);
    EXPECT_EQ(dump.records[0][0].text, "Marko's Čačak");
    std::string escaped = longText;
    for (std::size_t at; (at = escaped.find("\r\n")) != std::string::npos;)
        escaped.replace(at, 2, "\\r\\n");
    EXPECT_EQ(dump.records[0][1].text, escaped);

    // Building again leaves the user's queries alone.
    placeTable(program);
    db = saved::openDatabase(programFolder(program));
    const auto queries = saved::listQueries(*db, saved::Order::Stored);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].text.toStdString(), longText);
}

TEST(SavedQueriesTest, AMissingTableIsNamedAndNeverCreated) {
    TempDir program;
    const engine::Error error = testsupport::errorOf([&] { saved::openDatabase(programFolder(program)); });
    EXPECT_EQ(error.number(), engine::TableNotFound);
    EXPECT_NE(error.description().find((program / "upiti.dbf").string()), std::string::npos)
        << error.description();
    EXPECT_FALSE(std::filesystem::exists(program / "upiti.dbf"));
}

TEST(SavedQueriesTest, TheExportWritesThreeLinesPerRowInStoredOrderWithTheTextsUnchanged) {
    TempDir program;
    // Rows as another program may have left them: a text with a bare LF and a trailing bare CR, and a
    // row whose name and text are Null.
    testsupport::writeTable(program / "upiti.dbf", saved::tableFields(),
                            {{std::string("Sales"), std::string("select * from orders")},
                             {std::string("Two"), std::string("select a\r\nfrom b")},
                             {std::string("Sales"), std::string("select a\nfrom b\r")},
                             {xbase::Null{}, xbase::Null{}}},
                            saved::tableCodePage());
    const auto file = program / "queries.txt";
    writeFile(file, "a longer file that was there before the export\r\n");
    saved::exportQueries(*saved::openDatabase(programFolder(program)), QString::fromStdString(file.string()));
    EXPECT_EQ(readFile(file), "Naziv: Sales\r\nTekst: select * from orders\r\n \r\n"
                              "Naziv: Two\r\nTekst: select a\r\nfrom b\r\n \r\n"
                              "Naziv: Sales\r\nTekst: select a\nfrom b\r\r\n \r\n"
                              "Naziv: \r\nTekst: \r\n \r\n");
}
