// Reading the fixture tables of each version, and writing tables in place.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

using namespace xbase;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::string text(const Value& v) { return std::get<std::string>(v); }

std::unique_ptr<Table> openFixture(const char* name) {
    return Table::open(testsupport::fixturesDir() / "dbf-gem" / name);
}

std::vector<std::string> names(const Table& t) {
    std::vector<std::string> out;
    for (std::size_t i : t.visibleFields())
        out.push_back(t.fields()[i].name);
    return out;
}

std::uint32_t storedCount(const std::string& bytes) {
    return static_cast<std::uint8_t>(bytes[4]) | static_cast<std::uint8_t>(bytes[5]) << 8 |
           static_cast<std::uint8_t>(bytes[6]) << 16 | static_cast<std::uint8_t>(bytes[7]) << 24;
}

void append(Table& t, const std::vector<Value>& values) {
    auto record = t.blankRecord();
    for (std::size_t i = 0; i < values.size(); ++i)
        t.encode(record, t.visibleFields()[i], values[i]);
    t.appendRecord(record);
}

} // namespace

TEST(TableRead, DBaseIVWithMemoFileGivesTypedValues) {
    auto t = openFixture("dbase_8b.dbf");
    EXPECT_EQ(t->header().version, 0x8B);
    ASSERT_EQ(t->recordCount(), 10u);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"CHARACTER", "NUMERICAL", "DATE", "LOGICAL", "FLOAT", "MEMO"}));
    EXPECT_EQ(text(t->value(0, 0)), "One");
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 1)), 1.0);
    EXPECT_EQ(std::get<Date>(t->value(0, 2)), (Date{1970, 1, 1}));
    EXPECT_EQ(std::get<bool>(t->value(0, 3)), true);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 4)), 1.23456789012346);
    EXPECT_EQ(text(t->value(0, 5)), "First memo\r\n");
    // The last record leaves date, logical and memo empty: Null, not a made-up value.
    EXPECT_EQ(text(t->value(9, 0)), "Ten records stored in this database");
    EXPECT_TRUE(isNull(t->value(9, 2)));
    EXPECT_TRUE(isNull(t->value(9, 3)));
    EXPECT_TRUE(isNull(t->value(9, 5)));
}

TEST(TableRead, VisualFoxProIntegerCurrencyAndHiddenNullFlags) {
    auto t = openFixture("dbase_31.dbf");
    ASSERT_EQ(t->recordCount(), 77u);
    EXPECT_EQ(t->fields().size(), 11u);
    EXPECT_EQ(t->visibleFields().size(), 10u) << "_NullFlags is not a column";
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), 1);
    EXPECT_EQ(text(t->value(0, 1)), "Chai");
    EXPECT_EQ(text(t->value(0, 4)), "10 boxes x 20 bags");
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 5)), 18.0);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 6)), 39);
    EXPECT_EQ(std::get<bool>(t->value(0, 9)), false);
    // This file ends right after its last record: read whole, and the caller is told.
    ASSERT_EQ(t->warnings().size(), 1u);
    EXPECT_EQ(t->warnings()[0], "The file has no end-of-file marker after its last record.");
}

TEST(TableRead, CodePageFromLanguageDriverAndDBaseIIIMemo) {
    auto cyr = openFixture("cp1251.dbf");
    EXPECT_EQ(cyr->codePage().name(), "CP1251");
    EXPECT_EQ(text(cyr->value(0, 1)), "амбулаторно-поликлиническое");
    EXPECT_EQ(text(cyr->value(2, 1)), "НИИ");

    auto t = openFixture("dbase_83.dbf");
    ASSERT_EQ(t->recordCount(), 67u);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), 87);
    EXPECT_EQ(text(t->value(0, 6)), "Assorted Petits Fours");
    EXPECT_EQ(text(t->value(0, 11)).substr(0, 40), "Our Original assortment...a little taste");
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 9)), 0.0);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 12)), 5.51);
}

