// A dBASE table file (.dbf) with its memo file: random access to records, in-place writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "CodePage.h"
#include "Field.h"
#include "Header.h"
#include "MemoFile.h"
#include "Value.h"

namespace xbase {

enum class OpenMode { ReadOnly, ReadWrite };

// What a new field should be; used to create tables and to change their structure.
struct FieldSpec {
    std::string name;
    char type = 'C';
    std::uint32_t length = 0; // ignored for D (8), L (1), M (10)
    std::uint8_t decimals = 0;
};

class Table {
public:
    // Opens a table; first rolls back a change that an earlier process left unfinished (see Journal).
    // Throws Error(Io) when the file cannot be opened, Error(Format/Unsupported) when
    // it is not a table this layer can read. A missing memo file or a short file is not an error:
    // the table opens and warnings() says what is wrong.
    static std::unique_ptr<Table> open(const std::filesystem::path& path, OpenMode mode = OpenMode::ReadOnly);

    // Creates a dBASE III table (0x03, or 0x83 with a .dbt when a memo field is present) whose text is
    // written in the named code page. Refuses to overwrite an existing file.
    static std::unique_ptr<Table> create(const std::filesystem::path& path, const std::vector<FieldSpec>& fields,
                                         const std::string& codePage = "CP1252");

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    const Header& header() const { return m_header; }
    const std::vector<Field>& fields() const { return m_header.fields; }
    // Indexes into fields() of the fields a user sees (all but hidden system fields).
    const std::vector<std::size_t>& visibleFields() const { return m_visible; }
    // Index of the field with this name, compared without regard to ASCII case; -1 when none.
    int fieldIndex(std::string_view name) const;
    const CodePage& codePage() const { return m_codePage; }
    bool writable() const { return m_mode == OpenMode::ReadWrite; }
    // Throws Error(ReadOnly) when the table cannot be changed: opened for reading, or it has a production
    // index this layer does not maintain.
    void checkWritable() const;
    // True when checkWritable() would not throw.
    bool canWrite() const { return m_mode == OpenMode::ReadWrite && !m_index; }
    // Problems found on open that do not stop reading: short file, missing memo file, ...
    const std::vector<std::string>& warnings() const { return m_warnings; }

    // Records really present in the file (never more than the file holds).
    std::uint32_t recordCount() const { return m_recordCount; }
    bool isDeleted(std::uint32_t record) const;
    // Appends the numbers of the deleted records in [from, to) to `deleted`; a tight loop over the
    // deletion flags for callers that count live records of a big table.
    void findDeleted(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& deleted) const;
    // The raw bytes of a record (deletion flag first). Valid until the next write that grows the file.
    std::span<const std::uint8_t> recordBytes(std::uint32_t record) const;
    // The value of one field. Throws Error(Memo) for a memo pointer outside its file and
    // Error(CodePage) for text the code page cannot decode; malformed numbers and dates read as Null.
    Value value(std::uint32_t record, std::size_t field) const;
    // Decodes a field from a record's bytes (for callers that hold the bytes already).
    Value decode(std::span<const std::uint8_t> record, std::size_t field) const;

    // Encodes values into a record buffer (a copy of an existing record, or blankRecord()).
    // Throws Error(Value/CodePage) naming the field when a value does not fit; the buffer is then
    // unchanged. Memo values are appended to the memo file here.
    void encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value);
    std::vector<std::uint8_t> blankRecord() const;

    // In-place writes. Each keeps the header's date and count right and the end marker in place.
    void writeRecord(std::uint32_t record, std::span<const std::uint8_t> bytes);
    std::uint32_t appendRecord(std::span<const std::uint8_t> bytes);
    void setDeleted(std::uint32_t record, bool deleted);
    // Cuts the table back to this many records (undo of appends).
    void truncateRecords(std::uint32_t count);
    MemoFile* memoFile() const { return m_memo.get(); }
    const std::optional<std::filesystem::path>& memoPath() const { return m_memoPath; }
    std::uint64_t fileSize() const { return m_fileSize; }
    // Uses this memo file instead of the one found beside the table (for tables written under a
    // temporary name).
    void attachMemo(std::unique_ptr<MemoFile> memo) { m_memo = std::move(memo); }
    void useCodePage(const CodePage& codePage) { m_codePage = codePage; }
    // Reads the header, size and memo file again after the files were changed behind this object (a
    // rollback, another program). Pointers from recordBytes() become invalid.
    void reload();
    // Flushes the records and memo blocks to disk, then writes the header's count and date and flushes
    // again, so the count never covers records that are not on disk. The destructor writes the header too.
    void sync();

    // True when no .cpg file or language driver named the code page and it was guessed from the text.
    bool codePageDetected() const { return m_detectedCodePage; }

private:
    Table() = default;
    void map();
    void countRecords();
    void openMemo();
    void chooseCodePage();
    void flushHeader();

    std::filesystem::path m_path;
    OpenMode m_mode = OpenMode::ReadOnly;
    int m_fd = -1;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_mapped = 0;
    std::uint64_t m_fileSize = 0;
    Header m_header;
    std::vector<std::size_t> m_visible;
    CodePage m_codePage = CodePage::utf8();
    std::unique_ptr<MemoFile> m_memo;
    std::optional<std::filesystem::path> m_memoPath;
    std::uint32_t m_recordCount = 0;
    std::vector<std::string> m_warnings;
    std::optional<std::filesystem::path> m_index; // production index that writes would leave stale
    bool m_headerDirty = false;                  // count/date to be written by flushHeader()
    bool m_detectedCodePage = false;
};

// Structural change: writes a new table beside the old one with these fields (values of fields whose
// names match are copied, new fields blank) and renames it over the original, memo file included.
// A failure midway leaves the original files untouched.
void restructure(const std::filesystem::path& path, const std::vector<FieldSpec>& fields);

} // namespace xbase
