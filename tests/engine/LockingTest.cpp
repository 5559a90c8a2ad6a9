// Who may use a folder's tables: exclusive opens against recordsets of this process and of another,
// and databases opened for reading only.
#include "EngineTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using enginetest::one;
using testsupport::contains;
using testsupport::errorOf;
using testsupport::TempDir;

namespace {

void writeTables(const TempDir& dir) {
    testsupport::writeTable(dir / "orders.dbf", {{"ID", 'N', 5, 0}, {"NAME", 'C', 10, 0}},
                            {{std::int64_t{1}, std::string("one")}, {std::int64_t{2}, std::string("two")}});
    testsupport::writeTable(dir / "items.dbf", {{"ITEM", 'C', 10, 0}}, {{std::string("pen")}});
}

// A child process that opens a recordset on a table of the folder and holds it until told to end.
class Holder {
public:
    Holder(const fs::path& folder, const std::string& source) {
        int ready[2], done[2];
        if (::pipe(ready) != 0 || ::pipe(done) != 0) throw std::runtime_error("pipe");
        m_pid = testsupport::forkChild([&] {
            ::close(ready[0]);
            ::close(done[1]);
            Database db(folder);
            auto rs = db.openRecordset(source);
            (void)!::write(ready[1], "r", 1);
            char c;
            (void)!::read(done[0], &c, 1); // until the parent closes its end
            return 0;
        });
        ::close(ready[1]);
        ::close(done[0]);
        m_done = done[1];
        char status = 0;
        m_ready = ::read(ready[0], &status, 1) == 1; // nothing when the child failed
        ::close(ready[0]);
    }
    ~Holder() { release(); }
    bool holding() const { return m_ready; }
    void release() {
        if (m_done >= 0) ::close(m_done);
        m_done = -1;
        if (m_pid > 0) testsupport::exitCode(m_pid);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_done = -1;
    bool m_ready = false;
};

} // namespace

TEST(LockingTest, ExclusiveOpenWaitsForTheRecordsetsOfThisProcess) {
    TempDir dir;
    writeTables(dir);
    {
        // Merely open databases do not block.
        Database a(dir.path());
        Database b(dir.path());
        Database exclusive(dir.path(), {.exclusive = true});
    }
    Database user(dir.path());
    auto rs = user.openRecordset("select * from orders where id = 2");
    ASSERT_EQ(rs->value("NAME"), engine::Value(std::string("two")));

    Error e = errorOf([&] { Database exclusive(dir.path(), {.exclusive = true}); });
    EXPECT_EQ(e.number(), engine::FolderInUse) << e.what();
    EXPECT_TRUE(contains(e.what(), dir.path().string()) && contains(e.what(), "orders")) << e.what();

    rs->close();
    {
        Database exclusive(dir.path(), {.exclusive = true});
        // While it is open, the others cannot use the tables.
        e = errorOf([&] { user.openRecordset("orders"); });
        EXPECT_EQ(e.number(), engine::TableExclusivelyLocked) << e.what();
        e = errorOf([&] { user.execute("update items set item = 'ink'"); });
        EXPECT_EQ(e.number(), engine::TableExclusivelyLocked) << e.what();
        e = errorOf([&] { Database second(dir.path(), {.exclusive = true}); });
        EXPECT_EQ(e.number(), engine::FolderInUse) << e.what();
        // The exclusive database itself reads and writes.
        EXPECT_EQ(exclusive.execute("update items set item = 'ink'"), 1);
        auto own = exclusive.openRecordset("items");
        EXPECT_EQ(enginetest::show(own->value("ITEM")), "ink");
    }
    EXPECT_EQ(one(user, "select item from items"), "ink");

    // A recordset destroyed without close() releases its table too; so does one on a table by name.
    auto byName = user.openRecordset("items");
    e = errorOf([&] { Database exclusive(dir.path(), {.exclusive = true}); });
    EXPECT_EQ(e.number(), engine::FolderInUse) << e.what();
    EXPECT_TRUE(contains(e.what(), "items")) << e.what();
    byName.reset();
    rs.reset();
    EXPECT_EQ(errorOf([&] { Database exclusive(dir.path(), {.exclusive = true}); }).number(), -1);
}

TEST(LockingTest, ExclusiveOpenWaitsForTheRecordsetsOfAnotherProcess) {
    TempDir dir;
    writeTables(dir);
    Holder holder(dir.path(), "select * from items");
    ASSERT_TRUE(holder.holding());
    const Error e = errorOf([&] { Database exclusive(dir.path(), {.exclusive = true}); });
    EXPECT_EQ(e.number(), engine::FolderInUse) << e.what();
    EXPECT_TRUE(contains(e.what(), "items")) << e.what();
    // Sharing is fine meanwhile.
    Database shared(dir.path());
    EXPECT_EQ(one(shared, "select count(*) from items"), "1");
    EXPECT_EQ(shared.execute("update orders set name = 'uno' where id = 1"), 1);
    // A structural change of the held table waits too.
    const Error drop = errorOf([&] { shared.execute("drop table items"); });
    EXPECT_EQ(drop.number(), engine::TableExclusivelyLocked) << drop.what();
    EXPECT_TRUE(fs::exists(dir / "items.dbf"));

    holder.release();
    EXPECT_EQ(errorOf([&] { Database exclusive(dir.path(), {.exclusive = true}); }).number(), -1);
}

TEST(LockingTest, ReadOnlyDatabaseRefusesEveryChange) {
    TempDir dir;
    writeTables(dir);
    const auto before = testsupport::snapshot(dir.path());
    Database db(dir.path(), {.readOnly = true});
    EXPECT_TRUE(db.readOnly());
    EXPECT_EQ(one(db, "select name from orders where id = 2"), "two");
    for (const char* statement :
         {"update orders set name = 'x'", "delete from orders", "insert into items (item) values ('cup')",
          "create table fresh (a long)", "drop table items", "alter table items add column n long",
          "select * into fresh from orders"}) {
        SCOPED_TRACE(statement);
        const Error e = errorOf([&] { db.execute(statement); });
        EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    }
    for (const char* source : {"orders", "select id, name from orders"}) {
        SCOPED_TRACE(source);
        auto rs = db.openRecordset(source);
        EXPECT_FALSE(rs->updatable());
        Error e = errorOf([&] { rs->edit(); });
        EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
        e = errorOf([&] { rs->addNew(); });
        EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
        e = errorOf([&] { rs->deleteCurrent(); });
        EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    }
    EXPECT_EQ(testsupport::snapshot(dir.path()), before);
}

TEST(LockingTest, AFileThatCannotBeWrittenIsReadOnly) {
    if (::geteuid() == 0) {
        // Root writes every file. The test entry that runs this test without root sets the variable.
        ASSERT_EQ(std::getenv("BRINDLE_UNPRIVILEGED"), nullptr) << "setpriv did not drop root";
#ifdef BRINDLE_UNPRIVILEGED_TEST
        GTEST_SKIP() << "root writes every file; " BRINDLE_UNPRIVILEGED_TEST " runs this without root";
#else
        FAIL() << "root writes every file, and no test entry runs this without root";
#endif
    }
    TempDir dir;
    writeTables(dir);
    fs::permissions(dir / "items.dbf", fs::perms::owner_write, fs::perm_options::remove);
    Database db(dir.path());
    EXPECT_EQ(one(db, "select item from items"), "pen");
    const Error e = errorOf([&] { db.execute("update items set item = 'ink'"); });
    EXPECT_EQ(e.number(), engine::NotUpdatable) << e.what();
    auto rs = db.openRecordset("items");
    EXPECT_FALSE(rs->updatable());
    EXPECT_EQ(db.execute("update orders set name = 'uno' where id = 1"), 1);
}