TEST(TableWrite, CreateAppendEditDeleteKeepHeaderAndEndMarkerRight) {
    TempDir dir;
    const auto path = dir / "people.dbf";
    {
        auto t = Table::create(path, {{"NAME", 'C', 12}, {"AGE", 'N', 3}, {"PAY", 'N', 9, 2}, {"BORN", 'D'},
                                      {"OK", 'L'}, {"NOTE", 'M'}},
                               "CP1250");
        append(*t, {std::string("Đorđe"), std::int64_t{42}, 1234.5, Date{1982, 7, 9}, true, std::string("a\r\nb")});
        append(*t, {std::string("Ana"), Null{}, -0.004, Null{}, false, Null{}});
        // Before sync the header still counts what is safely on disk: nothing yet.
        EXPECT_EQ(storedCount(readFile(path)), 0u);
        t->sync();
        EXPECT_EQ(storedCount(readFile(path)), 2u);

        auto record = std::vector<std::uint8_t>(t->recordBytes(1).begin(), t->recordBytes(1).end());
        t->encode(record, 1, std::int64_t{7});
        t->writeRecord(1, record);
        t->setDeleted(0, true);
    }
    const std::string bytes = readFile(path);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), 0x83) << "a memo field makes it dBASE III with memo";
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[29]), 0xC8) << "language driver of CP1250";
    EXPECT_EQ(storedCount(bytes), 2u);
    const std::size_t headerLength = 32 + 6 * 32 + 1;
    const std::size_t recordLength = 1 + 12 + 3 + 9 + 8 + 1 + 10;
    ASSERT_EQ(bytes.size(), headerLength + 2 * recordLength + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes.substr(headerLength, 13), "*\xD0or\xF0" "e       ") << "deleted flag, CP1250 text, blank padding";
    EXPECT_EQ(bytes.substr(headerLength + 13, 12), " 42  1234.50");
    EXPECT_EQ(bytes.substr(headerLength + recordLength + 13, 12), "  7     0.00") << "no negative zero";

    auto t = Table::open(path);
    EXPECT_TRUE(t->isDeleted(0));
    EXPECT_EQ(text(t->value(0, 0)), "Đorđe");
    EXPECT_EQ(text(t->value(0, 5)), "a\r\nb");
    EXPECT_EQ(std::get<std::int64_t>(t->value(1, 1)), 7);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(1, 2)), 0.0);
    EXPECT_TRUE(isNull(t->value(1, 3)));
    EXPECT_EQ(std::get<bool>(t->value(1, 4)), false);
}

TEST(TableWrite, RefusedValuesNameTheFieldAndLeaveTheRecordAlone) {
    TempDir dir;
    auto t = Table::create(dir / "t.dbf", {{"CODE", 'C', 4}, {"QTY", 'N', 4, 1}, {"WHEN", 'D'}}, "CP1252");
    const auto blank = t->blankRecord();
    auto record = blank;
    auto refused = [&](std::size_t field, const Value& v, const std::string& part) {
        try {
            t->encode(record, field, v);
            ADD_FAILURE() << "accepted a value for " << part;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
        }
        EXPECT_EQ(record, blank);
    };
    refused(0, std::string("ABCDE"), "CODE");
    refused(0, std::string("čaj"), "č");
    refused(1, 123.4, "QTY");
    refused(1, std::string("12x"), "QTY");
    refused(2, std::string("2023-02-30"), "WHEN");
    refused(2, Date{2023, 13, 1}, "WHEN");
}

TEST(TableWrite, ProductionIndexBesideTheTableRefusesWrites) {
    TempDir dir;
    const auto path = dir.copyFixture("dbf-gem/dbase_03.dbf");
    testsupport::writeFile(dir / "DBASE_03.MDX", "index");
    const std::string before = readFile(path);
    auto t = Table::open(path, OpenMode::ReadWrite);
    EXPECT_EQ(text(t->value(0, 0)), "0507121");
    try {
        t->setDeleted(0, true);
        FAIL() << "write accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
        EXPECT_NE(std::string(e.what()).find("DBASE_03.MDX"), std::string::npos) << e.what();
    }
    t.reset();
    EXPECT_EQ(readFile(path), before);
}

TEST(TableWrite, RestructureKeepsValuesAndMemosAndFailsWithoutTouchingFiles) {
    TempDir dir;
    const auto path = dir.copyFixture("dbf-gem/dbase_83.dbf");
    restructure(path, {{"ID", 'N', 19}, {"NAME", 'C', 100}, {"DESC", 'M'}, {"EXTRA", 'C', 5}});
    {
        auto t = Table::open(path);
        ASSERT_EQ(t->recordCount(), 67u);
        EXPECT_EQ(names(*t), (std::vector<std::string>{"ID", "NAME", "DESC", "EXTRA"}));
        EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), 87);
        EXPECT_EQ(text(t->value(0, 1)), "Assorted Petits Fours");
        EXPECT_EQ(text(t->value(0, 2)).substr(0, 24), "Our Original assortment.");
        EXPECT_EQ(text(t->value(0, 3)), "");
    }
    const std::string dbf = readFile(path);
    const std::string dbt = readFile(dir / "dbase_83.dbt");
    EXPECT_THROW(restructure(path, {{"ID", 'N', 19}, {"WAYTOOLONGNAME", 'C', 5}}), Error);
    EXPECT_THROW(restructure(path, {{"NAME", 'C', 3}}), Error) << "names do not fit the narrower field";
    EXPECT_EQ(readFile(path), dbf);
    EXPECT_EQ(readFile(dir / "dbase_83.dbt"), dbt);
    EXPECT_FALSE(std::filesystem::exists(dir / "dbase_83.dbf.new"));
}
