// Memo files (.dbt of dBASE III and IV/7, .fpt of FoxPro): reading and appending memo blocks.
#pragma once

#include "Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace xbase {

enum class MemoFormat {
    DBase3, // .dbt, 512-byte blocks, text ended by 0x1A 0x1A
    DBase4, // .dbt, block size in the header, FF FF 08 00 + length prefix
    FoxPro, // .fpt, big-endian header, type + length prefix
};

// The memo file that belongs to a table: same base name, .dbt or .fpt in any case of the extension.
std::optional<std::filesystem::path> findMemoFile(const std::filesystem::path& dbfPath);

class MemoFile {
public:
    struct Block {
        Bytes data;
        std::uint32_t type = 1; // FoxPro block type: 0 picture/binary, 1 text, 2 OLE; 1 for .dbt
    };

    virtual ~MemoFile() = default;

    // Throws Error(Io) when the file cannot be opened, Error(Format) when its header is unusable.
    static std::unique_ptr<MemoFile> open(const std::filesystem::path& path, MemoFormat format,
                                          bool writable);
    // Writes an empty memo file (header only). blockSize 0 picks the format's default (512 / 64).
    static void create(const std::filesystem::path& path, MemoFormat format, std::uint32_t blockSize = 0,
                       const std::string& tableBaseName = {});

    // The memo starting at this block. Throws Error(Memo) when the block or its length points
    // outside the file.
    virtual Block read(std::uint64_t block) const = 0;
    // Appends a memo at the end and advances the next-free pointer; returns its first block.
    virtual std::uint64_t append(std::span<const std::uint8_t> data, std::uint32_t type = 1) = 0;
    // Header state before an append, so that a failed statement can put the file back.
    virtual std::uint64_t nextFreeBlock() const = 0;
    // Puts the next-free pointer back and cuts the file after it (undo of appends).
    virtual void truncateTo(std::uint64_t nextFree) = 0;
    virtual void sync() = 0;
    virtual std::uint32_t blockSize() const = 0;
    virtual MemoFormat format() const = 0;
};

} // namespace xbase
