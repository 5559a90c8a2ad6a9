// Damaged tables and memo files: each gives a clear error, a Null value or a warning, never a crash.
#include "support/Bytes.h"
#include "support/Errors.h"
#include "support/Tables.h"
#include "support/TempDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace xbase;
using testsupport::errorOf;
using testsupport::expectError;
using testsupport::put16;
using testsupport::put32;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

// A small valid dBASE III table with a memo file, the material every damaged copy starts from.
struct Base {
    std::string dbf;
    std::string dbt;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::vector<std::uint32_t> offsets; // of NAME AMOUNT WHEN OK NOTES inside a record

    // File offset of a field of a record.
    std::size_t at(std::uint32_t record, std::size_t field) const {
        return headerLength + record * recordLength + offsets[field];
    }
};

enum { Name, Amount, When, Ok, Notes };

Base makeBase(const TempDir& dir) {
    const fs::path path = dir / "base.dbf";
    testsupport::writeTable(
        path, {{"NAME", 'C', 10}, {"AMOUNT", 'N', 8, 2}, {"WHEN", 'D'}, {"OK", 'L'}, {"NOTES", 'M'}},
        {{std::string("first"), 12.5, Date{2024, 1, 31}, true, std::string("memo one")},
         {std::string("second"), -3.0, Date{1999, 12, 31}, false, std::string("memo two")},
         {std::string("third"), Null{}, Null{}, Null{}, Null{}}});
    Base b;
    auto t = Table::open(path);
    b.headerLength = t->header().headerLength;
    b.recordLength = t->header().recordLength;
    for (const auto& f : t->fields())
        b.offsets.push_back(f.offset);
    t.reset();
    b.dbf = readFile(path);
    b.dbt = readFile(dir / "base.dbt");
    EXPECT_EQ(b.dbf.size(), b.headerLength + 3 * b.recordLength + 1);
    return b;
}

// Writes a damaged copy as <name>.dbf, with the base's memo file beside it unless told otherwise.
fs::path damaged(const TempDir& dir, const std::string& name, const std::string& dbf, const Base& base,
                 bool withMemo = true) {
    writeFile(dir / (name + ".dbf"), dbf);
    if (withMemo) writeFile(dir / (name + ".dbt"), base.dbt);
    return dir / (name + ".dbf");
}

std::string allWarnings(const Table& t) {
    std::string all;
    for (const auto& w : t.warnings())
        all += w + "\n";
    return all;
}

#define EXPECT_CONTAINS(haystack, needle)                                                                    \
    EXPECT_NE(std::string(haystack).find(needle), std::string::npos) << (haystack)

} // namespace

TEST(BadInput, TruncatedTablesReadWhatIsThereOrSayWhereTheyEnd) {
    TempDir dir;
    const Base b = makeBase(dir);

    const fs::path empty = damaged(dir, "empty", "", b);
    expectError(ErrorKind::Format, {"empty.dbf", "empty"}, [&] { Table::open(empty); });

    // Cut inside the fixed header, and inside the field descriptors.
    for (std::size_t size : {std::size_t{20}, std::size_t{100}}) {
        const fs::path cut = damaged(dir, "cut" + std::to_string(size), b.dbf.substr(0, size), b);
        expectError(ErrorKind::Format, {cut.filename().string(), "shorter than its header"},
                    [&] { Table::open(cut); });
    }

    // The header alone: no records, and the caller learns that three are missing.
    const fs::path headerOnly = damaged(dir, "header", b.dbf.substr(0, b.headerLength), b);
    auto t = Table::open(headerOnly);
    EXPECT_EQ(t->recordCount(), 0u);
    EXPECT_CONTAINS(allWarnings(*t), "counts 3 records, but the file holds 0");
    const Error missing = errorOf<Error>([&] { t->value(0, Name); });
    EXPECT_EQ(missing.kind(), ErrorKind::Value);
    EXPECT_STREQ(missing.what(), "Record 1 does not exist.");

    // One and a half records: the whole one reads, the half one is not made up.
    const fs::path half =
        damaged(dir, "half", b.dbf.substr(0, b.headerLength + b.recordLength + b.recordLength / 2), b);
    t = Table::open(half);
    ASSERT_EQ(t->recordCount(), 1u);
    EXPECT_EQ(std::get<std::string>(t->value(0, Name)), "first");
    EXPECT_EQ(std::get<std::string>(t->value(0, Notes)), "memo one");
    EXPECT_CONTAINS(allWarnings(*t), "counts 3 records, but the file holds 1");
    EXPECT_CONTAINS(allWarnings(*t), "ends in the middle of a record");
    EXPECT_THROW(t->value(1, Name), Error);
}

