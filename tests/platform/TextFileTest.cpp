// Text files on disk: CR LF bytes, UTF-8 without a byte order mark, atomic replacement that keeps
// the old file whole on failure, appends, and the numbered errors of each.
#include "platform/TextFile.h"

#include "engine/Error.h"
#include "platform/AtomicFile.h"
#include "support/Errors.h"
#include "support/Files.h"
#include "support/Qt.h"
#include "support/TempDir.h"

#include <QDir>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

using platform::AtomicFile;
using platform::TextFile;
using testsupport::expectError;
using testsupport::names;
using testsupport::q;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// While alive, the process may not make a file larger than `bytes`: writes past it fail as on
// a full disk (the signal that would end the process is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

} // namespace

TEST(TextFile, WritesCrLfLinesInUtf8WithoutAByteOrderMark) {
    EXPECT_EQ(TextFile::encode("a\nb\r\nc\rd\n\n"), QByteArray("a\r\nb\r\nc\r\nd\r\n\r\n"));
    EXPECT_EQ(TextFile::encode("čaša, Ünïcode"), QByteArray("\xc4\x8d"
                                                            "a\xc5\xa1"
                                                            "a, \xc3\x9cn\xc3\xaf"
                                                            "code"));
    EXPECT_EQ(TextFile::encode(""), QByteArray());

    testsupport::TempDir temp;
    TextFile::write(q(temp / "brindle.ini"), "/home/ana/Prodaja, 2024\n~\n");
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/home/ana/Prodaja, 2024\r\n~\r\n");
    EXPECT_EQ(TextFile::read(q(temp / "brindle.ini")), "/home/ana/Prodaja, 2024\r\n~\r\n");

    // Another editor's byte order mark is not read as part of the first line.
    writeFile(temp / "bom.txt", "\xef\xbb\xbf/data\r\n");
    EXPECT_EQ(TextFile::read(q(temp / "bom.txt")), "/data\r\n");
}

TEST(TextFile, AppendsToTheEndAndCreatesTheFileFirst) {
    testsupport::TempDir temp;
    const QString log = q(temp / "sql.txt");
    TextFile::append(log, "first\nselect * from t\n\n");
    TextFile::append(log, "second\r\n");
    EXPECT_EQ(readFile(temp / "sql.txt"), "first\r\nselect * from t\r\n\r\nsecond\r\n");

    expectError(engine::PathNotFound, {}, [&] { TextFile::append(q(temp / "missing" / "sql.txt"), "x"); });
    std::filesystem::create_directory(temp / "folder.txt");
    expectError(engine::PathFileAccess, {"folder.txt"},
                [&] { TextFile::append(q(temp / "folder.txt"), "x"); });
}

TEST(TextFile, ReadingTellsAMissingFileFromAMissingFolder) {
    testsupport::TempDir temp;
    expectError(engine::FileNotFound,
                {"Cannot read " + (temp / "brindle.ini").string() + ": the file does not exist"},
                [&] { TextFile::read(q(temp / "brindle.ini")); });
    expectError(engine::PathNotFound, {}, [&] { TextFile::read(q(temp / "gone" / "brindle.ini")); });
    std::filesystem::create_directory(temp / "dir.ini");
    expectError(engine::PathFileAccess, {}, [&] { TextFile::read(q(temp / "dir.ini")); });
}

TEST(AtomicFile, ReplacesTheWholeFileOrLeavesTheOldOneWhole) {
    testsupport::TempDir temp;
    const QString settings = q(temp / "brindle.ini");
    writeFile(temp / "brindle.ini", "/old/folder\r\n~\r\n");

    AtomicFile::write(settings, "/new\r\n#\r\n");
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/new\r\n#\r\n");
    EXPECT_EQ(names(temp.path()), std::set<std::string>{"brindle.ini"});

    // The volume refuses the new contents halfway: the old file stays as it was and no
    // temporary file is left behind.
    const QByteArray large(64 * 1024, 'x');
    {
        FileSizeLimit limit(4096);
        expectError(engine::PathFileAccess, {"brindle.ini"}, [&] { AtomicFile::write(settings, large); });
    }
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/new\r\n#\r\n");
    EXPECT_EQ(names(temp.path()), std::set<std::string>{"brindle.ini"});

    // A folder where the file should be cannot be replaced; it and its contents stay.
    std::filesystem::create_directory(temp / "sql.txt");
    writeFile(temp / "sql.txt" / "inside", "kept");
    expectError(engine::PathFileAccess, {}, [&] { AtomicFile::write(q(temp / "sql.txt"), "log"); });
    EXPECT_EQ(readFile(temp / "sql.txt" / "inside"), "kept");
    EXPECT_EQ(names(temp.path()), (std::set<std::string>{"brindle.ini", "sql.txt"}));

    // A missing folder is told apart from a file that cannot be written.
    expectError(engine::PathNotFound, {"does not exist"},
                [&] { AtomicFile::write(q(temp / "no" / "brindle.ini"), "x"); });
}
