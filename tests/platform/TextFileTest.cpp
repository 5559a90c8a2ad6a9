// Text files on disk: CR LF bytes, UTF-8 without a byte order mark, atomic replacement that keeps
// the old file whole on failure, appends, and the numbered errors of each.
#include "platform/TextFile.h"

#include "engine/Error.h"
#include "platform/AtomicFile.h"
#include "support/TempDir.h"

#include <QDir>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

using platform::AtomicFile;
using platform::TextFile;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::vector<std::string> entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `call`, which must throw the engine's error with `number`; returns its description.
template <class F> std::string errorOf(int number, F call) {
    try {
        call();
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), number) << e.what();
        return e.description();
    }
    ADD_FAILURE() << "no error " << number;
    return {};
}

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
    TextFile::write(qpath(temp / "brindle.ini"), "/home/ana/Prodaja, 2024\n~\n");
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/home/ana/Prodaja, 2024\r\n~\r\n");
    EXPECT_EQ(TextFile::read(qpath(temp / "brindle.ini")), "/home/ana/Prodaja, 2024\r\n~\r\n");

    // Another editor's byte order mark is not read as part of the first line.
    writeFile(temp / "bom.txt", "\xef\xbb\xbf/data\r\n");
    EXPECT_EQ(TextFile::read(qpath(temp / "bom.txt")), "/data\r\n");
}

TEST(TextFile, AppendsToTheEndAndCreatesTheFileFirst) {
    testsupport::TempDir temp;
    const QString log = qpath(temp / "sql.txt");
    TextFile::append(log, "first\nselect * from t\n\n");
    TextFile::append(log, "second\r\n");
    EXPECT_EQ(readFile(temp / "sql.txt"), "first\r\nselect * from t\r\n\r\nsecond\r\n");

    errorOf(engine::PathNotFound, [&] { TextFile::append(qpath(temp / "missing" / "sql.txt"), "x"); });
    std::filesystem::create_directory(temp / "folder.txt");
    const std::string description =
        errorOf(engine::PathFileAccess, [&] { TextFile::append(qpath(temp / "folder.txt"), "x"); });
    EXPECT_NE(description.find("folder.txt"), std::string::npos) << description;
}

TEST(TextFile, ReadingTellsAMissingFileFromAMissingFolder) {
    testsupport::TempDir temp;
    const std::string missingFile =
        errorOf(engine::FileNotFound, [&] { TextFile::read(qpath(temp / "brindle.ini")); });
    EXPECT_EQ(missingFile, "Cannot read " + (temp / "brindle.ini").string() + ": the file does not exist");
    errorOf(engine::PathNotFound, [&] { TextFile::read(qpath(temp / "gone" / "brindle.ini")); });
    std::filesystem::create_directory(temp / "dir.ini");
    errorOf(engine::PathFileAccess, [&] { TextFile::read(qpath(temp / "dir.ini")); });
}

TEST(AtomicFile, ReplacesTheWholeFileOrLeavesTheOldOneWhole) {
    testsupport::TempDir temp;
    const QString settings = qpath(temp / "brindle.ini");
    writeFile(temp / "brindle.ini", "/old/folder\r\n~\r\n");

    AtomicFile::write(settings, "/new\r\n#\r\n");
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/new\r\n#\r\n");
    EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"brindle.ini"});

    // The volume refuses the new contents halfway: the old file stays as it was and no
    // temporary file is left behind.
    const QByteArray large(64 * 1024, 'x');
    {
        FileSizeLimit limit(4096);
        const std::string description =
            errorOf(engine::PathFileAccess, [&] { AtomicFile::write(settings, large); });
        EXPECT_NE(description.find("brindle.ini"), std::string::npos) << description;
    }
    EXPECT_EQ(readFile(temp / "brindle.ini"), "/new\r\n#\r\n");
    EXPECT_EQ(entries(temp.path()), std::vector<std::string>{"brindle.ini"});

    // A folder where the file should be cannot be replaced; it and its contents stay.
    std::filesystem::create_directory(temp / "sql.txt");
    writeFile(temp / "sql.txt" / "inside", "kept");
    errorOf(engine::PathFileAccess, [&] { AtomicFile::write(qpath(temp / "sql.txt"), "log"); });
    EXPECT_EQ(readFile(temp / "sql.txt" / "inside"), "kept");
    EXPECT_EQ(entries(temp.path()), (std::vector<std::string>{"brindle.ini", "sql.txt"}));

    // A missing folder is told apart from a file that cannot be written.
    const std::string missing =
        errorOf(engine::PathNotFound, [&] { AtomicFile::write(qpath(temp / "no" / "brindle.ini"), "x"); });
    EXPECT_NE(missing.find("does not exist"), std::string::npos) << missing;
}
