// Several processes on one folder at once: writers lose nothing of each other, readers never see a
// statement half applied, a writer killed while another waits leaves the other's change whole, and a
// writer kept waiting too long gets a message that names the table.
#include "EngineTestSupport.h"
#include "xbase/Change.h"
#include "xbase/FileIo.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using engine::Database;
using engine::Error;
using enginetest::one;
using enginetest::runInChild;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::exitCode;
using testsupport::TempDir;
using testsupport::writeCounters;

// Tables of counters with a PAD C(200) each: about 220 bytes a record.
constexpr int kPad = 200;

TEST(ConcurrencyTest, TwoProcessesUpdatingTheSameRecordsLoseNothing) {
    TempDir dir;
    writeCounters(dir / "t.dbf", 20000, kPad);
    const int rounds = 10;
    for (int round = 0; round < rounds; ++round) {
        const pid_t a = runInChild(dir.path(), {"update t set n = n + 1"});
        const pid_t b = runInChild(dir.path(), {"update t set n = n + 1"});
        ASSERT_EQ(exitCode(a), 0) << "round " << round;
        ASSERT_EQ(exitCode(b), 0) << "round " << round;
    }
    Database db(dir.path());
    EXPECT_EQ(one(db, "select min(n) & '/' & max(n) & '/' & count(*) from t"), "20/20/20000");
    EXPECT_FALSE(fs::exists(dir / "t.dbf-journal"));
}

TEST(ConcurrencyTest, TwoProcessesAppendingKeepEveryRow) {
    TempDir dir;
    writeCounters(dir / "src.dbf", 5000, kPad);
    writeCounters(dir / "t.dbf", 3, kPad);
    const int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        const pid_t a = runInChild(dir.path(), {"insert into t select * from src"});
        const pid_t b = runInChild(dir.path(), {"insert into t select id, n + 1, pad from src"});
        ASSERT_EQ(exitCode(a), 0);
        ASSERT_EQ(exitCode(b), 0);
    }
    Database db(dir.path());
    EXPECT_EQ(one(db, "select count(*) from t"), std::to_string(3 + 2 * rounds * 5000));
    EXPECT_EQ(one(db, "select count(*) from t where n = 1"), std::to_string(rounds * 5000));
    // Every appended record is whole: the ids of each batch are all there.
    EXPECT_EQ(one(db, "select sum(id) from t"), std::to_string(6 + 2 * rounds * (5000LL * 5001 / 2)));
}

TEST(ConcurrencyTest, AReaderNeverSeesAStatementHalfAppliedNorRowsThatAreRolledBack) {
    TempDir dir;
    // About 220 bytes a record: an update of all of them passes what a change keeps in memory, so part
    // of it is written before the statement ends.
    writeCounters(dir / "t.dbf", 100000, kPad);
    writeCounters(dir / "src.dbf", 5000, kPad);
    const pid_t updates = runInChild(dir.path(), std::vector<std::string>(6, "update t set n = n + 1"));
    Database db(dir.path(), {.lockWait = 20s});
    int reads = 0, distinct = 0;
    std::string last;
    for (int status = 0; ::waitpid(updates, &status, WNOHANG) == 0; ++reads) {
        const auto row = enginetest::query(db, "select min(n), max(n), count(*) from t")[0];
        EXPECT_EQ(row[0], row[1]) << "a reader saw half an update";
        EXPECT_EQ(row[2], "100000");
        distinct += row[0] != last;
        last = row[0];
    }
    EXPECT_EQ(one(db, "select min(n) & '/' & max(n) from t"), "6/6");
    std::printf("%d reads during 6 updates of 100000 records, %d states seen\n", reads, distinct);
    EXPECT_GT(reads, 3);

    // An insert of 5000 records that fails on its last one, again and again: no reader counts any of them.
    const pid_t inserts = testsupport::forkChild([&] {
        Database writer(dir.path(), {.lockWait = 20s});
        for (int i = 0; i < 8; ++i) {
            try {
                writer.execute(
                    "insert into t (id, n, pad) select id, CLng(IIf(id = 5000, 'x', n)), pad from src");
            } catch (const Error&) {
            }
        }
        return 0;
    });
    reads = 0;
    for (int status = 0; ::waitpid(inserts, &status, WNOHANG) == 0; ++reads)
        EXPECT_EQ(one(db, "select count(*) from t"), "100000")
            << "a reader counted rows that were rolled back";
    EXPECT_EQ(one(db, "select count(*) from t"), "100000");
    std::printf("%d reads during 8 failing inserts\n", reads);
}

