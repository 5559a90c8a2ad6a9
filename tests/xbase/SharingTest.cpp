// Two users of one table: writers take turns, readers see a change wholly or not at all, an interrupted
// change is undone by the next reader and never onto another file, and a file changed under a reader
// is reported instead of ending the process. Two Table objects stand for two processes (their locks
// are apart as two processes' are); a forked child dies in the middle of a change.
#include "XbaseTestSupport.h"
#include "xbase/Companions.h"
#include "xbase/FileIo.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace xbase;
using namespace std::chrono_literals;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::TempDir;
using xbasetest::text;

TEST(SharingTest, WritersTakeTurnsAndTheSecondComputesFromTheFirstsCommit) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 10);
    auto a = Table::open(path, OpenMode::ReadWrite, 150ms);
    auto b = Table::open(path, OpenMode::ReadWrite, 150ms);
    {
        Change first(*a);
        auto record = a->blankRecord();
        first.encode(record, 0, std::int64_t{77});
        first.append(std::move(record));
        // The second writer waits a while, then gives up with a message that names the table.
        const auto start = std::chrono::steady_clock::now();
        const Error e = errorOf<Error>([&] { Change second(*b); });
        EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
        EXPECT_EQ(e.kind(), ErrorKind::LockedForWriting) << e.what();
        EXPECT_TRUE(contains(e.what(), "t.dbf") && contains(e.what(), "being changed by another program"))
            << e.what();
        first.commit();
    }
    {
        // Its count is read again under its lock: it appends after the record the first one added.
        Change second(*b);
        EXPECT_EQ(second.recordCount(), 11u);
        auto record = b->blankRecord();
        second.encode(record, 0, std::int64_t{88});
        EXPECT_EQ(second.append(std::move(record)), 11u);
        second.commit();
    }
    auto check = Table::open(path);
    ASSERT_EQ(check->recordCount(), 12u);
    EXPECT_EQ(std::get<std::int64_t>(check->value(10, 0)), 77);
    EXPECT_EQ(std::get<std::int64_t>(check->value(11, 0)), 88);
}

TEST(SharingTest, AReaderSeesAChangeWhollyOrNotAtAll) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 10);
    const std::string before = readFile(path), memoBefore = readFile(dir / "t.dbt");
    auto writer = Table::open(path, OpenMode::ReadWrite, 150ms);
    auto reader = Table::open(path, OpenMode::ReadOnly, 150ms);
    {
        Change change(*writer);
        auto image = change.image(0);
        change.encode(image, 1, std::string("changed"));
        change.encode(image, 2, std::string("its memo goes to the memo file at once"));
        change.put(0, std::move(image));
        change.append(writer->blankRecord());
        {
            const Table::ReadLock reading(*reader);
            EXPECT_EQ(reader->recordCount(), 10u);
            EXPECT_EQ(text(reader->value(0, 1)), "n1");
            EXPECT_EQ(readFile(path), before) << "the table was written before the commit";
            // The writer cannot commit while a reader reads: it waits, gives up, and nothing is written.
            const Error e = errorOf<Error>([&] { change.commit(); });
            EXPECT_EQ(e.kind(), ErrorKind::LockedForWriting) << e.what();
            EXPECT_TRUE(contains(e.what(), "being read by another program")) << e.what();
        }
        change.rollback();
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(readFile(dir / "t.dbt"), memoBefore);
    EXPECT_FALSE(fs::exists(journalPath(path)));

    xbasetest::changeTable(*writer);
    const Table::ReadLock reading(*reader); // reads the header again: the whole change is there
    EXPECT_EQ(reader->recordCount(), 12u);
    EXPECT_EQ(text(reader->value(0, 1)), "changed");
    EXPECT_EQ(text(reader->value(0, 2)), "a new memo for record 1");
    EXPECT_TRUE(reader->isDeleted(1));
}

