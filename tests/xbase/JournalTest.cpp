// A finished change stays; one a killed process left unfinished is undone when the table is next opened.
#include "xbase/Journal.h"

#include "support/Children.h"
#include "support/TempDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace xbase;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// Changes records in place, deletes one, appends two with memo text: every kind of write.
void change(Table& t, Journal& j) {
    for (std::uint32_t r : {0u, 5u}) {
        const auto old = t.recordBytes(r);
        j.saveRecord(r, old);
    }
    j.sync();
    auto record = std::vector<std::uint8_t>(t.recordBytes(0).begin(), t.recordBytes(0).end());
    t.encode(record, 6, std::string("Changed name"));
    t.encode(record, 11, std::string("A new memo that goes to the end of the memo file"));
    t.writeRecord(0, record);
    t.setDeleted(5, true);
    t.appendRecord(record);
    t.appendRecord(t.blankRecord());
    t.sync();
}

} // namespace

TEST(Journal, FinishedChangeStaysAndProcessKilledMidChangeIsUndone) {
    TempDir dir;
    const auto path = dir.copyFixture("dbf-gem/dbase_83.dbf");
    {
        auto t = Table::open(path, OpenMode::ReadWrite);
        auto j = Journal::begin(*t);
        change(*t, *j);
        j->commit();
    }
    auto after = Table::open(path);
    EXPECT_EQ(after->recordCount(), 69u);
    EXPECT_EQ(std::get<std::string>(after->value(0, 6)), "Changed name");
    EXPECT_TRUE(after->isDeleted(5));
    after.reset();

    // A child process killed while it rewrites every record: the table comes back whole.
    const std::string before = readFile(path);
    for (int delayMicros : {0, 500, 2000, 5000, 10000, 20000, 50000, 200000}) {
        const pid_t child = testsupport::forkChild([&] {
            auto t = Table::open(path, OpenMode::ReadWrite);
            auto j = Journal::begin(*t);
            for (std::uint32_t r = 0; r < t->recordCount(); ++r)
                j->saveRecord(r, t->recordBytes(r));
            j->sync();
            for (int round = 0; round < 20; ++round) {
                for (std::uint32_t r = 0; r < 67; ++r) {
                    auto record =
                        std::vector<std::uint8_t>(t->recordBytes(r).begin(), t->recordBytes(r).end());
                    t->encode(record, 6, std::string("round ") + std::to_string(round));
                    t->encode(record, 11, std::string("memo of round ") + std::to_string(round));
                    t->writeRecord(r, record);
                }
                t->appendRecord(t->blankRecord());
                t->sync();
            }
            pause(); // the change stays unfinished: the parent kills us somewhere in it
            return 0;
        });
        ASSERT_GT(child, 0);
        usleep(static_cast<useconds_t>(delayMicros));
        kill(child, SIGKILL);
        testsupport::exitCode(child);
        auto t = Table::open(path);
        EXPECT_EQ(readFile(path), before) << "killed after " << delayMicros << " us";
    }
}
