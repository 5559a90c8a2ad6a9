// A dBASE table file (.dbf) with its memo file: records read from a mapping of the file, shared with
// other processes through the locks of FileLock, changed through a Change.
#pragma once

#include "CodePage.h"
#include "Field.h"
#include "FileIo.h"
#include "FileLock.h"
#include "Header.h"
#include "Mapping.h"
#include "MemoFile.h"
#include "Value.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

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
    // Opens a table. A change that an earlier process left unfinished is undone first (see Journal),
    // and an interrupted change of structure is completed. Throws Error(Io) when the file cannot be
    // opened, Error(Format/Unsupported) when it is not a table this layer can read, Error(Interrupted)
    // when an unfinished change cannot be undone here, Error(LockedForReading) when a writer holds it
    // longer than lockWait. A missing memo file or a short file is not an error: the table opens and
    // warnings() says what is wrong.
    // `codePage`, when not empty, is the code page the user chose for the table's text; it wins over what
    // the file says (see chooseCodePage).
    static std::unique_ptr<Table> open(const std::filesystem::path& path, OpenMode mode = OpenMode::ReadOnly,
                                       std::chrono::milliseconds lockWait = kDefaultLockWait,
                                       const std::string& codePage = {});

    // Creates a dBASE III table (0x03, or 0x83 with a .dbt when a memo field is present) whose text is
    // written in the named code page. Refuses when the table or a file that would belong to it (memo,
    // .cpg, journal) exists already.
    static std::unique_ptr<Table> create(const std::filesystem::path& path,
                                         const std::vector<FieldSpec>& fields,
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
    // Throws Error(ReadOnly) when the table cannot be changed: opened for reading, its memo file is
    // read-only, it has index files this layer does not maintain, or it is damaged.
    void checkWritable() const;
    // True when checkWritable() would not throw.
    bool canWrite() const { return !refusal(); }
    // Problems found on open that do not stop reading: short file, missing memo file, ...
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // Those of them a user should hear of when the table opens (all but the commonly missing
    // end-of-file marker).
    const std::vector<std::string>& notableWarnings() const { return m_notableWarnings; }
    std::chrono::milliseconds lockWait() const { return m_lockWait; }

    // ---- reading ---------------------------------------------------------------------------------
    // Readers hold the shared lock while they read: a change of another process is then either wholly
    // in the file or not at all. Taking it (when this object holds it nowhere else) reads the header
    // again, so that changes committed since are seen; it throws Error(Changed) when the file was
    // replaced, removed or given another structure since, Error(LockedForReading) when a writer keeps
    // it longer than lockWait(), Error(Interrupted) when an unfinished change cannot be undone here.
    class ReadLock {
    public:
        // Waits up to `wait` (the table's lockWait() when not given) for a writer that commits.
        explicit ReadLock(Table& table, std::optional<std::chrono::milliseconds> wait = std::nullopt);
        ~ReadLock();
        ReadLock(const ReadLock&) = delete;
        ReadLock& operator=(const ReadLock&) = delete;

    private:
        Table& m_table;
    };

    // Records in the file as of the last time the header was read (never more than the file holds).
    std::uint32_t recordCount() const { return m_recordCount; }
    // Counts the times records vanished under this object (another program cut or packed the file):
    // record numbers read before a change of this count may name other records now.
    std::uint64_t generation() const { return m_generation; }
    bool isDeleted(std::uint32_t record) const;
    // Appends the numbers of the deleted records in [from, to) to `deleted`; a tight loop over the
    // deletion flags for callers that count live records of a big table.
    void findDeleted(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& deleted) const;
    // The raw bytes of a record (deletion flag first). Valid until the next write that grows the file
    // or the next taking of the shared lock. Throws Error(Changed) once the file was cut short under
    // this reader.
    std::span<const std::uint8_t> recordBytes(std::uint32_t record) const {
        if (record >= m_recordCount || m_map.cutShort()) badRecord(record);
        return {m_map.data() + m_header.headerLength + std::uint64_t(record) * m_header.recordLength,
                m_header.recordLength};
    }
    // Throws Error(Changed) when bytes read from the file since it was last mapped were not the file's
    // (another program cut it short meanwhile, and they read as zeros): whatever was made of them is
    // to be thrown away.
    void checkIntact() const {
        if (m_map.cutShort()) readFellShort();
    }
    // The value of one field. Throws Error(Memo) for a memo pointer outside its file and
    // Error(CodePage) for text the code page cannot decode; malformed numbers and dates read as Null.
    Value value(std::uint32_t record, std::size_t field) const;
    // Decodes a field from a record's bytes (for callers that hold the bytes already).
    Value decode(std::span<const std::uint8_t> record, std::size_t field) const;

    // ---- writing ---------------------------------------------------------------------------------
    // Encodes values into a record buffer (a copy of an existing record, or blankRecord()).
    // Throws Error(Value/CodePage) naming the field when a value does not fit; the buffer is then
    // unchanged. Memo values are appended to the memo file here.
    void encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value);
    std::vector<std::uint8_t> blankRecord() const;

    // In-place writes. Each keeps the header's date and count right and the end marker in place. Other
    // processes must not read meanwhile: callers hold the exclusive lock (a Change does), or the file is
    // new and known to nobody else yet.
    void writeRecord(std::uint32_t record, std::span<const std::uint8_t> bytes);
    std::uint32_t appendRecord(std::span<const std::uint8_t> bytes);
    void setDeleted(std::uint32_t record, bool deleted);
    const std::optional<std::filesystem::path>& memoPath() const { return m_memoPath; }
    std::uint64_t fileSize() const { return m_fileSize; }
    // Uses this memo file instead of the one found beside the table (for tables written under a
    // temporary name).
    void attachMemo(std::unique_ptr<MemoFile> memo) { m_memo = std::move(memo); }
    void useCodePage(const CodePage& codePage) { m_codePage = codePage; }
    // Flushes the records and memo blocks to disk, then writes the header's count and date and flushes
    // again, so the count never covers records that are not on disk. The destructor writes the header too.
    void sync();

    // True when no choice of the user, .cpg file or language driver named the code page and it was
    // guessed from the text.
    bool codePageDetected() const { return m_detectedCodePage; }
    // True when the code page is the one the user chose at open().
    bool codePageChosen() const { return !m_chosenCodePage.empty(); }
    // True once this object found its file replaced, removed or restructured, or lost track of it in a
    // failed rollback: it must be opened again.
    bool stale() const { return m_stale; }