TEST(ConcurrencyTest, AWriterKilledWhileAnotherWaitsLeavesTheOthersChangeWhole) {
    TempDir dir;
    writeCounters(dir / "t.dbf", 2000, kPad);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    // The first writer stops for good in the middle of writing its change, holding the table.
    const pid_t stuck = testsupport::forkChild([&] {
        int writes = 0;
        xbase::io::fault::always([&](const char* call, const fs::path& path) {
            if (std::string(call) == "write" && path.filename() == "t.dbf" && ++writes == 5) {
                const char c = 'w';
                (void)!::write(ready[1], &c, 1);
                ::pause();
            }
            return 0;
        });
        Database db(dir.path());
        db.execute("update t set n = n + 100");
        return 0;
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    // A second writer waits for it...
    const pid_t waiting = runInChild(dir.path(), {"update t set n = n + 1"});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(::waitpid(waiting, nullptr, WNOHANG), 0) << "the second writer did not wait";
    // ... and when the first is killed, undoes what it left and makes its own change.
    ::kill(stuck, SIGKILL);
    EXPECT_EQ(exitCode(stuck), 100 + SIGKILL);
    EXPECT_EQ(exitCode(waiting), 0);
    Database db(dir.path());
    EXPECT_EQ(one(db, "select min(n) & '/' & max(n) from t"), "1/1");
    EXPECT_FALSE(fs::exists(dir / "t.dbf-journal"));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(ConcurrencyTest, AWriterKeptWaitingGivesUpWithAMessageThatNamesTheTable) {
    TempDir dir;
    writeCounters(dir / "orders.dbf", 10, kPad);
    const auto before = testsupport::snapshot(dir.path());
    // Another program holds the table for a change it has not committed.
    auto other = xbase::Table::open(dir / "orders.dbf", xbase::OpenMode::ReadWrite);
    auto change = std::make_unique<xbase::Change>(*other);
    Database db(dir.path(), {.lockWait = 300ms});
    const auto start = std::chrono::steady_clock::now();
    const Error e = errorOf([&] { db.execute("update orders set n = 5"); });
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(e.number(), engine::CouldNotUpdateLocked) << e.what();
    EXPECT_TRUE(contains(e.what(), "Could not update; currently locked") &&
                contains(e.what(), "orders.dbf") && contains(e.what(), "being changed by another program"))
        << e.what();
    // Readers are not kept waiting by a change that is only being prepared.
    EXPECT_EQ(one(db, "select count(*) from orders"), "10");
    change.reset();
    EXPECT_EQ(testsupport::snapshot(dir.path()), before);
    EXPECT_EQ(db.execute("update orders set n = 5"), 10);
}

TEST(ConcurrencyTest, ATableCutShortOrReplacedUnderAResultIsReportedAndReadAfreshNext) {
    TempDir dir;
    writeCounters(dir / "t.dbf", 3000, kPad);
    Database db(dir.path());
    auto rs = db.openRecordset("t");
    ASSERT_TRUE(rs->fetch(2999));
    EXPECT_EQ(enginetest::show(rs->valueAt(2999, 0)), "3000");
    // Another program packs the table down to ten records.
    auto small = xbase::Table::open(dir / "t.dbf");
    const auto keep = small->header().headerLength + 10ull * small->header().recordLength;
    small.reset();
    ASSERT_EQ(::truncate((dir / "t.dbf").c_str(), static_cast<off_t>(keep)), 0);
    const Error e = errorOf([&] { (void)rs->valueAt(2500, 0); });
    EXPECT_EQ(e.number(), engine::DataChanged) << e.what();
    EXPECT_TRUE(contains(e.what(), "changed by another program")) << e.what();
    rs.reset();
    EXPECT_EQ(one(db, "select count(*) from t"), "10");
    // Replaced by a file of another structure.
    testsupport::writeTable(dir / "new.tmp", {{"CITY", 'C', 10, 0}}, {{std::string("Lyon")}});
    fs::rename(dir / "new.tmp", dir / "t.dbf");
    EXPECT_EQ(one(db, "select city from t"), "Lyon");
}
