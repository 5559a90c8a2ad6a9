// Memo files (.dbt of dBASE III and IV/7, .fpt of FoxPro): finding them, reading and appending blocks.
#include "MemoFile.h"

#include "Ascii.h"
#include "ByteOrder.h"
#include "Error.h"
#include "FileIo.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace xbase {
namespace {

using bytes::be16;
using bytes::be32;
using bytes::le16;
using bytes::le32;
using bytes::putBe16;
using bytes::putBe32;
using bytes::putLe16;
using bytes::putLe32;

// Every format keeps its header in the first 512 bytes; FoxPro's first usable block is the first one
// after them, whatever the block size.
constexpr std::uint64_t kHeaderBytes = 512;
constexpr std::uint8_t kEndOfText = 0x1A;
constexpr std::uint64_t kMaxPointer = std::numeric_limits<std::uint32_t>::max();

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return a / b + (a % b != 0);
}

std::string describe(const fs::path& path) {
    return "memo file " + path.string();
}

[[noreturn]] void throwIo(const fs::path& path, const std::string& action) {
    throw Error(ErrorKind::Io, "cannot " + action + " " + describe(path) + ": " + std::strerror(errno));
}

// Reads up to n bytes; fewer only at the end of the file.
std::size_t readAt(int fd, std::uint8_t* buffer, std::size_t n, std::uint64_t offset, const fs::path& path) {
    return io::read(fd, buffer, n, offset, path);
}

void writeAt(int fd, const std::uint8_t* buffer, std::size_t n, std::uint64_t offset, const fs::path& path) {
    io::write(fd, buffer, n, offset, path, "Cannot write the memo file");
}

std::uint64_t sizeOf(int fd, const fs::path& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throwIo(path, "inspect");
    return std::uint64_t(st.st_size);
}

std::uint32_t defaultBlockSize(MemoFormat format) {
    return format == MemoFormat::FoxPro ? 64 : 512;
}

// dBASE IV counts SET BLOCKSIZE in 512-byte units and level-7 tools in 64-byte steps, so anything
// else in a .dbt header is damage or another program's garbage.
bool plausibleDBase4BlockSize(std::uint32_t size) {
    return size >= 64 && size <= 32768 && size % 64 == 0;
}

// The first block after the header, where appends start in an empty file.
std::uint64_t firstUsableBlock(std::uint32_t blockSize) {
    return ceilDiv(kHeaderBytes, blockSize);
}

using io::Fd;

class MemoFileImpl final : public MemoFile {
public:
    MemoFileImpl(fs::path path, MemoFormat format, bool writable, int fd, std::uint64_t size,
                 std::uint32_t blockSize, std::uint64_t nextFree)
        : m_path(std::move(path)), m_format(format), m_writable(writable), m_fd(fd), m_blockSize(blockSize),
          m_nextFree(nextFree), m_size(size) {}
    ~MemoFileImpl() override { ::close(m_fd); }

    Block read(std::uint64_t block) const override;
    std::uint64_t append(std::span<const std::uint8_t> data, std::uint32_t type) override;
    std::uint64_t nextFreeBlock() const override { return m_nextFree; }
    void truncateTo(std::uint64_t nextFree) override;
    void sync() override;
    std::uint32_t blockSize() const override { return m_blockSize; }
    MemoFormat format() const override { return m_format; }

private:
    [[noreturn]] void fail(std::uint64_t block, const std::string& what) const {
        throw Error(ErrorKind::Memo,
                    describe(m_path) + ": the memo at block " + std::to_string(block) + " " + what);
    }
    // The file size is cached and refreshed only when a read would otherwise fail: the file may
    // have grown since (appends through another handle), and a stat per memo read is wasted work.
    std::uint64_t refreshedSize() const {
        const std::uint64_t size = sizeOf(m_fd, m_path);
        m_size.store(size);
        return size;
    }
    std::uint64_t blockOffset(std::uint64_t block) const;
    Bytes readExactly(std::uint64_t block, std::uint64_t offset, std::uint64_t length) const;
    Bytes readToEndOfText(std::uint64_t offset) const;
    Bytes encode(std::span<const std::uint8_t> data, std::uint32_t type) const;
    void writeNextFree(std::uint64_t nextFree);
    void requireWritable(const char* action) const {
        if (!m_writable)
            throw Error(ErrorKind::ReadOnly,
                        "cannot " + std::string(action) + " " + describe(m_path) + ": it is open read-only");
    }

    // The header pointer and file size before each append since the last undo, so that undoing to
    // a pointer restores the file exactly, partial last block included.
    struct Mark {
        std::uint64_t nextFree;
        std::uint64_t size;
    };

