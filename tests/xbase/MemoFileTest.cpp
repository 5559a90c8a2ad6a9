// Memo files: reading real .dbt/.fpt files, appending and undoing byte for byte, damaged files, lookup.
#include "xbase/MemoFile.h"

#include "support/Bytes.h"
#include "support/Errors.h"
#include "support/Outside.h"
#include "support/TempDir.h"
#include "xbase/Error.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace xbase;
using testsupport::be32;
using testsupport::expectError;
using testsupport::get16;
using testsupport::get32;
using testsupport::le32;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

fs::path fixture(const std::string& name) {
    return testsupport::fixturesDir() / "dbf-gem" / name;
}
Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
std::string text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}
std::string text(const MemoFile::Block& b) {
    return text(b.data);
}

// The memo pointers of one field in every record of a table, read straight from the .dbf.
std::vector<std::uint64_t> memoPointers(const fs::path& dbf, const std::string& field) {
    const std::string file = readFile(dbf);
    const std::uint32_t count = get32(file, 4);
    const std::size_t headerLength = get16(file, 8), recordLength = get16(file, 10);
    std::size_t offset = 1, width = 0;
    for (std::size_t at = 32; file[at] != '\r'; at += 32) {
        if (std::string(file.c_str() + at) == field) {
            width = std::uint8_t(file[at + 16]);
            break;
        }
        offset += std::uint8_t(file[at + 16]);
    }
    std::vector<std::uint64_t> pointers;
    for (std::uint32_t r = 0; r < count; ++r) {
        const std::string raw = file.substr(headerLength + r * recordLength + offset, width);
        const std::uint64_t p = width == 4 ? get32(raw, 0) : std::strtoull(raw.c_str(), nullptr, 10);
        if (p != 0) pointers.push_back(p);
    }
    return pointers;
}

// The same blocks as read by dbfread's memo classes, as hex lines.
std::vector<std::string> dbfreadMemos(const std::string& kind, const fs::path& memo,
                                      const std::vector<std::uint64_t>& blocks) {
    std::vector<std::string> argv{
        "/usr/bin/python3", "-c",
        "import sys, dbfread.memo as m\n"
        "f = {'db3': m.DB3MemoFile, 'vfp': m.VFPMemoFile}[sys.argv[1]](sys.argv[2])\n"
        "for b in sys.argv[3:]: print(bytes(f[int(b)]).hex())\n",
        kind, memo.string()};
    for (auto b : blocks)
        argv.push_back(std::to_string(b));
    const auto result = testsupport::run(argv);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string hex(const Bytes& b) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto c : b)
        out += {digits[c >> 4], digits[c & 15]};
    return out;
}

} // namespace

