// Headers of the variants the fixtures do not cover: dBASE II, dBASE 7 with its binary types, Clipper's
// long character fields, Visual Objects.
#include "support/Bytes.h"
#include "support/TempDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace xbase;
using testsupport::TempDir;

using testsupport::be32;
using testsupport::put16;
using testsupport::put32;

TEST(Header, DBaseIIWithItsShortDescriptorsAndTrailingJunk) {
    TempDir dir;
    std::string b(521, '\0');
    b[0] = 0x02;
    put16(b, 1, 2);                // records
    b[3] = 7, b[4] = 4, b[5] = 83; // 1983-07-04
    put16(b, 6, 1 + 8 + 5 + 1);
    auto field = [&](int k, const char* name, char type, int length, int decimals) {
        std::memcpy(&b[8 + 16 * k], name, std::strlen(name));
        b[8 + 16 * k + 11] = type;
        b[8 + 16 * k + 12] = static_cast<char>(length);
        b[8 + 16 * k + 15] = static_cast<char>(decimals);
    };
    field(0, "EMP:NMBR", 'C', 8, 0);
    field(1, "PAY", 'N', 5, 2);
    field(2, "OK", 'L', 1, 0);
    b[8 + 16 * 3] = 0x0D;
    b += " SMITH   12.50T";
    b += "*JONES    3.00F";
    b += "\x1A" + std::string(40, 'x'); // CP/M padding after the end marker
    testsupport::writeFile(dir / "two.dbf", b);

    auto t = Table::open(dir / "two.dbf");
    EXPECT_EQ(t->header().family, Family::DBase2);
    ASSERT_EQ(t->recordCount(), 2u);
    EXPECT_EQ(t->fields()[0].name, "EMP:NMBR");
    EXPECT_EQ(std::get<std::string>(t->value(0, 0)), "SMITH");
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 1)), 12.5);
    EXPECT_EQ(std::get<bool>(t->value(0, 2)), true);
    EXPECT_TRUE(t->isDeleted(1));
    EXPECT_EQ(t->header().lastUpdate, (Date{1983, 7, 4}));
}

TEST(Header, DBase7LevelSevenDescriptorsAndBinaryTypes) {
    TempDir dir;
    std::string b(68, '\0');
    b[0] = 0x04;
    b[1] = 124, b[2] = 5, b[3] = 1;
    put32(b, 4, 2);
    std::strcpy(&b[32], "DB437US0");
    struct F {
        const char* name;
        char type;
        int length;
    };
    const F fields[] = {{"Length CM", 'I', 4}, {"SERIAL", '+', 4}, {"WEIGHT", 'O', 8}, {"STAMP", '@', 8}};
    int recordLength = 1;
    for (const F& f : fields) {
        std::string d(48, '\0');
        std::memcpy(&d[0], f.name, std::strlen(f.name));
        d[32] = f.type;
        d[33] = static_cast<char>(f.length);
        b += d;
        recordLength += f.length;
    }
    b += '\r';
    b += std::string(20, '\0'); // field properties, covered by the header length
    put16(b, 8, static_cast<unsigned>(b.size()));
    put16(b, 10, static_cast<unsigned>(recordLength));
    // I and + are big-endian with the sign bit flipped; O is a big-endian double with the sign trick;
    // @ here in the Julian-day form the common readers use.
    auto record = [&](std::int32_t length, std::uint32_t serial, double weight, std::uint32_t day,
                      std::uint32_t ms) {
        std::string r =
            " " + be32(static_cast<std::uint32_t>(length) ^ 0x80000000u) + be32(serial ^ 0x80000000u);
        std::uint64_t bits;
        std::memcpy(&bits, &weight, 8);
        bits = weight >= 0 ? bits | 0x8000000000000000ull : ~bits;
        for (int i = 7; i >= 0; --i)
            r += static_cast<char>(bits >> (8 * i));
        std::string stamp(8, '\0');
        put32(stamp, 0, day);
        put32(stamp, 4, ms);
        return r + stamp;
    };
    b += record(-15, 1, 2.5, 2'460'000, 3'600'000);
    b += record(300, 2, -0.75, 0, 0);
    b += '\x1A';
    testsupport::writeFile(dir / "seven.dbf", b);

    auto t = Table::open(dir / "seven.dbf");
    EXPECT_EQ(t->header().family, Family::DBase7);
    EXPECT_EQ(t->codePage().name(), "CP437") << "from the driver name DB437US0";
    ASSERT_EQ(t->recordCount(), 2u);
    EXPECT_EQ(t->fields()[0].name, "Length CM");
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), -15);
    EXPECT_EQ(std::get<std::int64_t>(t->value(1, 0)), 300);
    EXPECT_EQ(std::get<std::int64_t>(t->value(1, 1)), 2);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 2)), 2.5);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(1, 2)), -0.75);
    const auto stamp = std::get<DateTime>(t->value(0, 3));
    EXPECT_EQ(stamp.date, dateFromJulianDay(2'460'000));
    EXPECT_EQ(stamp.msecOfDay, 3'600'000);
    EXPECT_TRUE(isNull(t->value(1, 3)));
}

TEST(Header, ClipperLongCharacterFieldAndVisualObjects) {
    TempDir dir;
    // A C field of 300 bytes: the decimal byte carries the high byte of the length.
    std::vector<Field> fields(1);
    fields[0].name = "TEXT";
    fields[0].type = 'C';
    fields[0].length = 300;
    auto header = buildDBase3Header(fields, 0x03, false, 1, Date{2024, 1, 2});
    std::string b(header.begin(), header.end());
    b[0] = 0x07; // Visual Objects without memo: the dBASE III layout
    b += " " + std::string(299, 'a') + "b" + "\x1A";
    testsupport::writeFile(dir / "long.dbf", b);
    auto t = Table::open(dir / "long.dbf");
    EXPECT_EQ(t->header().family, Family::DBase3);
    EXPECT_EQ(t->fields()[0].length, 300u);
    EXPECT_EQ(std::get<std::string>(t->value(0, 0)), std::string(299, 'a') + "b");
}
