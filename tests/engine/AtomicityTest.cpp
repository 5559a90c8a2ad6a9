// A statement applies wholly or not at all: statements that fail part way leave every file as it was,
// and a process killed at any moment of a large change leaves each table as before or as after it.
#include "EngineTestSupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using enginetest::one;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::snapshot;
using testsupport::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

// t: ID N(6), NAME C(10), AMOUNT N(10,2), NOTE M; NAME is "n<id>" except where `longName` says.
void writeSmall(const fs::path& path, int records, int longNameAt) {
    testsupport::writeRows(path, {{"ID", 'N', 6}, {"NAME", 'C', 10}, {"AMOUNT", 'N', 10, 2}, {"NOTE", 'M'}},
                           records, [&](int i) {
                               const std::string name = i == longNameAt ? "longname_" : "n";
                               return testsupport::Row{
                                   std::int64_t{i}, name + std::to_string(i % 10), i * 1.25,
                                   i % 3 == 0 ? xbase::Value("memo of " + std::to_string(i)) : xbase::Null{}};
                           });
}

// big: ID N(8) and four C(250) fields, about 1 KB a record, so that an update of every record passes the
// amount of changes the engine keeps in memory and writes part of them before the statement ends.
void writeBig(const fs::path& path, int records, int fullAt) {
    testsupport::writeRows(
        path, {{"ID", 'N', 8}, {"A", 'C', 250}, {"B", 'C', 250}, {"C", 'C', 250}, {"D", 'C', 250}}, records,
        [&](int i) {
            return testsupport::Row{
                std::int64_t{i}, i == fullAt ? std::string(250, 'f') : "a" + std::to_string(i),
                std::string(200, static_cast<char>('a' + i % 26)), "c" + std::to_string(i * 7)};
        });
}

} // namespace

TEST(AtomicityTest, AnUpdateFailingOnItsFiveHundredthRowChangesNoFile) {
    TempDir dir;
    writeSmall(dir / "t.dbf", 1000, 500);
    const auto before = snapshot(dir.path());
    Database db(dir.path());
    Error e = errorOf([&] {
        db.execute(
            "update t set amount = amount + 1, name = name & 'xxxx', note = 'changed ' & id & ' ' & note");
    });
    EXPECT_EQ(e.number(), engine::FieldTooSmall) << e.what();
    EXPECT_TRUE(contains(e.what(), "NAME")) << e.what();
    EXPECT_EQ(testsupport::differences(before, snapshot(dir.path())), "");
    EXPECT_TRUE(snapshot(dir.path()) == before);

    // A failure inside an expression of the 500th row: the same.
    e = errorOf([&] { db.execute("update t set amount = CInt(IIf(id = 500, 'abc', '7')), note = 'x'"); });
    EXPECT_GT(e.number(), 0) << e.what();
    EXPECT_EQ(testsupport::differences(before, snapshot(dir.path())), "");
    // A delete that fails part way (the WHERE clause fails on the 500th row).
    e = errorOf([&] { db.execute("delete from t where CInt(IIf(id = 500, 'abc', '1')) = 1"); });
    EXPECT_GT(e.number(), 0) << e.what();
    EXPECT_EQ(testsupport::differences(before, snapshot(dir.path())), "");

    // The table still works, and a good statement applies wholly.
    EXPECT_EQ(db.execute("update t set amount = amount + 1, note = 'n' & id where id <> 500"), 999);
    EXPECT_EQ(one(db, "select sum(amount) from t"), "626624");
    const auto dump = testsupport::dbfread(dir / "t.dbf");
    ASSERT_EQ(dump.records.size(), 1000u);
    EXPECT_EQ(dump.records[0][3].text, "n1");
    EXPECT_EQ(dump.records[998][3].text, "n999");
    EXPECT_EQ(dump.records[499][3].text, ""); // 500 % 3 != 0: no memo, and the update left it alone
}

TEST(AtomicityTest, AFailureAfterPartOfTheChangeWasWrittenIsUndone) {
    TempDir dir;
    // 20000 records of about 1 KB: by record 19000 the engine has written changes into the table.
    writeBig(dir / "big.dbf", 20000, 19000);
    const auto before = snapshot(dir.path());
    {
        Database db(dir.path());
        const Error e = errorOf([&] { db.execute("update big set a = a & 'y', c = 'z' & c"); });
        EXPECT_EQ(e.number(), engine::FieldTooSmall) << e.what();
        EXPECT_TRUE(contains(e.what(), "A")) << e.what();
        EXPECT_EQ(testsupport::differences(before, snapshot(dir.path())), "");
        EXPECT_EQ(one(db, "select count(*) from big where c like 'z*'"), "0");
    }
    EXPECT_TRUE(snapshot(dir.path()) == before);
}

