// The program folder as a value: the program's files are found beside the executable or in a
// folder a test chooses.
#include "platform/ProgramFolder.h"

#include "platform/TextFile.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(ProgramFolder, ReadsBackCleanAndItsFilesLandInIt) {
    testsupport::TempDir temp;
    const QString folder = QString::fromStdString(temp.path().string());
    // A path given with a trailing separator and a detour reads back clean.
    const platform::ProgramFolder program(folder + "/sub/../");
    EXPECT_EQ(program.path(), QDir::toNativeSeparators(folder));
    // What is written through its paths lands in that folder.
    platform::TextFile::write(program.settingsFile(), "/data\n~\n");
    EXPECT_EQ(testsupport::readFile(temp / "brindle.ini"), "/data\r\n~\r\n");
}

TEST(ProgramFolder, OfTheExecutableIsTheFolderOfThisTestProgram) {
    int argc = 1;
    char name[] = "platform_ProgramFolderTest";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const platform::ProgramFolder program = platform::ProgramFolder::ofExecutable();
    const QString self = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    EXPECT_EQ(program.file("platform_ProgramFolderTest"), self);
    EXPECT_TRUE(QFileInfo::exists(program.file("platform_ProgramFolderTest")));
    EXPECT_EQ(program, platform::ProgramFolder(QCoreApplication::applicationDirPath()));
}

// An installed program keeps its files in the user's data folder: the empty saved-query table comes from
// the installed one on first start and is the user's from then on; the help text follows the installed.
TEST(ProgramFolder, OfAnInstalledProgramIsTheUsersDataFolderStockedOnFirstStart) {
    testsupport::TempDir temp;
    std::filesystem::create_directories(temp / "share");
    testsupport::writeFile(temp / "share" / "upiti.dbf", "empty table");
    testsupport::writeFile(temp / "share" / "upiti.dbt", "empty memo");
    testsupport::writeFile(temp / "share" / "brHelp.txt", "help, first edition");
    const QString installed = QString::fromStdString((temp / "share").string());
    const QString data = QString::fromStdString((temp / "home" / "data" / "BRINDLE").string());

    const platform::ProgramFolder first = platform::ProgramFolder::forInstalledProgram(installed, data);
    EXPECT_EQ(first.path(), data);
    EXPECT_EQ(testsupport::readFile(temp / "home" / "data" / "BRINDLE" / "upiti.dbf"), "empty table");
    EXPECT_EQ(testsupport::readFile(temp / "home" / "data" / "BRINDLE" / "upiti.dbt"), "empty memo");
    EXPECT_EQ(testsupport::readFile(temp / "home" / "data" / "BRINDLE" / "brHelp.txt"),
              "help, first edition");

    testsupport::writeFile(temp / "home" / "data" / "BRINDLE" / "upiti.dbf", "the user's queries");
    testsupport::writeFile(temp / "share" / "brHelp.txt", "help, second edition, longer");
    platform::ProgramFolder::forInstalledProgram(installed, data);
    EXPECT_EQ(testsupport::readFile(temp / "home" / "data" / "BRINDLE" / "upiti.dbf"), "the user's queries");
    EXPECT_EQ(testsupport::readFile(temp / "home" / "data" / "BRINDLE" / "brHelp.txt"),
              "help, second edition, longer");
}
