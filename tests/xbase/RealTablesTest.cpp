// Tables as other programs write them: DOS memos with soft returns and pictures, bytes a code page
// leaves undefined, NULs in text, Harbour's binary types, FoxPro's flags, field names in a multi-byte
// page. Each is built byte by byte, the way its writer lays it out.
#include "support/Bytes.h"
#include "support/InteropDump.h"
#include "support/Outside.h"
#include "support/TempDir.h"
#include "xbase/Change.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace xbase;
using testsupport::put16;
using testsupport::put32;
using testsupport::TempDir;

namespace {

struct RawField {
    std::string name;
    char type;
    std::uint8_t length;
    std::uint8_t decimals = 0;
    std::uint8_t flags = 0;
};

// A table file: the header for `version`, the descriptors, and the records (field bytes without the
// deletion flag).
std::string rawTable(std::uint8_t version, const std::vector<RawField>& fields,
                     const std::vector<std::string>& records, std::uint8_t languageDriver = 0,
                     std::uint8_t byte15 = 0) {
    const bool foxPro = version == 0x30 || version == 0x31 || version == 0x32;
    std::string b(32, '\0');
    b[0] = static_cast<char>(version);
    b[1] = 126, b[2] = 12, b[3] = 7;
    put32(b, 4, static_cast<std::uint32_t>(records.size()));
    unsigned recordLength = 1;
    for (const auto& f : fields)
        recordLength += f.length;
    put16(b, 8, 32 + 32 * unsigned(fields.size()) + 1 + (foxPro ? 263 : 0));
    put16(b, 10, recordLength);
    b[15] = static_cast<char>(byte15);
    b[29] = static_cast<char>(languageDriver);
    std::uint32_t offset = 1;
    for (const auto& f : fields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name.data(), std::min<std::size_t>(f.name.size(), 10));
        d[11] = f.type;
        put32(d, 12, offset);
        d[16] = static_cast<char>(f.length);
        d[17] = static_cast<char>(f.decimals);
        d[18] = static_cast<char>(f.flags);
        b += d;
        offset += f.length;
    }
    b += '\x0D';
    if (foxPro) b += std::string(263, '\0');
    for (const auto& r : records) {
        EXPECT_EQ(r.size() + 1, recordLength) << "a record of the test is not as long as its fields";
        b += ' ' + r;
    }
    return b + '\x1A';
}

std::string padded(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

// A dBASE III memo file with each memo in blocks of its own from block 1; `pointers` gets the ten-digit
// block numbers the records hold.
std::string dbaseIIIMemos(const std::vector<std::string>& memos, std::vector<std::string>& pointers) {
    std::string m(512, '\0');
    for (const auto& memo : memos) {
        char pointer[16];
        std::snprintf(pointer, sizeof pointer, "%10zu", m.size() / 512);
        pointers.emplace_back(pointer);
        std::string block = memo + "\x1A\x1A";
        block.resize((block.size() + 511) / 512 * 512, '\0');
        m += block;
    }
    put32(m, 0, static_cast<std::uint32_t>(m.size() / 512));
    return m;
}

std::string text(const Value& v) {
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "<not text>";
}

// Writes each field's value back as it was read, in one change.
void writeBack(Table& t) {
    Change change(t);
    for (std::uint32_t r = 0; r < t.recordCount(); ++r) {
        auto image = change.image(r);
        for (std::size_t f : t.visibleFields())
            change.encode(image, f, t.value(r, f));
        change.put(r, std::move(image));
    }
    change.commit();
}

// The bytes of a file after its header's date of last update.
std::string afterDate(const std::filesystem::path& file) {
    return testsupport::readFile(file).substr(4);
}

} // namespace

