// I/O failures made to happen at every call of a change, of the repair of an interrupted change and of
// a change of structure: the files always end up as before or as after, nothing is left open, and the
// message names the real cause.
#include "XbaseTestSupport.h"
#include "xbase/Companions.h"
#include "xbase/FileIo.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace xbase;
using testsupport::contains;
using testsupport::Snapshot;
using testsupport::snapshot;
using testsupport::TempDir;

namespace {

struct Outcome {
    int failures = 0; // runs in which the operation reported an error
    int asBefore = 0; // runs that ended with the files as before
    int asAfter = 0;  // ... and as after
};

// Runs `operation` on a fresh copy of `original` once for every counted file call it makes, with that
// call failing: once (a passing fault) or from then on (a disk that died). Afterwards, with the fault
// gone, opening the table must leave the folder exactly as before or exactly as after the operation.
Outcome failEveryCall(const fs::path& original, const std::function<void(const fs::path&)>& operation,
                      bool persistent) {
    TempDir work;
    auto copy = [&](const std::string& name) {
        fs::copy(original, work / name);
        return work / name;
    };
    const Snapshot before = snapshot(original);
    const fs::path done = copy("done");
    io::fault::count();
    operation(done / "t.dbf");
    const std::uint64_t calls = io::fault::calls();
    io::fault::clear();
    const Snapshot after = snapshot(done);
    EXPECT_FALSE(after == before);

    Outcome outcome;
    for (std::uint64_t n = 1; n <= calls; ++n) {
        const fs::path folder = copy("run" + std::to_string(n));
        const std::size_t descriptors = testsupport::openDescriptors();
        if (persistent)
            io::fault::failFrom(n, EIO);
        else
            io::fault::at(n, [](const char*, const fs::path&) { return EIO; });
        try {
            operation(folder / "t.dbf");
        } catch (const Error& e) {
            ++outcome.failures;
            EXPECT_TRUE(contains(e.what(), "Input/output error")) << "call " << n << ": " << e.what();
        }
        io::fault::clear();
        EXPECT_EQ(testsupport::openDescriptors(), descriptors) << "call " << n << " left a file open";
        Table::open(folder / "t.dbf"); // finishes or undoes what was left
        const Snapshot now = snapshot(folder);
        EXPECT_TRUE(now == before || now == after)
            << "failing call " << n << " of " << calls << " left " << testsupport::differences(now, before)
            << "/ " << testsupport::differences(now, after);
        outcome.asBefore += now == before;
        outcome.asAfter += now == after;
        fs::remove_all(folder);
    }
    std::printf("%llu calls failed %s: %d reported, %d as before, %d as after\n",
                static_cast<unsigned long long>(calls), persistent ? "for good" : "once", outcome.failures,
                outcome.asBefore, outcome.asAfter);
    return outcome;
}

void change(const fs::path& path) {
    auto t = Table::open(path, OpenMode::ReadWrite);
    xbasetest::changeTable(*t);
}

void addField(const fs::path& path) {
    restructure(path, {{"ID", 'N', 6, 0}, {"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {"EXTRA", 'N', 5, 0}});
}

} // namespace

TEST(FailureTest, EveryFailingCallOfAChangeLeavesTheFilesAsBeforeOrAsAfter) {
    TempDir dir;
    const fs::path original = dir / "original";
    fs::create_directory(original);
    testsupport::writeNumbered(original / "t.dbf", 40);
    for (const bool persistent : {false, true}) {
        const Outcome o = failEveryCall(original, change, persistent);
        EXPECT_GT(o.failures, 10);
        EXPECT_GT(o.asBefore, 0);
    }
}

TEST(FailureTest, EveryFailingCallOfAChangeOfStructureLeavesTheOldPairOrTheNewOne) {
    TempDir dir;
    const fs::path original = dir / "original";
    fs::create_directory(original);
    testsupport::writeNumbered(original / "t.dbf", 40);
    for (const bool persistent : {false, true}) {
        const Outcome o = failEveryCall(original, addField, persistent);
        EXPECT_GT(o.failures, 10);
        EXPECT_GT(o.asBefore, 0);
        EXPECT_GT(o.asAfter, 0); // failures after the new pair was recorded are finished on the next open
    }
}

namespace {

// Makes `folder` a copy of `original` with half a change in it, its writer gone.
void leaveHalfAChange(const fs::path& original, const fs::path& folder) {
    fs::copy(original, folder);
    ASSERT_TRUE(xbasetest::dieInTheMiddleOfAChange(folder / "t.dbf", 3));
}

} // namespace

TEST(FailureTest, AFailureWhileAnInterruptedChangeIsUndoneIsReportedOnceAndUndoneLater) {
    TempDir dir;
    const fs::path original = dir / "original";
    fs::create_directory(original);
    testsupport::writeNumbered(original / "t.dbf", 40);
    const Snapshot before = snapshot(original);
    // (A journal belongs to its file: a copy of a half-changed folder is another file, so every run
    // makes its own.)
    leaveHalfAChange(original, dir / "count");
    io::fault::count();
    Table::open(dir / "count" / "t.dbf");
    const std::uint64_t calls = io::fault::calls();
    io::fault::clear();
    ASSERT_TRUE(snapshot(dir / "count") == before)
        << testsupport::differences(snapshot(dir / "count"), before);

    int reported = 0;
    for (std::uint64_t n = 1; n <= calls; ++n) {
        const fs::path folder = dir / ("run" + std::to_string(n));
        leaveHalfAChange(original, folder);
        const std::size_t descriptors = testsupport::openDescriptors();
        io::fault::at(n, [](const char*, const fs::path&) { return EIO; });
        try {
            Table::open(folder / "t.dbf");
        } catch (const Error& e) {
            ++reported;
            // Never read as if it were sound: the error says what is pending.
            EXPECT_TRUE(e.kind() == ErrorKind::Interrupted || e.kind() == ErrorKind::Io) << e.what();
            EXPECT_TRUE(contains(e.what(), "Input/output error")) << e.what();
        }
        io::fault::clear();
        EXPECT_EQ(testsupport::openDescriptors(), descriptors) << "call " << n;
        // A writer is not stuck on a lock or a journal the failure left: it repairs, then writes.
        auto t = Table::open(folder / "t.dbf", OpenMode::ReadWrite);
        const Snapshot now = snapshot(folder);
        EXPECT_TRUE(now == before) << "failing call " << n << " of " << calls << ": "
                                   << testsupport::differences(now, before);
        EXPECT_NO_THROW(xbasetest::changeTable(*t)) << "call " << n;
        fs::remove_all(folder);
    }
    std::printf("%llu calls of the repair failed once each: %d reported\n",
                static_cast<unsigned long long>(calls), reported);
    EXPECT_GT(reported, 3);
}

TEST(FailureTest, ShortWritesAreFinishedAndAFullDiskIsNamed) {
    TempDir dir;
    testsupport::writeNumbered(dir / "a.dbf", 40);
    testsupport::writeNumbered(dir / "b.dbf", 40);
    change(dir / "a.dbf");
    // Every read and write moves at most half of what it asked for: the loops finish them.
    io::fault::shortTransfers(true);
    change(dir / "b.dbf");
    io::fault::clear();
    EXPECT_EQ(testsupport::readFile(dir / "a.dbf"), testsupport::readFile(dir / "b.dbf"));
    EXPECT_EQ(testsupport::readFile(dir / "a.dbt"), testsupport::readFile(dir / "b.dbt"));

    // The memo file's disk is full: the message says so, and names the file.
    testsupport::writeNumbered(dir / "c.dbf", 40);
    const Snapshot before = snapshot(dir.path());
    io::fault::always([&](const char* call, const fs::path& path) {
        return std::string(call) == "write" && path.filename() == "c.dbt" ? ENOSPC : 0;
    });
    std::string message;
    try {
        change(dir / "c.dbf");
    } catch (const Error& e) {
        message = e.what();
    }
    io::fault::clear();
    EXPECT_TRUE(contains(message, "No space left on device") && contains(message, "c.dbt")) << message;
    // While the disk stays full the memo file cannot be put back either: the journal stays, and the
    // next open, with room again, puts it back.
    Table::open(dir / "c.dbf");
    EXPECT_TRUE(snapshot(dir.path()) == before) << testsupport::differences(snapshot(dir.path()), before);
}