TEST(MemoFile, ReadsTheFixtureMemosLikeDbfread) {
    auto db3 = MemoFile::open(fixture("dbase_83.dbt"), MemoFormat::DBase3, false);
    const auto db3Blocks = memoPointers(fixture("dbase_83.dbf"), "DESC");
    ASSERT_EQ(db3Blocks.front(), 1u);
    const std::string first = text(db3->read(1));
    EXPECT_EQ(first.rfind("Our Original assortment...a little taste of heaven for everyone.  Let us\r\n", 0),
              0u);
    EXPECT_TRUE(first.ends_with("Milk chocolate squares, and Raspberry Blanc.")) << first;
    // The last memo fills only part of its block: the file ends right after its end mark.
    const auto last = *std::max_element(db3Blocks.begin(), db3Blocks.end());
    EXPECT_TRUE(text(db3->read(last)).ends_with("(1Lb. 2oz.)"));

    auto db4 = MemoFile::open(fixture("dbase_8b.dbt"), MemoFormat::DBase4, false);
    EXPECT_EQ(db4->blockSize(), 512u);
    EXPECT_EQ(memoPointers(fixture("dbase_8b.dbf"), "MEMO"),
              (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(text(db4->read(1)), "First memo\r\n");
    // The stored length (18) says 10 bytes; the "mo" after them is left over from an older text.
    EXPECT_EQ(text(db4->read(8)), "Eigth memo");

    auto fox = MemoFile::open(fixture("dbase_30.fpt"), MemoFormat::FoxPro, false);
    EXPECT_EQ(fox->blockSize(), 64u);
    EXPECT_EQ(fox->nextFreeBlock(), 730u);
    const auto foxBlocks = memoPointers(fixture("dbase_30.dbf"), "CLASSES");
    ASSERT_EQ(foxBlocks.front(), 8u);
    const auto classes = fox->read(8);
    EXPECT_EQ(text(classes), "Domestic Life\r\nWeddings\r\n");
    EXPECT_EQ(classes.type, 1u);

    // Every memo of both files, compared with an outside reader.
    auto compare = [](const std::string& kind, const fs::path& path, MemoFile& memo,
                      std::vector<std::uint64_t> blocks) {
        const auto theirs = dbfreadMemos(kind, path, blocks);
        ASSERT_EQ(theirs.size(), blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i)
            EXPECT_EQ(hex(memo.read(blocks[i]).data), theirs[i]) << path << " block " << blocks[i];
    };
    compare("db3", fixture("dbase_83.dbt"), *db3, db3Blocks);
    std::vector<std::uint64_t> all;
    for (const char* field : {"CLASSES", "DESCRIP", "PEOPLE", "TITLE", "STERMS", "SUBJECTS", "CONDNOTES"})
        for (auto b : memoPointers(fixture("dbase_30.dbf"), field))
            all.push_back(b);
    compare("vfp", fixture("dbase_30.fpt"), *fox, all);
}

TEST(MemoFile, AppendsDBase3AndUndoesByteForByte) {
    TempDir dir;
    const fs::path path = dir.copyFixture("dbf-gem/dbase_83.dbt");
    const std::string original = readFile(path);
    auto reader = MemoFile::open(path, MemoFormat::DBase3, false);
    auto memo = MemoFile::open(path, MemoFormat::DBase3, true);
    ASSERT_EQ(memo->nextFreeBlock(), 79u);
    const std::string first = text(memo->read(1));

    EXPECT_EQ(memo->append(bytes("Hello\r\nworld")), 79u);
    const std::string tail(600, 'x');
    EXPECT_EQ(memo->append(bytes(tail)), 80u); // 602 bytes with the end mark: two blocks
    EXPECT_EQ(memo->nextFreeBlock(), 82u);
    memo->sync();

    const std::string file = readFile(path);
    ASSERT_EQ(file.size(), 82u * 512);
    EXPECT_EQ(get32(file, 0), 82u);
    EXPECT_EQ(file.substr(0, original.size()).substr(4), original.substr(4)); // nothing before is touched
    EXPECT_EQ(file.substr(79 * 512, 512), "Hello\r\nworld\x1a\x1a" + std::string(512 - 14, '\0'));
    EXPECT_EQ(file.substr(80 * 512, 602), tail + "\x1a\x1a");
    // A second handle sees what was appended through the first.
    EXPECT_EQ(text(reader->read(79)), "Hello\r\nworld");
    EXPECT_EQ(text(reader->read(80)), tail);
    EXPECT_EQ(dbfreadMemos("db3", path, {79, 80}),
              (std::vector<std::string>{hex(bytes("Hello\r\nworld")), hex(bytes(tail))}));

    expectError(ErrorKind::Value, {"0x1A", path.string()}, [&] { memo->append(bytes("a\x1a b")); });
    memo->truncateTo(79);
    EXPECT_EQ(memo->nextFreeBlock(), 79u);
    EXPECT_EQ(readFile(path), original);

    // A damaged pointer, into used blocks or far past the end, must not make an append overwrite
    // memos or leave a huge hole: it goes at the end of the file.
    for (std::uint32_t pointer : {1u, 0x7FFFFFFFu}) {
        std::string damaged = original;
        damaged.replace(0, 4, le32(pointer));
        writeFile(path, damaged);
        memo = MemoFile::open(path, MemoFormat::DBase3, true);
        EXPECT_EQ(memo->append(bytes("safe")), 79u);
        EXPECT_EQ(fs::file_size(path), 80u * 512);
        EXPECT_EQ(text(memo->read(1)), first);
        memo->truncateTo(pointer);
        EXPECT_EQ(readFile(path), damaged);
    }
}

TEST(MemoFile, AppendsDBase4AndFoxProBlocksExactly) {
    TempDir dir;
    const fs::path dbt = dir.copyFixture("dbf-gem/dbase_8b.dbt");
    const std::string dbtOriginal = readFile(dbt);
    auto db4 = MemoFile::open(dbt, MemoFormat::DBase4, true);
    EXPECT_EQ(db4->append(bytes("new memo")), 10u);
    std::string file = readFile(dbt);
    ASSERT_EQ(file.size(), 11u * 512);
    EXPECT_EQ(get32(file, 0), 11u);
    EXPECT_EQ(file.substr(10 * 512),
              std::string("\xff\xff\x08\x00", 4) + le32(16) + "new memo\x1f" + std::string(512 - 17, '\0'));
    EXPECT_EQ(text(db4->read(10)), "new memo");
    db4->truncateTo(10);
    EXPECT_EQ(readFile(dbt), dbtOriginal);

    const fs::path fpt = dir.copyFixture("dbf-gem/dbase_30.fpt");
    const std::string fptOriginal = readFile(fpt);
    auto fox = MemoFile::open(fpt, MemoFormat::FoxPro, true);
    const std::string hundred(100, 'm');
    EXPECT_EQ(fox->append(bytes(hundred)), 730u);
    const Bytes picture{0x00, 0x1A, 0xFF, 0x1F};
    EXPECT_EQ(fox->append(picture, 0), 732u); // 108 bytes took two blocks of 64
    file = readFile(fpt);
    ASSERT_EQ(file.size(), 733u * 64);
    EXPECT_EQ(file.substr(0, 4), be32(733));
    EXPECT_EQ(file.substr(730 * 64), be32(1) + be32(100) + hundred + std::string(20, '\0') + be32(0) +
                                         be32(4) + std::string("\x00\x1a\xff\x1f", 4) +
                                         std::string(52, '\0'));
    EXPECT_EQ(fox->read(732).data, picture);
    EXPECT_EQ(fox->read(732).type, 0u);
    EXPECT_EQ(dbfreadMemos("vfp", fpt, {730, 732}),
              (std::vector<std::string>{hex(bytes(hundred)), hex(picture)}));
    fox->truncateTo(730);
    EXPECT_EQ(readFile(fpt), fptOriginal);
}

TEST(MemoFile, CreatesEmptyFilesWithTheRightHeaders) {
    TempDir dir;
    MemoFile::create(dir / "a.dbt", MemoFormat::DBase3);
    std::string a = readFile(dir / "a.dbt");
    EXPECT_EQ(a, le32(1) + std::string(12, '\0') + "\x03" + std::string(512 - 17, '\0'));

    MemoFile::create(dir / "b.dbt", MemoFormat::DBase4, 1024, "PARTS");
    std::string b = readFile(dir / "b.dbt");
    ASSERT_EQ(b.size(), 1024u);
    EXPECT_EQ(b.substr(0, 24), le32(1) + std::string(4, '\0') + "PARTS   " + std::string(4, '\0') +
                                   std::string("\x00\x04\x00\x00", 4));

    MemoFile::create(dir / "c.fpt", MemoFormat::FoxPro);
    EXPECT_EQ(readFile(dir / "c.fpt"), be32(8) + std::string("\0\0\0\x40", 4) + std::string(504, '\0'));

    for (auto [name, format, first] :
         {std::tuple{"a.dbt", MemoFormat::DBase3, 1u}, std::tuple{"b.dbt", MemoFormat::DBase4, 1u},
          std::tuple{"c.fpt", MemoFormat::FoxPro, 8u}}) {
        auto memo = MemoFile::open(dir / name, format, true);
        EXPECT_EQ(memo->nextFreeBlock(), first) << name;
        EXPECT_EQ(memo->append(bytes("")), first) << name;
        EXPECT_EQ(memo->append(bytes("second")), first + 1) << name;
        EXPECT_EQ(text(memo->read(first)), "") << name;
        EXPECT_EQ(text(memo->read(first + 1)), "second") << name;
    }
    expectError(ErrorKind::Unsupported, {"64", "512"},
                [&] { MemoFile::create(dir / "d.dbt", MemoFormat::DBase3, 64); });
}

TEST(MemoFile, RefusesWritesWhenReadOnly) {
    TempDir dir;
    const fs::path path = dir.copyFixture("dbf-gem/dbase_30.fpt");
    auto memo = MemoFile::open(path, MemoFormat::FoxPro, false);
    expectError(ErrorKind::ReadOnly, {path.string(), "read-only"}, [&] { memo->append(bytes("x")); });
    expectError(ErrorKind::ReadOnly, {path.string()}, [&] { memo->truncateTo(8); });
    EXPECT_EQ(readFile(path), readFile(fixture("dbase_30.fpt")));
}

TEST(MemoFile, DamagedFilesGiveClearErrors) {
    TempDir dir;
    const fs::path fpt = dir.copyFixture("dbf-gem/dbase_30.fpt");
    std::string fox = readFile(fpt);
    auto memo = MemoFile::open(fpt, MemoFormat::FoxPro, false);
    expectError(ErrorKind::Memo, {fpt.string(), "block 100000", "beyond the end"},
                [&] { memo->read(100000); });
    expectError(ErrorKind::Memo, {"block 18446744073709551615"}, [&] { memo->read(~std::uint64_t(0)); });
    expectError(ErrorKind::Memo, {"block 3", "header"}, [&] { memo->read(3); });

    fox.replace(8 * 64 + 4, 4, be32(0xFFFFFFFF)); // absurd length
    writeFile(fpt, fox);
    expectError(ErrorKind::Memo, {fpt.string(), "block 8", "4294967295"}, [&] { memo->read(8); });
    writeFile(fpt, fox.substr(0, 9 * 64 + 20)); // cut in the middle of block 9's text
    memo = MemoFile::open(fpt, MemoFormat::FoxPro, false);
    expectError(ErrorKind::Memo, {"block 9", "claims 66 bytes"}, [&] { memo->read(9); });
    writeFile(fpt, fox.substr(0, 9 * 64 + 5)); // cut inside the block prefix
    memo = MemoFile::open(fpt, MemoFormat::FoxPro, false);
    expectError(ErrorKind::Memo, {"block 9"}, [&] { memo->read(9); });

    const fs::path dbt = dir.copyFixture("dbf-gem/dbase_8b.dbt");
    std::string db4 = readFile(dbt);
    db4.replace(512 + 4, 4, le32(0xFFFFFFFF));
    db4.replace(1024 + 4, 4, le32(3));
    db4.replace(1536, 16, "plain text\x1a\x1a    "); // no FF FF 08 00 prefix
    writeFile(dbt, db4);
    memo = MemoFile::open(dbt, MemoFormat::DBase4, false);
    expectError(ErrorKind::Memo, {dbt.string(), "block 1"}, [&] { memo->read(1); });
    expectError(ErrorKind::Memo, {"block 2", "length of 3"}, [&] { memo->read(2); });
    EXPECT_EQ(text(memo->read(3)), "plain text");

    // dBASE III text with no end mark before the end of the file is kept.
    writeFile(dir / "cut.dbt", le32(2) + std::string(508, '\0') + "no end mark");
    EXPECT_EQ(text(MemoFile::open(dir / "cut.dbt", MemoFormat::DBase3, false)->read(1)), "no end mark");

    writeFile(dir / "tiny.fpt", std::string("\0\0", 2));
    expectError(ErrorKind::Format, {"tiny.fpt", "2 bytes"},
                [&] { MemoFile::open(dir / "tiny.fpt", MemoFormat::FoxPro, false); });
    expectError(ErrorKind::Io, {"none.dbt"},
                [&] { MemoFile::open(dir / "none.dbt", MemoFormat::DBase3, false); });
}

TEST(MemoFile, FallsBackToUsualBlockSizesForBogusHeaders) {
    TempDir dir;
    const fs::path dbt = dir.copyFixture("dbf-gem/dbase_8b.dbt");
    std::string db4 = readFile(dbt);
    for (std::string size : {std::string("\0\0", 2), std::string("\x01\x02", 2)}) { // 0 and 513
        db4.replace(20, 2, size);
        writeFile(dbt, db4);
        auto memo = MemoFile::open(dbt, MemoFormat::DBase4, false);
        EXPECT_EQ(memo->blockSize(), 512u);
        EXPECT_EQ(text(memo->read(1)), "First memo\r\n");
    }
    const fs::path fpt = dir.copyFixture("dbf-gem/dbase_30.fpt");
    std::string fox = readFile(fpt);
    fox.replace(6, 2, std::string("\0\0", 2));
    writeFile(fpt, fox);
    EXPECT_EQ(text(MemoFile::open(fpt, MemoFormat::FoxPro, false)->read(8)), "Domestic Life\r\nWeddings\r\n");
}

TEST(MemoFile, FindsTheMemoFileWhateverTheCase) {
    TempDir dir;
    for (const char* name : {"Parts.dbf", "Parts.DBT", "ORDERS.DBF", "orders.Fpt", "items.dbf", "ITEMS.dbt",
                             "items.dbt", "Lone.dbf", "Lonely.dbt", "Folder.dbf"})
        writeFile(dir / name, "x");
    fs::create_directory(dir / "Folder.dbt");
    EXPECT_EQ(findMemoFile(dir / "Parts.dbf"), dir / "Parts.DBT");
    EXPECT_EQ(findMemoFile(dir / "ORDERS.DBF"), dir / "orders.Fpt");
    EXPECT_EQ(findMemoFile(dir / "items.dbf"), dir / "items.dbt"); // the exact base name wins
    EXPECT_EQ(findMemoFile(dir / "Lone.dbf"), std::nullopt);
    EXPECT_EQ(findMemoFile(dir / "Folder.dbf"), std::nullopt);
    EXPECT_EQ(findMemoFile(dir / "missing" / "x.dbf"), std::nullopt);
}