TEST(SharingTest, AnInterruptedChangeIsUndoneByTheNextReaderButALiveOneIsLeftAlone) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 30);
    const auto before = testsupport::snapshot(dir.path());

    // A live writer's journal: a reader neither undoes it nor waits for it.
    auto writer = Table::open(path, OpenMode::ReadWrite);
    {
        Change change(*writer);
        auto image = change.image(2);
        change.encode(image, 2, std::string("pending"));
        change.put(2, std::move(image));
        ASSERT_TRUE(fs::exists(journalPath(path)));
        auto reader = Table::open(path);
        EXPECT_EQ(text(reader->value(2, 2)), "memo 3");
        EXPECT_TRUE(fs::exists(journalPath(path)));
        change.commit();
    }
    EXPECT_EQ(text(Table::open(path)->value(2, 2)), "pending");
    writer.reset();

    // A dead writer's: the next reader puts the files back and says so.
    fs::remove_all(dir.path());
    fs::create_directory(dir.path());
    testsupport::writeNumbered(path, 30);
    ASSERT_TRUE(xbasetest::dieInTheMiddleOfAChange(path, 2));
    EXPECT_FALSE(testsupport::snapshot(dir.path()) == before);
    auto reader = Table::open(path);
    EXPECT_EQ(testsupport::differences(testsupport::snapshot(dir.path()), before), "");
    ASSERT_FALSE(reader->notableWarnings().empty());
    EXPECT_TRUE(contains(reader->notableWarnings().back(), "interrupted earlier has been undone"));
    EXPECT_EQ(text(reader->value(0, 1)), "n1");
}

TEST(SharingTest, AJournalIsNeverReplayedOntoAnotherFileOfTheSameName) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 30);
    ASSERT_TRUE(xbasetest::dieInTheMiddleOfAChange(path, 2));
    // Another program removes the half-changed table and makes a new one of that name, same fields.
    TempDir elsewhere;
    testsupport::writeNumbered(elsewhere / "t.dbf", 40);
    fs::remove(path);
    fs::remove(dir / "t.dbt");
    fs::copy_file(elsewhere / "t.dbf", path);
    fs::copy_file(elsewhere / "t.dbt", dir / "t.dbt");
    auto expected = testsupport::snapshot(dir.path());
    auto t = Table::open(path);
    // Not applied, not thrown away: put aside, where it keeps nothing from being opened or created.
    expected["t.dbf-journal.orphan"] = expected.at("t.dbf-journal");
    expected.erase("t.dbf-journal");
    EXPECT_EQ(testsupport::differences(testsupport::snapshot(dir.path()), expected), "");
    EXPECT_EQ(t->recordCount(), 40u);
    ASSERT_FALSE(t->notableWarnings().empty());
    EXPECT_TRUE(contains(t->notableWarnings().back(), "another file of the same name") &&
                contains(t->notableWarnings().back(), "t.dbf-journal.orphan"))
        << t->notableWarnings().back();
}

TEST(SharingTest, AnInterruptedChangeThatCannotBeUndoneHereIsRefusedNotReadTorn) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 30);
    const auto before = testsupport::snapshot(dir.path());
    ASSERT_TRUE(xbasetest::dieInTheMiddleOfAChange(path, 2));
    const auto torn = testsupport::snapshot(dir.path());
    // A folder that cannot be written: the table opens for reading only, the repair needs writing.
    io::fault::always([&](const char* call, const fs::path& p) {
        return std::string(call) == "open-write" && p == path ? EROFS : 0;
    });
    const Error e = errorOf<Error>([&] { Table::open(path); });
    io::fault::clear();
    EXPECT_EQ(e.kind(), ErrorKind::Interrupted) << e.what();
    EXPECT_TRUE(contains(e.what(), "t.dbf-journal") && contains(e.what(), "writable")) << e.what();
    EXPECT_EQ(testsupport::differences(testsupport::snapshot(dir.path()), torn), "");
    // Writable again: the next open repairs it.
    Table::open(path);
    EXPECT_EQ(testsupport::differences(testsupport::snapshot(dir.path()), before), "");
}

