// A process killed at any moment of a change of structure or of DROP TABLE: the table and its memo
// file stay a matching pair (the old one or the new one), and a dropped table never loses its memo
// file while it is still there. Kills land before every file call the operation makes, and at random
// moments of a long one.
#include "XbaseTestSupport.h"
#include "xbase/FileIo.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace xbase;
using testsupport::Snapshot;
using testsupport::snapshot;
using testsupport::TempDir;

namespace {

using Operation = std::function<void(const fs::path&)>;

// Runs the operation in a child process that dies just before its nth file call (0: never).
int runKilledAt(const fs::path& table, const Operation& operation, std::uint64_t n) {
    return testsupport::exitCode(testsupport::forkChild([&] {
        if (n > 0) io::fault::at(n, [](const char*, const fs::path&) -> int { ::_exit(9); });
        operation(table);
        return 0;
    }));
}

struct Result {
    std::uint64_t calls = 0;
    int asBefore = 0;
    int asAfter = 0;
};

// After each kill the folder is opened again (which finishes or undoes what was left); `judge` then
// says whether what is there is allowed.
Result killAtEveryCall(
    int records, const Operation& operation,
    const std::function<bool(const Snapshot& now, const Snapshot& before, const Snapshot& after)>& judge) {
    TempDir work;
    const fs::path original = work / "original";
    fs::create_directory(original);
    testsupport::writeNumbered(original / "t.dbf", records);
    const Snapshot before = snapshot(original);
    fs::copy(original, work / "done");
    io::fault::count();
    operation(work / "done" / "t.dbf");
    Result result;
    result.calls = io::fault::calls();
    io::fault::clear();
    const Snapshot after = snapshot(work / "done");

    for (std::uint64_t n = 1; n <= result.calls; ++n) {
        const fs::path folder = work / ("run" + std::to_string(n));
        fs::copy(original, folder);
        EXPECT_EQ(runKilledAt(folder / "t.dbf", operation, n), 9) << "call " << n << " was not reached";
        if (fs::exists(folder / "t.dbf")) Table::open(folder / "t.dbf", OpenMode::ReadWrite);
        const Snapshot now = snapshot(folder);
        EXPECT_TRUE(judge(now, before, after))
            << "killed before call " << n << " of " << result.calls << ": "
            << testsupport::differences(now, before) << "/ " << testsupport::differences(now, after);
        result.asBefore += now == before;
        result.asAfter += now == after;
        fs::remove_all(folder);
    }
    return result;
}

bool asBeforeOrAfter(const Snapshot& now, const Snapshot& before, const Snapshot& after) {
    return now == before || now == after;
}

Operation restructureTo(std::vector<FieldSpec> fields) {
    return [fields](const fs::path& path) { restructure(path, fields); };
}

} // namespace

TEST(CrashTest, AlterKilledAtEveryCallLeavesTheOldPairOrTheNewOne) {
    const Operation add =
        restructureTo({{"ID", 'N', 6, 0}, {"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {"X", 'C', 4, 0}});
    const Operation drop = restructureTo({{"ID", 'N', 6, 0}, {"NOTE", 'M', 10, 0}});
    const Operation dropMemo = restructureTo({{"ID", 'N', 6, 0}, {"NAME", 'C', 10, 0}});
    for (const auto& [name, operation] : std::vector<std::pair<std::string, Operation>>{
             {"add", add}, {"drop", drop}, {"drop the memo", dropMemo}}) {
        SCOPED_TRACE(name);
        const Result r = killAtEveryCall(60, operation, asBeforeOrAfter);
        std::printf("alter (%s) killed before each of its %llu file calls: %d as before, %d as after\n",
                    name.c_str(), static_cast<unsigned long long>(r.calls), r.asBefore, r.asAfter);
        EXPECT_GT(r.asBefore, 0);
        EXPECT_GT(r.asAfter, 0);
    }
}

TEST(CrashTest, DropTableKilledAtEveryCallNeverLeavesATableWithoutItsMemo) {
    const Result r = killAtEveryCall(
        20, [](const fs::path& path) { dropTable(path); },
        [](const Snapshot& now, const Snapshot& before, const Snapshot&) {
            return now == before || !now.count("t.dbf"); // leftovers of a dropped table are harmless
        });
    std::printf("drop table killed before each of its %llu file calls: %d as before\n",
                static_cast<unsigned long long>(r.calls), r.asBefore);
    EXPECT_GT(r.calls, 2u);
}

TEST(CrashTest, AlterOfABigTableKilledAtRandomMomentsLeavesAMatchingPair) {
    TempDir work;
    const fs::path original = work / "original";
    fs::create_directory(original);
    testsupport::writeNumbered(original / "t.dbf", 20000);
    const Operation add =
        restructureTo({{"ID", 'N', 6, 0}, {"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {"X", 'C', 4, 0}});
    const Snapshot before = snapshot(original);
    fs::copy(original, work / "done");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runKilledAt(work / "done" / "t.dbf", add, 0), 0);
    const auto duration = std::chrono::steady_clock::now() - start;
    const Snapshot after = snapshot(work / "done");

    std::mt19937 random(std::random_device{}());
    std::uniform_real_distribution<double> jitter(0, 1);
    const int runs = 20;
    int asBefore = 0, asAfter = 0;
    for (int run = 0; run < runs; ++run) {
        const fs::path folder = work / ("run" + std::to_string(run));
        fs::copy(original, folder);
        const pid_t child = testsupport::forkChild([&] {
            add(folder / "t.dbf");
            return 0;
        });
        std::this_thread::sleep_for(duration * ((run + jitter(random)) / runs));
        ::kill(child, SIGKILL);
        testsupport::exitCode(child);
        Table::open(folder / "t.dbf", OpenMode::ReadWrite);
        const Snapshot now = snapshot(folder);
        EXPECT_TRUE(now == before || now == after)
            << "run " << run << ": " << testsupport::differences(now, before);
        asBefore += now == before;
        asAfter += now == after;
        fs::remove_all(folder);
    }
    std::printf(
        "alter of 20000 records (%lld ms) killed %d times: %d as before, %d as after\n",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()), runs,
        asBefore, asAfter);
}
