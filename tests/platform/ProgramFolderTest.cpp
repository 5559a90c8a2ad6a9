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