TEST(BadInput, HeaderAndRecordLengthsThatCannotBeRightAreFormatErrors) {
    TempDir dir;
    const Base b = makeBase(dir);
    auto expectRefused = [&](const std::string& name, std::size_t at, std::uint16_t value,
                             const std::vector<std::string>& parts) {
        std::string bytes = b.dbf;
        put16(bytes, at, value);
        const fs::path path = damaged(dir, name, bytes, b);
        expectError(ErrorKind::Format, parts, [&] { Table::open(path); });
    };
    expectRefused("small", 8, 20, {"small.dbf", "header length (20 bytes) is too small"});
    expectRefused("large", 8, 0xFFFF, {"large.dbf", "shorter than its header (65535 bytes)"});
    // Fields that need more than the record holds: a record length too small, or one field absurdly long.
    expectRefused("short-records", 10, 10,
                  {"short-records.dbf", "fields need " + std::to_string(b.recordLength) +
                                            " bytes per record, but the header gives 10"});
    expectRefused("zero-records", 10, 0, {"record length is 0"});

    std::string wide = b.dbf;
    wide[32 + 16] = static_cast<char>(255); // NAME: 255 characters instead of 10
    const fs::path widePath = damaged(dir, "wide", wide, b);
    expectError(ErrorKind::Format,
                {"fields need " + std::to_string(b.recordLength + 245) + " bytes per record"},
                [&] { Table::open(widePath); });

    // Thousands of descriptors (the header length claims room for them): refused by the same sum, quickly.
    std::string many = b.dbf.substr(0, 32);
    const std::string descriptor = b.dbf.substr(32, 32);
    for (int i = 0; i < 2000; ++i)
        many += descriptor;
    many += '\r';
    put16(many, 8, static_cast<std::uint16_t>(many.size()));
    many += b.dbf.substr(b.headerLength);
    const fs::path manyPath = damaged(dir, "many", many, b);
    expectError(ErrorKind::Format, {"fields need 20001 bytes per record"}, [&] { Table::open(manyPath); });
}

TEST(BadInput, HeaderEndingInsideTheFieldDescriptorsIsAFormatError) {
    TempDir dir;
    const Base b = makeBase(dir);
    // Room for two of the five descriptors and no terminator: the records would be read from the
    // descriptor bytes, so the header cannot be taken at its word.
    std::string bytes = b.dbf;
    put16(bytes, 8, 32 + 2 * 32 + 1);
    const fs::path path = damaged(dir, "cutfields", bytes, b);
    expectError(ErrorKind::Format, {"cutfields.dbf"}, [&] { Table::open(path); });
}

TEST(BadInput, RecordLengthLargerThanTheFieldsReadsWholeRecordsAndWarns) {
    TempDir dir;
    const Base b = makeBase(dir);
    std::string bytes = b.dbf;
    put16(bytes, 10, static_cast<std::uint16_t>(b.recordLength + 20));
    auto t = Table::open(damaged(dir, "padded", bytes, b));
    // The three 38-byte records hold two of the claimed 58 bytes, and the first starts where it did.
    EXPECT_EQ(t->recordCount(), (3 * b.recordLength) / (b.recordLength + 20));
    EXPECT_EQ(std::get<std::string>(t->value(0, Name)), "first");
    EXPECT_CONTAINS(allWarnings(*t), "counts 3 records, but the file holds 1");
}

TEST(BadInput, GarbageInNumbersDatesAndLogicalsReadsAsNull) {
    TempDir dir;
    const Base b = makeBase(dir);
    std::string bytes = b.dbf;
    auto set = [&](std::uint32_t record, std::size_t field, const std::string& text) {
        bytes.replace(b.at(record, field), text.size(), text);
    };
    set(0, Amount, "12a.4x  ");
    set(1, Amount, "********");
    set(2, Amount, std::string(8, '\0'));
    set(0, When, "2024ab01");
    set(1, When, "20230229"); // not a leap year
    set(2, When, "00000000");
    set(0, Ok, "X");
    set(1, Ok, "?");
    set(2, Ok, "y");
    set(2, Notes, "   12ab   ");
    auto t = Table::open(damaged(dir, "garbage", bytes, b));
    EXPECT_TRUE(t->warnings().empty()) << allWarnings(*t);
    for (std::uint32_t r = 0; r < 3; ++r) {
        EXPECT_TRUE(isNull(t->value(r, Amount))) << "record " << r;
        EXPECT_TRUE(isNull(t->value(r, When))) << "record " << r;
    }
    EXPECT_TRUE(isNull(t->value(0, Ok)));
    EXPECT_TRUE(isNull(t->value(1, Ok)));
    EXPECT_EQ(std::get<bool>(t->value(2, Ok)), true);
    EXPECT_TRUE(isNull(t->value(2, Notes)));
    // Garbage in one field spoils nothing else.
    EXPECT_EQ(std::get<std::string>(t->value(1, Name)), "second");
    EXPECT_EQ(std::get<std::string>(t->value(1, Notes)), "memo two");

    // What old writers leave that is still a number: a comma as decimal point, a leading plus.
    bytes = b.dbf;
    set(0, Amount, "    1,50");
    set(1, Amount, "  +2.25 ");
    t = Table::open(damaged(dir, "lenient", bytes, b));
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(0, Amount)), 1.5);
    EXPECT_DOUBLE_EQ(std::get<double>(t->value(1, Amount)), 2.25);
}