TEST(RealTables, DosMemosWithSoftReturnsStrayBytesAndPicturesReadInADosPage) {
    TempDir dir;
    const std::string wrapped = "Dear Mr M\x81ller,\x8D\nthis line was wrapped by the editor. Gr\x81\xE1"
                                "e";
    const std::string stray = "Stray \x9D\x8F\x90 bytes";
    const std::string picture(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF\x21\xF9\x04\x01\x00\x00"
        "\x00\x00\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3B",
        43);
    std::vector<std::string> pointers;
    testsupport::writeFile(dir / "letters.dbt", dbaseIIIMemos({wrapped, stray, picture}, pointers));
    // No language driver id, and the only text that is not ASCII is in the memos.
    testsupport::writeFile(dir / "letters.dbf",
                           rawTable(0x83, {{"NAME", 'C', 10}, {"NOTES", 'M', 10}},
                                    {padded("ANNA", 10) + pointers[0], padded("BORIS", 10) + pointers[1],
                                     padded("CARL", 10) + pointers[2]}));

    auto t = Table::open(dir / "letters.dbf", OpenMode::ReadWrite);
    const std::string page = t->codePage().name();
    EXPECT_TRUE(page == "CP437" || page == "CP850") << page;
    // The soft return stays in the text as U+008D before the line feed.
    EXPECT_EQ(text(t->value(0, 1)), "Dear Mr Müller,\u008D\nthis line was wrapped by the editor. Grüße");
    EXPECT_EQ(text(t->value(1, 1)).substr(0, 6), "Stray ");
    ASSERT_TRUE(std::holds_alternative<Bytes>(t->value(2, 1))) << "a picture in a text memo is not text";
    EXPECT_EQ(std::get<Bytes>(t->value(2, 1)), Bytes(picture.begin(), picture.end()));

    // Written back, the soft return and the picture are stored as they came.
    writeBack(*t);
    t.reset();
    const std::string memo = testsupport::readFile(dir / "letters.dbt");
    EXPECT_NE(memo.find("M\x81ller,\x8D\nthis", 512 * 4), std::string::npos)
        << "rewritten memos follow the old";
    EXPECT_NE(memo.find(picture, 512 * 4), std::string::npos);
    t = Table::open(dir / "letters.dbf");
    EXPECT_EQ(text(t->value(0, 1)), "Dear Mr Müller,\u008D\nthis line was wrapped by the editor. Grüße");
    EXPECT_TRUE(std::holds_alternative<Bytes>(t->value(2, 1)));
}

TEST(RealTables, UndefinedBytesSurviveAndTextEndsAtItsFirstNul) {
    TempDir dir;
    // CP1252 (driver id 3) leaves 81 8D 8F 90 9D undefined.
    testsupport::writeFile(
        dir / "odd.dbf",
        rawTable(0x03, {{"NAME", 'C', 12}},
                 {padded("A\x81\x8D\x8F\x90\x9DZ", 12), padded(std::string("AB\0CD", 5), 12)}, 0x03));
    const std::string before = afterDate(dir / "odd.dbf");

    auto t = Table::open(dir / "odd.dbf", OpenMode::ReadWrite);
    EXPECT_EQ(t->codePage().name(), "CP1252");
    EXPECT_EQ(text(t->value(0, 0)), "A\u0081\u008D\u008F\u0090\u009DZ");
    EXPECT_EQ(text(t->value(1, 0)), "AB");

    // The first record written back as read is the same bytes; a letter the page lacks is refused by name.
    {
        Change change(*t);
        auto image = change.image(0);
        change.encode(image, 0, t->value(0, 0));
        change.put(0, std::move(image));
        change.commit();
    }
    EXPECT_EQ(afterDate(dir / "odd.dbf"), before);
    Change change(*t);
    auto image = change.image(0);
    try {
        change.encode(image, 0, std::string("Жук"));
        ADD_FAILURE() << "a letter CP1252 lacks was written";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("NAME"), std::string::npos) << e.what();
    }
}

