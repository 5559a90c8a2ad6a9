// The settings file: its text both ways, a first start without a file, and a file that cannot be read.
#include "browser/Settings.h"

#include "engine/Error.h"
#include "support/Qt.h"
#include "support/TempDir.h"

#include <QString>
#include <filesystem>
#include <gtest/gtest.h>

using browser::parseSettings;
using browser::Settings;
using browser::SettingsValues;
using testsupport::programFolder;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

TEST(SettingsTest, LinesReadWholeAndQuotesDropped) {
    // A comma belongs to the folder; older files wrote each value in double quotes.
    EXPECT_EQ(parseSettings("/data/a,b\r\n#\r\n"), (SettingsValues{"/data/a,b", "#"}));
    EXPECT_EQ(parseSettings("\"/data/sales\"\r\n\"~\"\r\n"), (SettingsValues{"/data/sales", "~"}));
    EXPECT_EQ(parseSettings("\"C:\\DATA, old\"\r\n\"\"\r\n"), (SettingsValues{"C:\\DATA, old", ""}));
    // Line ends of other editors, a missing second line, an empty file.
    EXPECT_EQ(parseSettings("/data\n$\n"), (SettingsValues{"/data", "$"}));
    EXPECT_EQ(parseSettings("/data"), (SettingsValues{"/data", ""}));
    EXPECT_EQ(parseSettings(""), (SettingsValues{"", ""}));
    // A lone quote is part of the value, and a blank parameter character stays a blank.
    EXPECT_EQ(parseSettings("\"/odd\r\n \r\n"), (SettingsValues{"\"/odd", " "}));
}

TEST(SettingsTest, WrittenFileReadsBackAsWritten) {
    TempDir dir;
    const Settings settings(programFolder(dir));
    settings.write({"/srv/tables, 2024", "~"});
    EXPECT_EQ(readFile(dir / "brindle.ini"), "/srv/tables, 2024\r\n~\r\n");
    EXPECT_EQ(settings.read(), (SettingsValues{"/srv/tables, 2024", "~"}));

    // Rewriting replaces the file, also with an empty parameter character.
    settings.write({"/other", ""});
    EXPECT_EQ(readFile(dir / "brindle.ini"), "/other\r\n\r\n");
    EXPECT_EQ(settings.read(), (SettingsValues{"/other", ""}));
    // Nothing is left behind beside the file.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(SettingsTest, MissingFileIsFirstStartAndUnreadableFileOneError) {
    TempDir dir;
    const Settings settings(programFolder(dir));
    EXPECT_EQ(settings.read(), std::nullopt);

    // A folder where the file should be cannot be read: one error naming the file.
    std::filesystem::create_directory(dir / "brindle.ini");
    int errors = 0;
    try {
        (void)settings.read();
    } catch (const engine::Error& error) {
        ++errors;
        EXPECT_EQ(error.number(), engine::PathFileAccess);
        EXPECT_NE(error.description().find("brindle.ini"), std::string::npos) << error.description();
    }
    EXPECT_EQ(errors, 1);

    // And it cannot be written over either: an error, the folder left alone.
    EXPECT_THROW(settings.write({"/x", "~"}), engine::Error);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "brindle.ini"));
}

} // namespace