TEST(SharingTest, AFileCutShortOrReplacedUnderAReaderIsReportedNotACrash) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 3000);
    auto t = Table::open(path);
    const std::uint64_t ten = t->header().headerLength + 10ull * t->header().recordLength;
    const std::uint64_t generation = t->generation();
    {
        const Table::ReadLock reading(*t);
        EXPECT_EQ(text(t->value(2999, 1)), "n3000");
        // Another program cuts the file to ten records while this reader reads (it takes no locks).
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(ten)), 0);
        const Error e = errorOf<Error>([&] { (void)t->value(2990, 1); });
        EXPECT_EQ(e.kind(), ErrorKind::Changed) << e.what();
        EXPECT_TRUE(contains(e.what(), "t.dbf") && contains(e.what(), "changed by another program"))
            << e.what();
        EXPECT_EQ(errorOf<Error>([&] { (void)t->recordBytes(5); }).kind(), ErrorKind::Changed);
    }
    {
        // The next reader reads the header again and sees what is there now.
        const Table::ReadLock reading(*t);
        EXPECT_EQ(t->recordCount(), 10u);
        EXPECT_GT(t->generation(), generation);
        EXPECT_EQ(text(t->value(9, 1)), "n10");
    }
    // Another file renamed over it.
    testsupport::writeNumbered(dir / "other.dbf", 3);
    fs::rename(dir / "other.dbf", path);
    const Error e = errorOf<Error>([&] { const Table::ReadLock reading(*t); });
    EXPECT_EQ(e.kind(), ErrorKind::Changed) << e.what();
    EXPECT_TRUE(contains(e.what(), "another file has taken its place")) << e.what();
    EXPECT_TRUE(t->stale());
    EXPECT_EQ(Table::open(path)->recordCount(), 3u);
}

TEST(SharingTest, IndexesItDoesNotMaintainDamageAndAReadOnlyMemoKeepATableUnchanged) {
    TempDir dir;
    const fs::path path = dir / "t.dbf";
    testsupport::writeNumbered(path, 10);
    auto refusal = [&] {
        auto t = Table::open(path, OpenMode::ReadWrite);
        EXPECT_FALSE(t->canWrite());
        const Error e = errorOf<Error>([&] { Change change(*t); });
        EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
        return std::string(e.what());
    };
    const std::string before = readFile(path);

    testsupport::writeFile(dir / "T.NDX", "an index of dBASE III");
    EXPECT_TRUE(contains(refusal(), "'T.NDX'")) << refusal();
    fs::remove(dir / "T.NDX");
    testsupport::writeFile(dir / "t.inf", "NDX1=BYNAME.NDX\r\nndx2 = byid.ndx\r\n");
    testsupport::writeFile(dir / "byname.ndx", "x");
    testsupport::writeFile(dir / "BYID.NDX", "x");
    const std::string listed = refusal();
    EXPECT_TRUE(contains(listed, "'byname.ndx'") && contains(listed, "'BYID.NDX'")) << listed;
    for (const char* f : {"t.inf", "byname.ndx", "BYID.NDX"})
        fs::remove(dir / f);

    // The header counts more records than the file holds, or fewer than it holds.
    for (const std::uint8_t count : {50, 4}) {
        std::string damaged = before;
        damaged[4] = static_cast<char>(count);
        testsupport::writeFile(path, damaged);
        EXPECT_TRUE(contains(refusal(), "is damaged")) << refusal();
        auto t = Table::open(path);
        ASSERT_FALSE(t->notableWarnings().empty());
        EXPECT_TRUE(contains(t->notableWarnings()[0], count == 50 ? "header counts 50" : "more than the 4"))
            << t->notableWarnings()[0];
        EXPECT_EQ(readFile(path), damaged);
    }
    testsupport::writeFile(path, before);

    io::fault::always([&](const char* call, const fs::path& p) {
        return std::string(call) == "open-write" && p == dir / "t.dbt" ? EACCES : 0;
    });
    const std::string memo = refusal();
    io::fault::clear();
    EXPECT_TRUE(contains(memo, "memo file 't.dbt' is read-only")) << memo;
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(Table::open(path, OpenMode::ReadWrite)->canWrite());
}

TEST(SharingTest, CreateNeverAdoptsTheFilesOfAnotherTable) {
    TempDir dir;
    for (const char* leftover : {"t.dbt", "T.CPG", "t.dbf-journal"}) {
        SCOPED_TRACE(leftover);
        testsupport::writeFile(dir / leftover, "memos of a table that is gone");
        const Error e = errorOf<Error>([&] { Table::create(dir / "t.dbf", {{"NOTE", 'M', 10, 0}}); });
        EXPECT_TRUE(contains(e.what(), leftover)) << e.what();
        EXPECT_FALSE(fs::exists(dir / "t.dbf"));
        EXPECT_EQ(readFile(dir / leftover), "memos of a table that is gone");
        fs::remove(dir / leftover);
    }
    EXPECT_NO_THROW(Table::create(dir / "t.dbf", {{"NOTE", 'M', 10, 0}}));
}