    fs::path m_path;
    MemoFormat m_format;
    bool m_writable;
    int m_fd;
    std::uint32_t m_blockSize;
    std::uint64_t m_nextFree;
    mutable std::atomic<std::uint64_t> m_size;
    std::vector<Mark> m_marks;
};

std::uint64_t MemoFileImpl::blockOffset(std::uint64_t block) const {
    // FoxPro documents where its first block is; a .dbt only ever reserves block 0.
    const std::uint64_t first = m_format == MemoFormat::FoxPro ? firstUsableBlock(m_blockSize) : 1;
    if (block < first) fail(block, "would lie inside the file header");
    // Compare block numbers, not offsets: block * blockSize may not fit in 64 bits for a garbage pointer.
    std::uint64_t size = m_size.load();
    if (block >= ceilDiv(size, m_blockSize)) size = refreshedSize();
    if (block >= ceilDiv(size, m_blockSize))
        fail(block, "lies beyond the end of the file, which has " +
                        std::to_string(ceilDiv(size, m_blockSize)) + " blocks of " +
                        std::to_string(m_blockSize) + " bytes");
    return block * m_blockSize;
}

Bytes MemoFileImpl::readExactly(std::uint64_t block, std::uint64_t offset, std::uint64_t length) const {
    // The size bounds the allocation, so a bogus length never asks for gigabytes.
    std::uint64_t size = m_size.load();
    if (offset > size || length > size - offset) size = refreshedSize();
    if (offset > size || length > size - offset)
        fail(block, "claims " + std::to_string(length) + " bytes from offset " + std::to_string(offset) +
                        ", but the file ends at " + std::to_string(size));
    Bytes data(length);
    if (readAt(m_fd, data.data(), data.size(), offset, m_path) != length)
        fail(block, "was cut short: the file ended while it was being read");
    return data;
}

Bytes MemoFileImpl::readToEndOfText(std::uint64_t offset) const {
    Bytes data;
    std::size_t chunk = 512;
    for (;;) {
        const std::size_t old = data.size();
        data.resize(old + chunk);
        const std::size_t got = readAt(m_fd, data.data() + old, chunk, offset + old, m_path);
        data.resize(old + got);
        if (const void* end = std::memchr(data.data() + old, kEndOfText, got)) {
            data.resize(std::size_t(static_cast<const std::uint8_t*>(end) - data.data()));
            return data;
        }
        if (got < chunk) return data; // no end mark before the end of the file: keep what is there
        chunk = std::min<std::size_t>(chunk * 2, 1 << 20);
    }
}

MemoFile::Block MemoFileImpl::read(std::uint64_t block) const {
    const std::uint64_t offset = blockOffset(block);
    switch (m_format) {
    case MemoFormat::DBase3:
        return {readToEndOfText(offset), 1};
    case MemoFormat::DBase4: {
        std::uint8_t head[8] = {};
        const std::size_t got = readAt(m_fd, head, sizeof head, offset, m_path);
        if (got < sizeof head ||
            !(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00)) {
            // Some writers leave the prefix out and store the text the dBASE III way, ended by 0x1A.
            // Reading up to that mark (or the end of the file) keeps their memos readable.
            return {readToEndOfText(offset), 1};
        }
        const std::uint32_t length = le32(head + 4);
        if (length < 8)
            fail(block, "has a length of " + std::to_string(length) + ", less than its own 8-byte prefix");
        return {readExactly(block, offset + 8, length - 8), 1};
    }
    case MemoFormat::FoxPro: {
        std::uint8_t head[8] = {};
        if (readAt(m_fd, head, sizeof head, offset, m_path) < sizeof head)
            fail(block, "is cut off: the file ends inside its 8-byte prefix");
        return {readExactly(block, offset + 8, be32(head + 4)), be32(head)};
    }
    }
    fail(block, "has an unknown memo format");
}

