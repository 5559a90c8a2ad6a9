// libFuzzer target over memo files: the input read as a .dbt of dBASE III and IV and as a FoxPro .fpt.
#include "FuzzWorkDir.h"
#include "xbase/Error.h"
#include "xbase/MemoFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace xbase;
using fuzzsupport::workDir;
using fuzzsupport::writeBytes;

namespace {

// Block reads per format and iteration: enough to walk a small file, few enough to stay fast.
constexpr std::uint64_t kBlocksRead = 128;

std::vector<std::uint8_t> readBytes(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "FINDING: %s\n", what.c_str());
    std::abort();
}

void tryRead(const MemoFile& memo, std::uint64_t block) {
    try {
        (void)memo.read(block);
    } catch (const Error&) {
        // A block outside the file or a length past its end: an error for this memo only.
    }
}

void readBlocks(const fs::path& path, MemoFormat format, std::size_t size) {
    const auto memo = MemoFile::open(path, format, false);
    const std::uint64_t blockSize = memo->blockSize();
    if (blockSize == 0) finding("block size 0");
    const std::uint64_t blocks = (size + blockSize - 1) / blockSize;
    for (std::uint64_t b = 0; b < std::min(blocks + 2, kBlocksRead); ++b)
        tryRead(*memo, b);
    // The first blocks after a 512-byte header when blocks are small, where FoxPro's data starts.
    const std::uint64_t first = (512 + blockSize - 1) / blockSize;
    for (std::uint64_t b = first; b < first + 8; ++b)
        tryRead(*memo, b);
    // Pointers a damaged table could hold: at and past the end, and far beyond anything addressable.
    constexpr std::uint64_t max64 = std::numeric_limits<std::uint64_t>::max();
    for (std::uint64_t b :
         {blocks - 1, blocks, blocks + 1, memo->nextFreeBlock(), std::uint64_t{999'999'999},
          std::uint64_t{0xFFFFFFFF}, std::uint64_t{1} << 40, max64 / blockSize, max64 / blockSize + 1, max64})
        tryRead(*memo, b);
}

// Appending to a damaged file and undoing it must leave the file as it was, and the new memo readable.
void appendAndUndo(const fs::path& path, MemoFormat format) {
    const std::vector<std::uint8_t> before = readBytes(path);
    {
        const auto memo = MemoFile::open(path, format, true);
        const std::uint64_t nextFree = memo->nextFreeBlock();
        const std::vector<std::uint8_t> text = {'f', 'u', 'z', 'z', '\r', '\n', 0xE9};
        std::uint64_t block = 0;
        try {
            block = memo->append(text, 1);
        } catch (const Error&) {
            return; // the file is full or cannot take more; then nothing was changed
        }
        const MemoFile::Block back = memo->read(block);
        if (back.data != text) finding("an appended memo reads back different bytes");
        memo->truncateTo(nextFree);
    }
    if (readBytes(path) != before) finding("append and undo did not restore the memo file byte for byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path path = workDir("memo") / "m.dbt";
    for (MemoFormat format : {MemoFormat::DBase3, MemoFormat::DBase4, MemoFormat::FoxPro}) {
        writeBytes(path, data, size);
        try {
            readBlocks(path, format, size);
        } catch (const Error&) {
            continue; // a header this format cannot use: opening fails cleanly
        }
        try {
            appendAndUndo(path, format);
        } catch (const Error& e) {
            finding(std::string("append or undo failed on a file that opened: ") + e.what());
        }
    }
    return 0;
}