private:
    friend class Change;
    friend class Journal;

    Table() = default;
    void load();
    void refresh();
    void countRecords(bool report);
    void warn(const std::string& text, bool notable = true);
    void openMemo();
    // The code page of the text: the user's choice, else a .cpg file, the language driver id, a level-7
    // driver name, else what the text itself suggests (see CodePage::detect). Field names are decoded
    // with it.
    void chooseCodePage();
    std::vector<std::string> textSamples() const;
    bool writtenUnderDos() const;
    void flushHeader();
    // Maps the file with room to grow; again when it outgrew the mapping or a read fell past its end.
    void map();
    [[noreturn]] void badRecord(std::uint32_t record) const;
    // A read of the mapping found no file under it: cut short by another program, or a disk (a network
    // folder) that could not deliver the page.
    [[noreturn]] void readFellShort() const;
    // Writes records (back to back) after the last one, with the end marker; for a Change's appends.
    void appendRecords(std::span<const std::uint8_t> records);
    // After a rollback put the files back: the count from the header on disk, the memo file anew.
    void reread();
    std::optional<std::string> refusal() const;
    [[noreturn]] void changed(const std::string& how) const;

    // The shared lock, counted: taken by the first holder in this object, released by the last.
    void lockShared(std::chrono::milliseconds wait);
    void unlockShared() noexcept;
    void acquireShared(std::chrono::milliseconds wait);
    // Throws Error(Changed) when the table's name no longer leads to the file this object opened.
    void checkIdentity() const;
    static std::chrono::milliseconds remaining(std::chrono::steady_clock::time_point deadline);
    // Undoes a change whose writer died, holding the shared lock; false when the shared lock is to be
    // taken again (after the repair, or while another process is at it).
    bool repairInterrupted(std::chrono::steady_clock::time_point deadline);
    // Keeps the header's bytes, to tell at the next look whether anything was committed since.
    void rememberHeader();

    std::filesystem::path m_path;
    std::filesystem::path m_realPath; // through symbolic links: where the journal and its kin lie
    OpenMode m_mode = OpenMode::ReadOnly;
    std::chrono::milliseconds m_lockWait = kDefaultLockWait;
    io::Fd m_fd;
    std::unique_ptr<FileLock> m_lock;
    int m_readers = 0;
    io::FileIdentity m_identity;
    std::uint64_t m_fileSize = 0;
    Header m_header;
    std::vector<std::uint8_t> m_headerBytes;
    std::vector<std::size_t> m_visible;
    CodePage m_codePage = CodePage::utf8();
    std::unique_ptr<MemoFile> m_memo;
    std::optional<std::filesystem::path> m_memoPath;
    std::optional<std::string> m_memoReadOnly; // why the memo file cannot be written
    std::uint32_t m_recordCount = 0;
    std::uint64_t m_generation = 0;
    std::vector<std::string> m_warnings;
    std::vector<std::string> m_notableWarnings;
    std::optional<std::string> m_damage;          // why writes would destroy evidence
    std::vector<std::filesystem::path> m_indexes; // index files that writes would leave stale
    bool m_headerDirty = false;                   // count/date to be written by flushHeader()
    bool m_detectedCodePage = false;
    std::string m_chosenCodePage;
    mutable bool m_stale = false;
    Mapping m_map;
};

// Structural change: writes a new table beside the old one with these fields (values of fields whose
// names match are copied, new fields blank) and puts it and its memo file in place of the old ones
// together: a failure, or a crash at any moment, leaves the old pair or the new pair (an interrupted
// change is completed when the table is next opened). A table reached through a symbolic link is
// changed where the link points.
void restructure(const std::filesystem::path& path, const std::vector<FieldSpec>& fields,
                 std::chrono::milliseconds lockWait = kDefaultLockWait);

// Removes a table and the files that belong to it (companionFiles), after another program's change
// of it has ended (waiting up to lockWait). The table file goes first: a crash midway leaves files
// nobody reads, never a table without its memo file. Throws Error(LockedForWriting, Io).
void dropTable(const std::filesystem::path& path, std::chrono::milliseconds lockWait = kDefaultLockWait);

} // namespace xbase
