// The scans the dbf table serves itself (comparisons checked on the record bytes, GROUP BY handed out
// grouped, ORDER BY with a limit picked while scanning) give exactly what SQLite's own way gives.
#include "EngineTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace enginetest;
using engine::Database;
using testsupport::TempDir;
using xbase::Date;
using xbase::Null;
using xbase::Value;

namespace {

// Mixed case, accents, blanks, Nulls, ties and a deleted record: what the fast ways must get right.
void writePeople(const std::filesystem::path& path) {
    std::vector<std::vector<Value>> rows;
    const char* names[] = {"ana", "Ana", "Đorđe", "đorđe", "Zoran", "zoran", "Čedomir", "Bojan", "", "ANA"};
    const char* cities[] = {"Niš", "NIŠ", "Beograd", "beograd", "Čačak", "čačak", "Novi Sad"};
    for (int i = 0; i < 60; ++i) {
        rows.push_back({std::int64_t{i}, std::string(names[i % 10]), std::string(cities[i % 7]),
                        i % 9 == 0 ? Value(Null{}) : Value(static_cast<double>((i * 37) % 100) + 0.25),
                        i % 5 == 0 ? Value(Null{}) : Value(Date{2000 + i % 4, 1 + i % 12, 1 + i % 28})});
    }
    testsupport::writeTable(path,
                            {{"ID", 'N', 5, 0},
                             {"NAME", 'C', 12, 0},
                             {"CITY", 'C', 10, 0},
                             {"PAY", 'N', 8, 2},
                             {"BORN", 'D', 8, 0}},
                            rows, "CP1250");
    auto t = xbase::Table::open(path, xbase::OpenMode::ReadWrite);
    t->setDeleted(7, true);
}

} // namespace

TEST(ScanTest, ServedScansMatchSqliteOwnPlans) {
    TempDir dir;
    writePeople(dir / "people.dbf");
    Database db(dir.path());
    // Each pair: a statement the table serves itself, and one whose expression keeps SQLite's own plan.
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"select count(*) from people where pay > 50", "select count(*) from people where pay + 0 > 50"},
        {"select id from people where name = 'ana' order by id",
         "select id from people where name & '' = 'ana' order by id"},
        {"select id from people where born >= #1/1/2002# order by id",
         "select id from people where born & '' >= '2002-01-01' order by id"},
        {"select id from people where city < 'č' order by id",
         "select id from people where city & '' < 'č' order by id"},
        {"select city, count(*), sum(pay) from people group by city",
         "select city & '', count(*), sum(pay) from people group by city & ''"},
        {"select city, count(*) from people group by city order by city desc",
         "select city & '', count(*) from people group by city & '' order by city & '' desc"},
        {"select name, count(*) from people group by name",
         "select name & '', count(*) from people group by name & ''"},
        {"select born, count(*) from people group by born",
         "select min(born), count(*) from people group by born & ''"},
        {"select pay, count(*) from people group by pay",
         "select pay + 0, count(*) from people group by pay + 0"},
        // TOP keeps the rows that tie with the last, in no particular order among themselves.
        {"select top 7 name, id from people order by name",
         "select top 7 name, id from people order by name & ''"},
        {"select top 7 name, id from people order by name desc",
         "select top 7 name, id from people order by name & '' desc"},
        {"select top 5 id, born from people order by born",
         "select top 5 id, born from people order by born & ''"},
        {"select top 5 id from people where pay < 40 order by pay desc",
         "select top 5 id from people where pay + 0 < 40 order by pay + 0 desc"},
    };
    const auto sorted = [](Rows rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    for (const auto& [served, plain] : pairs)
        EXPECT_EQ(sorted(query(db, served)), sorted(query(db, plain))) << served;
    EXPECT_EQ(query(db, "select top 7 name, id from people order by name").size(), 24u)
        << "ana, Ana, ANA: 18 ties";
    // Grouping folds case the way DBTEXT compares, and the groups come in the order of their values.
    EXPECT_EQ(column(db, "select city from people group by city"),
              (std::vector<std::string>{"Beograd", "Čačak", "Niš", "Novi Sad"}));
}