Bytes MemoFileImpl::encode(std::span<const std::uint8_t> data, std::uint32_t type) const {
    if (data.size() > kMaxPointer - 9)
        throw Error(ErrorKind::Value, "a memo of " + std::to_string(data.size()) +
                                          " bytes is too large for " + describe(m_path));
    Bytes bytes;
    switch (m_format) {
    case MemoFormat::DBase3:
        if (!data.empty() && std::memchr(data.data(), kEndOfText, data.size()))
            throw Error(ErrorKind::Value,
                        "this memo contains the byte 0x1A, which ends a memo in the dBASE III " +
                            describe(m_path) + "; it would be cut there");
        bytes.assign(data.begin(), data.end());
        bytes.insert(bytes.end(), {kEndOfText, kEndOfText});
        break;
    case MemoFormat::DBase4:
        bytes = {0xFF, 0xFF, 0x08, 0x00, 0, 0, 0, 0};
        putLe32(bytes.data() + 4, std::uint32_t(data.size() + 8));
        bytes.insert(bytes.end(), data.begin(), data.end());
        // dBASE reads exactly the length; some readers read 8 bytes too many and cut at the first
        // 0x1F, which is what real files have after the text. One such byte keeps them right.
        bytes.push_back(0x1F);
        break;
    case MemoFormat::FoxPro:
        bytes.resize(8);
        putBe32(bytes.data(), type);
        putBe32(bytes.data() + 4, std::uint32_t(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        break;
    }
    // Whole blocks, so the file always ends where the next-free pointer says.
    bytes.resize(ceilDiv(bytes.size(), m_blockSize) * m_blockSize, 0);
    return bytes;
}

void MemoFileImpl::writeNextFree(std::uint64_t nextFree) {
    std::uint8_t bytes[4];
    if (m_format == MemoFormat::FoxPro)
        putBe32(bytes, std::uint32_t(nextFree));
    else
        putLe32(bytes, std::uint32_t(nextFree));
    writeAt(m_fd, bytes, sizeof bytes, 0, m_path);
}

std::uint64_t MemoFileImpl::append(std::span<const std::uint8_t> data, std::uint32_t type) {
    requireWritable("append to");
    const Bytes bytes = encode(data, type);
    const std::uint64_t size = sizeOf(m_fd, m_path);
    m_size.store(size);
    // Append at the end of the file, which in a sound file is where the header points. A pointer
    // lower than that is damage and must not make us overwrite memos that records still use; a
    // higher one is damage too, and following it would leave a hole of up to terabytes. A chain of
    // free blocks (dBASE IV) is given up the same way: its blocks stay unused, the header then
    // points at the new end.
    const std::uint64_t start = std::max(ceilDiv(size, m_blockSize), firstUsableBlock(m_blockSize));
    const std::uint64_t next = start + bytes.size() / m_blockSize;
    if (next > kMaxPointer)
        throw Error(ErrorKind::Memo, describe(m_path) + " is full: its blocks cannot be numbered past " +
                                         std::to_string(kMaxPointer));
    m_marks.push_back({m_nextFree, size});
    // Data first, pointer second: a crash in between leaves unused blocks, never a header that points
    // past the end. (Ordering on disk across a power loss is what sync() is for.)
    writeAt(m_fd, bytes.data(), bytes.size(), start * m_blockSize, m_path);
    m_size.store(std::max(size, start * m_blockSize + bytes.size()));
    writeNextFree(next);
    m_nextFree = next;
    return start;
}

void MemoFileImpl::truncateTo(std::uint64_t nextFree) {
    requireWritable("truncate");
    const std::uint64_t size = sizeOf(m_fd, m_path);
    std::uint64_t target = size;
    auto mark =
        std::find_if(m_marks.begin(), m_marks.end(), [&](const Mark& m) { return m.nextFree == nextFree; });
    if (mark != m_marks.end()) {
        target = mark->size;
    } else if (nextFree != m_nextFree) {
        if (nextFree < firstUsableBlock(m_blockSize) || nextFree > m_nextFree)
            throw Error(ErrorKind::Memo, "cannot put the next-free pointer of " + describe(m_path) +
                                             " back to " + std::to_string(nextFree) + ": it is at " +
                                             std::to_string(m_nextFree));
        // Never grow the file here: a partial last block stays as it is.
        target = std::min(size, nextFree * m_blockSize);
    }
    // Pointer first, then the cut: in between, the blocks past the pointer are merely unused.
    writeNextFree(nextFree);
    if (target < size) io::truncate(m_fd, target, m_path);
    m_nextFree = nextFree;
    m_size.store(std::min(size, target));
    if (mark != m_marks.end())
        m_marks.erase(mark, m_marks.end());
    else
        std::erase_if(m_marks, [&](const Mark& m) { return m.nextFree >= nextFree; });
}

void MemoFileImpl::sync() {
    if (m_writable) io::sync(m_fd, m_path, "Cannot write the memo file");
}

} // namespace

std::optional<fs::path> findMemoFile(const fs::path& dbfPath) {
    const std::string base = dbfPath.stem().string();
    const std::string baseLower = ascii::lower(base);
    const fs::path folder = dbfPath.parent_path().empty() ? fs::path(".") : dbfPath.parent_path();
    // Rank: the exact base name beats one that differs in case; then the extension written in the
    // same case as the table's own; the name itself only to make the choice repeatable.
    const bool tableExtUpper = !dbfPath.extension().string().empty() &&
                               std::isupper(static_cast<unsigned char>(dbfPath.extension().string().back()));
    std::optional<fs::path> best;
    int bestRank = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path name = it->path().filename();
        const std::string ext = name.extension().string();
        if (ascii::lower(ext) != ".dbt" && ascii::lower(ext) != ".fpt") continue;
        const std::string stem = name.stem().string();
        if (ascii::lower(stem) != baseLower) continue;
        std::error_code typeEc;
        if (!fs::is_regular_file(it->path(), typeEc)) continue;
        const bool extUpper = std::isupper(static_cast<unsigned char>(ext.back()));
        const int rank = (stem == base ? 0 : 2) + (extUpper == tableExtUpper ? 0 : 1);
        if (!best || rank < bestRank || (rank == bestRank && it->path() < *best)) {
            best = it->path();
            bestRank = rank;
        }
    }
    return best;
}