TEST(RealTables, HarbourBinaryTypesReadAndWriteTheirLayouts) {
    TempDir dir;
    std::string r;
    r += "\xFB";                                             // I(1) -5
    r += "\xE8\x03";                                         // I(2) 1000
    r += "\x90\xEE\xFE";                                     // I(3) -70000
    r += std::string("\x00\xF2\x05\x2A\x01\x00\x00\x00", 8); // I(8) 5000000000
    r += std::string("\x39\x30\x00\x00", 4);                 // I(4,2) 12345 -> 123.45
    r += "\x22\x6C\x25";                                     // D(3) Julian day 2452514 -> 2002-08-27
    r += std::string("\x22\x6C\x25\x00", 4);                 // D(4) the same day
    r += std::string("\x80\x85\x80\x01", 4);                 // T(4) 25200000 ms -> 07:00:00
    r += "plain text";                                       // Q(10) outside FoxPro: text
    r += std::string("\x16\x04\x43\x04\x3A\x04\x20\x00", 8); // 0x1A(8) "Жук"
    testsupport::writeFile(dir / "harbour.dbf", rawTable(0x03,
                                                         {{"I1", 'I', 1},
                                                          {"I2", 'I', 2},
                                                          {"I3", 'I', 3},
                                                          {"I8", 'I', 8},
                                                          {"AMOUNT", 'I', 4, 2},
                                                          {"D3", 'D', 3},
                                                          {"D4", 'D', 4},
                                                          {"T4", 'T', 4},
                                                          {"Q", 'Q', 10},
                                                          {"U", '\x1A', 8}},
                                                         {r}));
    const std::string before = afterDate(dir / "harbour.dbf");

    auto t = Table::open(dir / "harbour.dbf", OpenMode::ReadWrite);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), -5);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 1)), 1000);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 2)), -70000);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 3)), 5'000'000'000);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 4)), 123.45);
    EXPECT_EQ(std::get<Date>(t->value(0, 5)), (Date{2002, 8, 27}));
    EXPECT_EQ(std::get<Date>(t->value(0, 6)), (Date{2002, 8, 27}));
    EXPECT_EQ(std::get<DateTime>(t->value(0, 7)), (DateTime{{1899, 12, 30}, 25'200'000}));
    EXPECT_EQ(text(t->value(0, 8)), "plain text");
    EXPECT_EQ(text(t->value(0, 9)), "Жук");

    writeBack(*t);
    EXPECT_EQ(afterDate(dir / "harbour.dbf"), before) << "values written back as read are the same bytes";

    // New values land in each layout, and what cannot fit is refused.
    Change change(*t);
    auto image = change.image(0);
    change.encode(image, 0, std::int64_t{-128});
    change.encode(image, 2, std::int64_t{8'388'607});
    change.encode(image, 4, 0.07);
    change.encode(image, 5, Date{1999, 12, 31});
    change.encode(image, 7, DateTime{{1899, 12, 30}, 1});
    change.encode(image, 9, std::string("Ab"));
    EXPECT_THROW(change.encode(image, 0, std::int64_t{128}), Error);
    EXPECT_THROW(change.encode(image, 7, DateTime{{2003, 1, 2}, 0}), Error) << "a time field has no date";
    EXPECT_THROW(change.encode(image, 9, std::string("Abcde")), Error);
    change.put(0, std::move(image));
    change.commit();
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 0)), -128);
    EXPECT_EQ(std::get<std::int64_t>(t->value(0, 2)), 8'388'607);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, 4)), 0.07);
    EXPECT_EQ(std::get<Date>(t->value(0, 5)), (Date{1999, 12, 31}));
    EXPECT_EQ(std::get<DateTime>(t->value(0, 7)), (DateTime{{1899, 12, 30}, 1}));
    EXPECT_EQ(text(t->value(0, 9)), "Ab");
    const std::string bytes = testsupport::readFile(dir / "harbour.dbf");
    const std::size_t record = 32 + 32 * 10 + 1 + 1;
    EXPECT_EQ(bytes.substr(record, 1), "\x80");
    EXPECT_EQ(bytes.substr(record + 14, 4), std::string("\x07\x00\x00\x00", 4));
    EXPECT_EQ(bytes.substr(record + 39, 8), std::string("A\0b\0 \0 \0", 8));
}

