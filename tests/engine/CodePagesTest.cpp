// Tables as other programs left them, through the engine: the code page a user chooses, the code page
// new tables are made in, a value that cannot be read, and a table without fields.
#include "EngineTestSupport.h"
#include "support/Bytes.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using engine::Database;
using engine::Error;
using enginetest::column;
using enginetest::one;
using testsupport::errorOf;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// Sets the locale variables the system code page comes from, for one test.
class Locale {
public:
    explicit Locale(const char* name) {
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* old = std::getenv(variable);
            m_saved.emplace_back(variable, old ? std::optional<std::string>(old) : std::nullopt);
            ::unsetenv(variable);
        }
        ::setenv("LANG", name, 1);
    }
    ~Locale() {
        for (const auto& [variable, value] : m_saved) {
            if (value)
                ::setenv(variable, value->c_str(), 1);
            else
                ::unsetenv(variable);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

// A table holding one text in the bytes of a code page.
void writeText(const fs::path& path, const std::string& page, const std::string& text) {
    testsupport::writeTable(path, {{"NAME", 'C', 20}}, {{text}}, page);
}

} // namespace

TEST(CodePages, TheUsersChoiceReadsATableInAnotherPage) {
    TempDir dir;
    // Serbian DOS text in the 7-bit YUSCII page: the file says nothing, so it reads as ASCII signs.
    writeText(dir / "names.dbf", "YUSCII", "Đorđe Čavić");
    fs::remove(dir / "names.cpg");
    Database guessed(dir.path());
    EXPECT_EQ(one(guessed, "select name from names"), "\\or|e ^avi}");
    Database chosen(dir.path(), {.tableCodePages = {{"names.dbf", "YUSCII"}}});
    EXPECT_EQ(one(chosen, "select name from names"), "Đorđe Čavić");
    EXPECT_EQ(one(chosen, "select count(*) from names where name like 'Đ*'"), "1");
    Database forAll(dir.path(), {.codePage = "yuscii"});
    EXPECT_EQ(one(forAll, "select name from names"), "Đorđe Čavić");
    EXPECT_EQ(errorOf([&] { Database db(dir.path(), {.codePage = "EBCDIC-9"}); }).number(),
              engine::InvalidArgument);
}

TEST(CodePages, NewTablesTakeTheFoldersPageOrTheSystemsAndSayWhichItIs) {
    TempDir dir;
    const Locale polish("pl_PL.UTF-8");
    // An empty folder: the system's language decides; the driver id tells other programs.
    Database(dir.path()).execute("create table made (name text(20))");
    Database(dir.path()).execute("insert into made values ('Łódź żółw')");
    EXPECT_EQ(std::uint8_t(readFile(dir / "made.dbf")[29]), 0xC8) << "CP1250's driver id";
    const auto read = testsupport::dbfread(dir / "made.dbf", "");
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0][0].text, "Łódź żółw");

    // Tables that agree on CP852 make new ones in CP852, also a copy made by SELECT INTO.
    TempDir dos;
    writeText(dos / "a.dbf", "CP852", "Łódź");
    writeText(dos / "b.dbf", "CP852", "Kraków");
    Database db(dos.path());
    db.execute("create table c (name text(10))");
    db.execute("select 'żółw' as animal into d from a");
    EXPECT_EQ(std::uint8_t(readFile(dos / "c.dbf")[29]), 0x64);
    EXPECT_EQ(std::uint8_t(readFile(dos / "d.dbf")[29]), 0x64);
    EXPECT_EQ(one(db, "select animal from d"), "żółw");

    // A page without a driver id is written in a .cpg beside the table.
    TempDir serbian;
    Database(serbian.path(), {.codePage = "YUSCII"}).execute("create table s (name text(10))");
    EXPECT_EQ(readFile(serbian / "s.cpg"), "YUSCII\r\n");
    Database(serbian.path(), {.codePage = "YUSCII"}).execute("insert into s values ('Šabac')");
    Database again(serbian.path());
    EXPECT_EQ(one(again, "select name from s"), "Šabac") << "the .cpg is read back";
}

TEST(CodePages, AValueThatCannotBeReadIsEmptyInASelectAndStopsAChange) {
    TempDir dir;
    testsupport::writeNumbered(dir / "t.dbf", 6);
    // Record 3's memo points far past the end of its memo file.
    std::string bytes = readFile(dir / "t.dbf");
    const std::size_t header = testsupport::get16(bytes, 8), length = testsupport::get16(bytes, 10);
    bytes.replace(header + 2 * length + 17, 10, "    999999");
    testsupport::writeFile(dir / "t.dbf", bytes);
    const auto before = testsupport::snapshot(dir.path());

    Database db(dir.path());
    EXPECT_EQ(column(db, "select id & ':' & note from t where id in (3, 6) order by id"),
              (std::vector<std::string>{"3:", "6:memo 6"}));
    const auto warnings = db.takeWarnings();
    ASSERT_EQ(warnings.size(), 1u) << "one reason, however often it was met";
    EXPECT_NE(warnings[0].find("t.dbf: record 3, field 'NOTE'"), std::string::npos) << warnings[0];

    const Error e = errorOf([&] { db.execute("update t set note = note & '!'"); });
    EXPECT_NE(std::string(e.what()).find("Record 3, field 'NOTE'"), std::string::npos) << e.what();
    EXPECT_EQ(testsupport::differences(before, testsupport::snapshot(dir.path())), "")
        << "nothing was written";
}

TEST(CodePages, ATableWithoutFieldsOpensWithItsRecordsOrSaysWhy) {
    TempDir dir;
    std::string b(32, '\0');
    b[0] = 0x03;
    testsupport::put32(b, 4, 3);
    testsupport::put16(b, 8, 33);
    testsupport::put16(b, 10, 1);
    testsupport::writeFile(dir / "bare.dbf", b + "\x0D" + "   \x1A");
    Database db(dir.path());
    EXPECT_EQ(one(db, "select count(*) from bare"), "3");
    auto rs = db.openRecordset("BARE.DBF");
    EXPECT_EQ(rs->fieldCount(), 0u);
    rs->moveLast();
    EXPECT_EQ(rs->recordCount(), 3);
    const Error e = errorOf([&] { db.openRecordset("select * from bare"); });
    EXPECT_STREQ(
        e.what(),
        "Table 'bare.dbf' has no fields, so there is nothing to select from it; it holds 3 records.");
}