std::unique_ptr<MemoFile> MemoFile::open(const fs::path& path, MemoFormat format, bool writable) {
    Fd fd = io::tryOpen(path, writable ? O_RDWR : O_RDONLY);
    if (!fd) throwIo(path, "open");
    const std::uint64_t size = sizeOf(fd.get(), path);
    std::uint8_t header[kHeaderBytes] = {};
    const std::size_t got = readAt(fd.get(), header, sizeof header, 0, path);
    const std::size_t needed = format == MemoFormat::DBase3 ? 4 : format == MemoFormat::DBase4 ? 22 : 8;
    if (got < needed)
        throw Error(ErrorKind::Format, describe(path) + " is too short to hold a memo file header (" +
                                           std::to_string(got) + " bytes)");

    std::uint32_t blockSize = 512;
    std::uint64_t nextFree = 0;
    switch (format) {
    case MemoFormat::DBase3:
        nextFree = le32(header);
        break;
    case MemoFormat::DBase4:
        nextFree = le32(header);
        blockSize = le16(header + 20);
        // 0 is what older writers leave there and means dBASE's fixed 512; an implausible value is
        // damage, and 512 is what nearly every real file uses.
        if (!plausibleDBase4BlockSize(blockSize)) blockSize = 512;
        break;
    case MemoFormat::FoxPro:
        nextFree = be32(header);
        blockSize = be16(header + 6);
        if (blockSize == 0) {
            // FoxPro never stores 0 (SET BLOCKSIZE TO 0 stores 1). Take the size at which the
            // pointer meets the end of the file, else FoxPro's default of 64.
            blockSize = 64;
            if (nextFree > 0 && ceilDiv(size, 512) == nextFree && ceilDiv(size, 64) != nextFree)
                blockSize = 512;
        }
        break;
    }
    auto memo = std::make_unique<MemoFileImpl>(path, format, writable, fd.get(), size, blockSize, nextFree);
    fd.release();
    return memo;
}

void MemoFile::create(const fs::path& path, MemoFormat format, std::uint32_t blockSize,
                      const std::string& tableBaseName) {
    if (blockSize == 0) blockSize = defaultBlockSize(format);
    const bool valid = format == MemoFormat::DBase3   ? blockSize == 512
                       : format == MemoFormat::DBase4 ? plausibleDBase4BlockSize(blockSize)
                                                      : blockSize <= 0xFFFF;
    const char* why = format == MemoFormat::DBase3   ? "dBASE III memo blocks are always 512 bytes"
                      : format == MemoFormat::DBase4 ? "dBASE memo blocks are multiples of 64 up to 32768"
                                                     : "FoxPro block sizes end at 65535";
    if (!valid)
        throw Error(ErrorKind::Unsupported, "cannot create " + describe(path) + " with blocks of " +
                                                std::to_string(blockSize) + " bytes: " + why);

    const std::uint64_t first = firstUsableBlock(blockSize);
    Bytes header(first * blockSize, 0);
    switch (format) {
    case MemoFormat::DBase3:
        putLe32(header.data(), std::uint32_t(first));
        header[16] = 0x03;
        break;
    case MemoFormat::DBase4: {
        putLe32(header.data(), std::uint32_t(first));
        std::string name = tableBaseName.substr(0, 8);
        name.resize(8, ' ');
        std::memcpy(header.data() + 8, name.data(), 8);
        putLe16(header.data() + 20, std::uint16_t(blockSize));
        break;
    }
    case MemoFormat::FoxPro:
        putBe32(header.data(), std::uint32_t(first));
        putBe16(header.data() + 6, std::uint16_t(blockSize));
        break;
    }

    // Never over an existing memo file: it may hold the memos of a table that is still there.
    Fd fd = io::tryOpen(path, O_WRONLY | O_CREAT | O_EXCL);
    if (!fd) throwIo(path, "create");
    try {
        writeAt(fd.get(), header.data(), header.size(), 0, path);
        io::sync(fd.get(), path, "Cannot write the memo file");
    } catch (...) {
        fd.reset();
        ::unlink(path.c_str());
        throw;
    }
}

} // namespace xbase