TEST(BadInput, MemoProblemsSpoilOnlyTheMemoValues) {
    TempDir dir;
    const Base b = makeBase(dir);

    // No memo file: the table opens, the caller is told, memo values are Null.
    auto t = Table::open(damaged(dir, "nomemo", b.dbf, b, false));
    EXPECT_CONTAINS(allWarnings(*t), "memo file of 'nomemo.dbf' is missing");
    EXPECT_TRUE(isNull(t->value(0, Notes)));
    EXPECT_EQ(std::get<std::string>(t->value(0, Name)), "first");

    // A pointer far past the end of the memo file: an error for that value, naming file and block.
    std::string bytes = b.dbf;
    bytes.replace(b.at(0, Notes), 10, "    999999");
    t = Table::open(damaged(dir, "pointer", bytes, b));
    expectError(ErrorKind::Memo, {"pointer.dbt", "999999"}, [&] { t->value(0, Notes); });
    EXPECT_EQ(std::get<std::string>(t->value(1, Notes)), "memo two");
    EXPECT_EQ(std::get<std::string>(t->value(0, Name)), "first");

    // A memo file cut after its header: each memo is an error, the rest of the record reads.
    writeFile(dir / "cutmemo.dbf", b.dbf);
    writeFile(dir / "cutmemo.dbt", b.dbt.substr(0, 512));
    t = Table::open(dir / "cutmemo.dbf");
    expectError(ErrorKind::Memo, {"cutmemo.dbt", "beyond the end of the file"}, [&] { t->value(0, Notes); });
    EXPECT_EQ(std::get<Date>(t->value(0, When)), (Date{2024, 1, 31}));

    // A memo file too short for any header: the table opens and says why memos cannot be read.
    writeFile(dir / "tinymemo.dbf", b.dbf);
    writeFile(dir / "tinymemo.dbt", "\x01");
    t = Table::open(dir / "tinymemo.dbf");
    EXPECT_CONTAINS(allWarnings(*t), "memo file cannot be read");
    EXPECT_CONTAINS(allWarnings(*t), "tinymemo.dbt");
    EXPECT_TRUE(isNull(t->value(0, Notes)));
}

TEST(BadInput, CountsThatDisagreeWithTheFileAreReadAsTheFileIs) {
    TempDir dir;
    const Base b = makeBase(dir);

    std::string bytes = b.dbf;
    put32(bytes, 4, 10);
    auto t = Table::open(damaged(dir, "toomany", bytes, b));
    EXPECT_EQ(t->recordCount(), 3u);
    EXPECT_CONTAINS(allWarnings(*t), "counts 10 records, but the file holds 3");
    EXPECT_EQ(std::get<std::string>(t->value(2, Name)), "third");

    // Records past the header's count are there: they are read, and the caller is told.
    bytes = b.dbf;
    put32(bytes, 4, 1);
    t = Table::open(damaged(dir, "toofew", bytes, b));
    EXPECT_EQ(t->recordCount(), 3u);
    EXPECT_CONTAINS(allWarnings(*t), "holds 3 records, more than the 1 its header counts");
    EXPECT_EQ(std::get<std::string>(t->value(2, Name)), "third");

    // A record count near 2^32 must not be trusted for anything.
    bytes = b.dbf;
    put32(bytes, 4, 0xFFFFFFFF);
    t = Table::open(damaged(dir, "huge", bytes, b));
    EXPECT_EQ(t->recordCount(), 3u);
    EXPECT_CONTAINS(allWarnings(*t), "counts 4294967295 records, but the file holds 3");

    // No end marker: every record is still there.
    t = Table::open(damaged(dir, "noeof", b.dbf.substr(0, b.dbf.size() - 1), b));
    EXPECT_EQ(t->recordCount(), 3u);
    EXPECT_EQ(std::get<std::string>(t->value(2, Name)), "third");

    // Bytes after the end marker are not records.
    t = Table::open(damaged(dir, "trailing", b.dbf + std::string(b.recordLength * 2, 'x'), b));
    EXPECT_EQ(t->recordCount(), 3u);
}