TEST(AtomicityTest, AnInsertSelectFailingMidwayChangesNoFile) {
    TempDir dir;
    writeSmall(dir / "src.dbf", 1000, 600);
    writeSmall(dir / "dst.dbf", 10, 0);
    const auto before = snapshot(dir.path());
    Database db(dir.path());
    const Error e = errorOf(
        [&] { db.execute("insert into dst (id, name, note) select id, name & 'x', 'new ' & id from src"); });
    EXPECT_EQ(e.number(), engine::FieldTooSmall) << e.what();
    EXPECT_EQ(testsupport::differences(before, snapshot(dir.path())), "");
    EXPECT_EQ(one(db, "select count(*) from dst"), "10");
    // And with a good row set it applies wholly.
    EXPECT_EQ(
        db.execute("insert into dst (id, name, note) select id, name, 'new ' & id from src where id <> 600"),
        999);
    const auto dump = testsupport::dbfread(dir / "dst.dbf");
    ASSERT_EQ(dump.records.size(), 1009u);
    EXPECT_EQ(dump.records[1008][3].text, "new 1000");
}

namespace {

// Kills a child at moments spread over the statement's run, many times; after each kill the table,
// opened again, must equal the state before the statement or the state after it.
void killedManyTimes(const std::function<void(const fs::path&)>& makeTables, const std::string& statement,
                     const std::vector<std::string>& files, int runs) {
    TempDir work;
    const fs::path original = work / "original";
    fs::create_directory(original);
    makeTables(original);
    auto contents = [&](const fs::path& folder) {
        std::vector<std::string> out;
        for (const auto& f : files)
            out.push_back(readFile(folder / f));
        return out;
    };
    const auto before = contents(original);

    // The state after it, and how long the whole child takes when left alone.
    const fs::path done = work / "done";
    fs::copy(original, done);
    const auto start = Clock::now();
    ASSERT_EQ(testsupport::exitCode(enginetest::runInChild(done, {statement})), 0)
        << "the statement fails when not killed";
    const auto duration = Clock::now() - start;
    const auto after = contents(done);
    ASSERT_NE(after, before);

    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(0, 1);
    int asBefore = 0, asAfter = 0, journaled = 0;
    for (int run = 0; run < runs; ++run) {
        const fs::path folder = work / ("run" + std::to_string(run));
        fs::copy(original, folder);
        const auto delay =
            std::chrono::duration_cast<Clock::duration>(duration * ((run + jitter(random)) / runs));
        const pid_t pid = enginetest::runInChild(folder, {statement});
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
        testsupport::exitCode(pid);
        for (const auto& entry : fs::directory_iterator(folder))
            journaled += contains(entry.path().filename().string(), "journal");
        {
            Database db(folder); // opening the table rolls an unfinished change back
            for (const auto& f : files)
                if (fs::path(f).extension() == ".dbf") one(db, "select count(*) from [" + f + "]");
        }
        const auto now = contents(folder);
        SCOPED_TRACE("run " + std::to_string(run) + ", killed after " +
                     std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(delay).count()) +
                     " ms, seed " + std::to_string(seed));
        EXPECT_TRUE(now == before || now == after);
        asBefore += now == before;
        asAfter += now == after;
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_FALSE(contains(entry.path().filename().string(), "journal")) << entry.path();
        fs::remove_all(folder);
    }
    std::printf(
        "%d runs over %lld ms: %d as before, %d as after, %d journals left by a kill\n", runs,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()),
        asBefore, asAfter, journaled);
    // Kills that landed in the middle of the change, or the test proved nothing.
    EXPECT_GT(journaled, 0);
}

} // namespace

TEST(AtomicityTest, AKilledUpdateLeavesTheTableAsBeforeOrAsAfter) {
    killedManyTimes([](const fs::path& folder) { writeBig(folder / "big.dbf", 20000, 0); },
                    "update big set a = a & 'y', c = 'z' & c, id = id + 1", {"big.dbf"}, 30);
}

TEST(AtomicityTest, AKilledInsertSelectLeavesTheTableAsBeforeOrAsAfter) {
    killedManyTimes(
        [](const fs::path& folder) {
            writeSmall(folder / "src.dbf", 20000, 0);
            writeSmall(folder / "dst.dbf", 5, 0);
        },
        "insert into dst (id, name, amount, note) select id, name, amount, IIf(id Mod 3 = 0, 'copied ' & id, "
        "Null) "
        "from src",
        {"dst.dbf", "dst.dbt"}, 20);
}
