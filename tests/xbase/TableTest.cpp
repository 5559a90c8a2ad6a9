// What the header of each version tells, and writing tables in place.
#include "xbase/Table.h"

#include "support/Bytes.h"
#include "support/TempDir.h"
#include "xbase/Error.h"

#include <gtest/gtest.h>

using namespace xbase;
using testsupport::get32;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::string text(const Value& v) {
    return std::get<std::string>(v);
}

std::unique_ptr<Table> openFixture(const char* name) {
    return Table::open(testsupport::fixturesDir() / "dbf-gem" / name);
}

void append(Table& t, const std::vector<Value>& values) {
    auto record = t.blankRecord();
    for (std::size_t i = 0; i < values.size(); ++i)
        t.encode(record, t.visibleFields()[i], values[i]);
    t.appendRecord(record);
}

} // namespace

// What each version's header tells beyond the values (those are compared with dbfread's in InteropTest).
TEST(TableRead, VersionHiddenFieldsEndMarkerAndCodePageFromTheHeader) {
    EXPECT_EQ(openFixture("dbase_8b.dbf")->header().version, 0x8B);
    EXPECT_EQ(openFixture("cp1251.dbf")->codePage().name(), "CP1251");
    auto t = openFixture("dbase_31.dbf");
    EXPECT_EQ(t->fields().size(), 11u);
    EXPECT_EQ(t->visibleFields().size(), 10u) << "_NullFlags is not a column";
    // This file ends right after its last record: read whole, and the caller is told.
    EXPECT_EQ(t->recordCount(), 77u);
    ASSERT_EQ(t->warnings().size(), 1u);
    EXPECT_EQ(t->warnings()[0], "The file has no end-of-file marker after its last record.");
}

TEST(TableWrite, CreateAppendEditDeleteKeepHeaderAndEndMarkerRight) {
    TempDir dir;
    const auto path = dir / "people.dbf";
    {
        auto t = Table::create(path,
                               {{"NAME", 'C', 12},
                                {"AGE", 'N', 3},
                                {"PAY", 'N', 9, 2},
                                {"BORN", 'D'},
                                {"OK", 'L'},
                                {"NOTE", 'M'}},
                               "CP1250");
        append(*t, {std::string("Đorđe"), std::int64_t{42}, 1234.5, Date{1982, 7, 9}, true,
                    std::string("a\r\nb")});
        append(*t, {std::string("Ana"), Null{}, -0.004, Null{}, false, Null{}});
        // Before sync the header still counts what is safely on disk: nothing yet.
        EXPECT_EQ(get32(readFile(path), 4), 0u);
        t->sync();
        EXPECT_EQ(get32(readFile(path), 4), 2u);

        auto record = std::vector<std::uint8_t>(t->recordBytes(1).begin(), t->recordBytes(1).end());
        t->encode(record, 1, std::int64_t{7});
        t->writeRecord(1, record);
        t->setDeleted(0, true);
    }
    const std::string bytes = readFile(path);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[0]), 0x83) << "a memo field makes it dBASE III with memo";
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[29]), 0xC8) << "language driver of CP1250";
    EXPECT_EQ(get32(bytes, 4), 2u);
    const std::size_t headerLength = 32 + 6 * 32 + 1;
    const std::size_t recordLength = 1 + 12 + 3 + 9 + 8 + 1 + 10;
    ASSERT_EQ(bytes.size(), headerLength + 2 * recordLength + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes.substr(headerLength, 13), "*\xD0or\xF0"
                                              "e       ")
        << "deleted flag, CP1250 text, blank padding";
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