TEST(BadInput, UnknownAndUnreadableVersionsAreNamed) {
    TempDir dir;
    const Base b = makeBase(dir);
    std::string bytes = b.dbf;
    bytes[0] = static_cast<char>(0x99);
    const fs::path unknown = damaged(dir, "unknown", bytes, b);
    expectError(ErrorKind::Format, {"unknown.dbf", "unknown version byte 0x99"},
                [&] { Table::open(unknown); });

    bytes[0] = static_cast<char>(0x86); // an encrypted variant
    const fs::path encrypted = damaged(dir, "encrypted", bytes, b);
    expectError(ErrorKind::Unsupported, {"encrypted.dbf", "0x86"}, [&] { Table::open(encrypted); });

    // A text file is not a table.
    const fs::path text = damaged(dir, "notes", "Dear diary, today I renamed a file to .dbf\n", b);
    expectError(ErrorKind::Format, {"notes.dbf"}, [&] { Table::open(text); });
}

TEST(BadInput, TableWithoutFieldsOpensReadsAndTakesRecords) {
    TempDir dir;
    // 32-byte header, terminator, one-byte records (live, deleted), end marker.
    std::string bytes(32, '\0');
    bytes[0] = 0x03;
    put32(bytes, 4, 2);
    put16(bytes, 8, 33);
    put16(bytes, 10, 1);
    bytes += "\r *\x1A";
    const fs::path path = dir / "nofields.dbf";
    writeFile(path, bytes);
    {
        auto t = Table::open(path, OpenMode::ReadWrite);
        EXPECT_TRUE(t->fields().empty());
        EXPECT_TRUE(t->visibleFields().empty());
        ASSERT_EQ(t->recordCount(), 2u);
        EXPECT_FALSE(t->isDeleted(0));
        EXPECT_TRUE(t->isDeleted(1));
        EXPECT_TRUE(t->warnings().empty()) << allWarnings(*t);
        EXPECT_EQ(t->appendRecord(t->blankRecord()), 2u);
    }
    const std::string after = readFile(path);
    EXPECT_EQ(after.size(), 33u + 3 + 1);
    EXPECT_EQ(after.substr(33), " * \x1A");
    EXPECT_EQ(after[4], 3);
}

TEST(BadInput, WritesIntoFieldsOfImpossibleWidthAreRefused) {
    TempDir dir;
    // A table whose header gives fields widths no product writes: L of 0 bytes, Y of 2, T of 5, D of 5.
    struct Odd {
        const char* name;
        char type;
        std::uint8_t length;
        Value value;
    };
    const std::vector<Odd> odd = {{"FLAG", 'L', 0, true},
                                  {"CASH", 'Y', 2, 1.25},
                                  {"STAMP", 'T', 5, DateTime{Date{2020, 5, 6}, 0}},
                                  {"DAY", 'D', 5, Date{2024, 2, 29}}};
    for (const Odd& o : odd) {
        std::string bytes(32, '\0');
        bytes[0] = 0x03;
        put32(bytes, 4, 1);
        put16(bytes, 8, 65);
        put16(bytes, 10, static_cast<std::uint16_t>(1 + o.length));
        std::string descriptor(32, '\0');
        descriptor.replace(0, std::strlen(o.name), o.name);
        descriptor[11] = o.type;
        descriptor[16] = static_cast<char>(o.length);
        bytes += descriptor + "\r" + " " + std::string(o.length, '0') + "\x1A";
        const fs::path path = dir / (std::string(o.name) + ".dbf");
        writeFile(path, bytes);
        {
            auto t = Table::open(path, OpenMode::ReadWrite);
            ASSERT_EQ(t->fields().size(), 1u);
            auto record = t->blankRecord();
            const auto before = record;
            try {
                t->encode(record, 0, o.value);
                // Accepted: then the value must read back, not come back cut or as Null.
                EXPECT_EQ(t->decode(record, 0), o.value) << o.name;
            } catch (const Error& e) {
                EXPECT_CONTAINS(e.what(), o.name);
                EXPECT_EQ(record, before) << o.name;
            }
        }
        EXPECT_EQ(readFile(path), bytes) << o.name;
    }
}
