// libFuzzer target over tables: open, read every value, write to a copy; only xbase::Error may escape.
//
// Input: the bytes of a .dbf file. When the input holds the marker "\nMEMO--\n", the part before it is the
// table and the part after it the memo file written beside it (.fpt for FoxPro versions, else .dbt).
#include "FuzzWorkDir.h"
#include "xbase/Error.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace xbase;
using fuzzsupport::workDir;
using fuzzsupport::writeBytes;

namespace {

constexpr std::string_view kMemoMarker = "\nMEMO--\n";
// Keep one iteration short: a large table must not turn every run into a slow one.
constexpr std::uint32_t kMaxRecords = 2000;
constexpr std::size_t kMaxFields = 200;
constexpr std::size_t kMaxValues = 5000;

bool isFoxProVersion(std::uint8_t v) {
    return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB;
}

// A harness-detected fault: a value written and read back differently, a count that went wrong.
[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "FINDING: %s\n", what.c_str());
    std::abort();
}

void readAll(const fs::path& path) {
    const auto table = Table::open(path, OpenMode::ReadOnly);
    (void)table->warnings();
    const std::uint32_t records = std::min(table->recordCount(), kMaxRecords);
    const auto& visible = table->visibleFields();
    const std::size_t fields = std::min(visible.size(), kMaxFields);
    std::size_t budget = kMaxValues;
    for (std::uint32_t r = 0; r < records && budget > 0; ++r) {
        (void)table->isDeleted(r);
        if (table->recordBytes(r).size() != table->header().recordLength)
            finding("recordBytes has the wrong size");
        for (std::size_t i = 0; i < fields && budget > 0; ++i, --budget) {
            try {
                (void)table->value(r, visible[i]);
            } catch (const Error&) {
                // A bad memo pointer or undecodable text spoils this value only; go on with the next.
            }
        }
    }
    // Past the last record is an error, not a read of whatever follows.
    try {
        (void)table->recordBytes(table->recordCount());
        finding("recordBytes past the end did not throw");
    } catch (const Error&) {
    }
}

// A value of the field's kind that should fit, and whether decoding must give it back unchanged.
Value sampleFor(const Field& f) {
    switch (f.type) {
    case 'C':
        return std::string("Ab");
    case 'N':
    case 'F':
        return f.decimals ? Value(1.5) : Value(std::int64_t{7});
    case 'D':
        return Date{2024, 2, 29};
    case 'L':
        return true;
    case 'M':
        return std::string("memo text");
    case 'I':
        return std::int64_t{-42};
    case 'Y':
        return 12.5;
    case 'T':
        return DateTime{Date{1999, 12, 31}, 3'600'000};
    case 'B':
        return f.length == 8 ? Value(2.25) : Value(Bytes{1, 2, 3});
    default:
        return std::string("x");
    }
}

bool sameValue(const Value& written, const Value& read) {
    if (written == read) return true;
    // Numbers come back as integer or real depending on the field's decimals.
    auto number = [](const Value& v, double& out) {
        if (auto i = std::get_if<std::int64_t>(&v)) return out = static_cast<double>(*i), true;
        if (auto d = std::get_if<double>(&v)) return out = *d, true;
        return false;
    };
    double a = 0, b = 0;
    return number(written, a) && number(read, b) && a == b;
}

void writeCopy(const fs::path& path) {
    const auto table = Table::open(path, OpenMode::ReadWrite);
    const std::uint32_t before = table->recordCount();
    std::vector<std::uint8_t> record = table->blankRecord();
    if (record.size() != table->header().recordLength) finding("blankRecord has the wrong size");

    std::vector<std::pair<std::size_t, Value>> written;
    const auto& visible = table->visibleFields();
    for (std::size_t i = 0; i < visible.size() && i < 16; ++i) {
        const Field& f = table->fields()[visible[i]];
        const Value v = sampleFor(f);
        try {
            table->encode(record, visible[i], v);
            written.emplace_back(visible[i], v);
        } catch (const Error&) {
            // A refused value is fine: the field may be too narrow or of a type that is not written.
        }
    }

    const std::uint32_t added = table->appendRecord(record);
    if (added != before || table->recordCount() != before + 1)
        finding("appendRecord did not add one record at the end");
    const auto back = table->recordBytes(added);
    if (!std::equal(back.begin(), back.end(), record.begin(), record.end()))
        finding("the appended record reads back different bytes");
    for (const auto& [field, v] : written) {
        const Field& f = table->fields()[field];
        // Only fields whose reading is fully determined by what was written are compared.
        const bool exact =
            (f.type == 'C' && !f.binary && f.length >= 2) || f.type == 'L' || f.type == 'N' ||
            f.type == 'F' || (f.type == 'D' && f.length == 8) ||
            ((f.type == 'I' || f.type == 'Y' || f.type == 'T') && f.length == (f.type == 'I' ? 4 : 8));
        if (!exact) continue;
        Value read;
        try {
            read = table->value(added, field);
        } catch (const Error&) {
            continue; // e.g. a code page that cannot decode; encoding it was then wrong, but rare
        }
        if (!sameValue(v, read))
            finding("field " + f.name + " (" + std::string(1, f.type) +
                    ") does not read back what was written");
    }

    table->setDeleted(added, true);
    if (!table->isDeleted(added)) finding("setDeleted(true) did not mark the record");
    table->setDeleted(added, false);
    if (table->isDeleted(added)) finding("setDeleted(false) did not unmark the record");
    if (before > 0) {
        table->writeRecord(0, record);
        table->setDeleted(0, true);
    }
    table->sync();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& dir = workDir("table");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t marker = input.find(kMemoMarker);
    const std::size_t tableSize = marker == std::string_view::npos ? size : marker;

    const fs::path table = dir / "t.dbf";
    std::error_code ec;
    for (const char* name : {"t.dbt", "t.fpt", "t.cpg", "t.mdx", "t.cdx"})
        fs::remove(dir / name, ec);
    writeBytes(table, data, tableSize);
    if (marker != std::string_view::npos) {
        const bool fox = tableSize > 0 && isFoxProVersion(data[0]);
        const std::size_t memoStart = marker + kMemoMarker.size();
        writeBytes(dir / (fox ? "t.fpt" : "t.dbt"), data + memoStart, size - memoStart);
    }

    try {
        readAll(table);
    } catch (const Error&) {
        return 0; // the table cannot be opened at all: then there is nothing to write to either
    }
    try {
        writeCopy(table);
    } catch (const Error&) {
    }
    // The changed files must still open: a write may not leave a table this layer itself rejects.
    std::unique_ptr<Table> reopened;
    try {
        reopened = Table::open(table, OpenMode::ReadOnly);
    } catch (const Error& e) {
        finding(std::string("the table no longer opens after writing: ") + e.what());
    }
    try {
        if (reopened->recordCount() > 0 && !reopened->visibleFields().empty())
            (void)reopened->value(0, reopened->visibleFields().front());
    } catch (const Error&) {
    }
    return 0;
}