TEST(RealTables, FoxProFlagsAndUnicodeVariableText) {
    TempDir dir;
    // Visual FoxPro: C and V with the binary flag (no code-page translation) hold text; Q is bytes.
    // Byte 15 is set, which only dBASE IV reads as "encrypted".
    std::string r;
    r += padded("Caf\xE9", 8);                                // NAME C(8) binary
    r += padded("Cr\xE8me", 9) + "\x05";                      // V(10) binary, 5 bytes long
    r += std::string("\x01\x02\x00\x00\x00\x00", 6) + "\x02"; // Q(7), 2 bytes long
    r += std::string(1, '\x03'); // _NullFlags: V and Q are shorter than their fields
    testsupport::writeFile(dir / "fox.dbf", rawTable(0x30,
                                                     {{"NAME", 'C', 8, 0, 0x04},
                                                      {"KIND", 'V', 10, 0, 0x04},
                                                      {"RAW", 'Q', 7, 0, 0x04},
                                                      {"_NullFlags", '0', 1, 0, 0x05}},
                                                     {r}, 0x03, 0x01));
    auto fox = Table::open(dir / "fox.dbf");
    EXPECT_EQ(text(fox->value(0, 0)), "Café");
    EXPECT_EQ(text(fox->value(0, 1)), "Crème");
    EXPECT_EQ(std::get<Bytes>(fox->value(0, 2)), (Bytes{1, 2}));
    const auto dump = testsupport::dbfread(dir / "fox.dbf", "");
    ASSERT_EQ(dump.records.size(), 1u);
    EXPECT_EQ(dump.records[0][1].text, "Crème") << "dbfread reads the flagged varchar as text too";

    // A 0x1B field keeps its length in its last two bytes when _NullFlags says it is shorter.
    std::string u = std::string("\x41\x00\x0B\x04\x00\x00\x00\x00\x02\x00", 10) + "\x01";
    testsupport::writeFile(dir / "wide.dbf",
                           rawTable(0x03, {{"W", '\x1B', 10}, {"_NullFlags", '0', 1}}, {u}));
    auto wide = Table::open(dir / "wide.dbf", OpenMode::ReadWrite);
    EXPECT_EQ(text(wide->value(0, 0)), "AЋ");
    writeBack(*wide);
    EXPECT_EQ(text(wide->value(0, 0)), "AЋ");
    const std::string bytes = testsupport::readFile(dir / "wide.dbf");
    EXPECT_EQ(bytes.substr(32 * 3 + 1 + 1 + 8, 3), std::string("\x02\x00\x01", 3)) << "length kept, bit set";
}

TEST(RealTables, FieldNamesInTheTablesMultiByteCodePage) {
    TempDir dir;
    // 名称 and 数量 in GBK; driver id 0x7A is code page 936.
    const std::string name = "\xC3\xFB\xB3\xC6", count = "\xCA\xFD\xC1\xBF";
    testsupport::writeFile(dir / "goods.dbf", rawTable(0x03, {{name, 'C', 8}, {count, 'N', 4}},
                                                       {padded("\xB2\xE8", 8) + "  12"}, 0x7A));
    auto t = Table::open(dir / "goods.dbf");
    EXPECT_EQ(t->fields()[0].name, "名称");
    EXPECT_EQ(t->fields()[1].name, "数量");
    EXPECT_EQ(text(t->value(0, 0)), "茶");
    const auto dump = testsupport::dbfread(dir / "goods.dbf", "");
    EXPECT_EQ(dump.fields, (std::vector<std::string>{"名称", "数量"}));
}
