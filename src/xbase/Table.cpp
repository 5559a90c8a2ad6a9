// Opening a table file: header, memo file, code page, what keeps it from being written; records read in
// blocks on demand; in-place writes.
#include "xbase/Table.h"

#include "xbase/Ascii.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/FieldCodec.h"
#include "xbase/Restructure.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace xbase {

namespace {

std::string quotedNames(const std::vector<fs::path>& files) {
    std::string out;
    for (std::size_t i = 0; i < files.size(); ++i)
        out += (i == 0                  ? ""
                : i + 1 == files.size() ? " and "
                                        : ", ") +
               ("'" + files[i].filename().string() + "'");
    return out;
}

} // namespace

Table::~Table() {
    // A table that lost track of its file (a rollback that failed) must not write into it: another
    // process may have put it back meanwhile.
    if (!m_headerDirty || m_stale) return;
    try {
        flushHeader();
    } catch (...) {
        // Nothing to report to from a destructor; sync() reports the same failure to callers that care.
    }
}

std::unique_ptr<Table> Table::open(const fs::path& path, OpenMode mode, std::chrono::milliseconds lockWait,
                                   const std::string& codePage) {
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) real = path;
    completeRestructure(real, lockWait);
    // The name may lead to another file by the time the lock is taken (a change of structure put its
    // new file in place): then the newer file is opened.
    for (int attempt = 1;; ++attempt) {
        std::unique_ptr<Table> t(new Table);
        t->m_path = path;
        t->m_realPath = real;
        t->m_mode = mode;
        t->m_lockWait = lockWait;
        t->m_chosenCodePage = codePage;
        t->m_fd = io::open(path, mode == OpenMode::ReadWrite ? O_RDWR : O_RDONLY, "Cannot open");
        const struct stat st = io::status(t->m_fd.get(), path);
        if (!S_ISREG(st.st_mode)) throw Error(ErrorKind::Io, "'" + path.string() + "' is not a file.");
        t->m_identity = io::identityOf(t->m_fd.get(), path);
        t->m_lock = std::make_unique<FileLock>(t->m_fd.get());
        try {
            ReadLock reading(
                *t); // reads the header under the shared lock, after undoing an interrupted change
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Changed && attempt < 3) continue;
            throw;
        }
        return t;
    }
}

void Table::rememberHeader() {
    m_headerBytes.assign(m_map.data(),
                         m_map.data() + std::min<std::uint64_t>(m_header.headerLength, m_fileSize));
}

void Table::map() {
    // Room to grow: pages past the end of the file become readable as appends extend it.
    m_map.map(m_fd.get(), static_cast<std::size_t>(m_fileSize + m_fileSize / 2 + (16u << 20)), m_path);
}

void Table::load() {
    m_fileSize = static_cast<std::uint64_t>(io::status(m_fd.get(), m_path).st_size);
    if (m_fileSize == 0) throw Error(ErrorKind::Format, "'" + m_path.string() + "' is empty.");
    map();
    try {
        m_header = parseHeader({m_map.data(), static_cast<std::size_t>(m_fileSize)});
        checkIntact();
    } catch (const Error& e) {
        throw Error(e.kind(), "Cannot read table '" + m_path.string() + "': " + e.what());
    }
    countRecords(true);
    rememberHeader();
    for (std::size_t i = 0; i < m_header.fields.size(); ++i)
        if (!m_header.fields[i].hidden) m_visible.push_back(i);
    if (m_mode == OpenMode::ReadWrite) m_indexes = indexFiles(m_path, m_header);
    openMemo();
    chooseCodePage();
}

// Sets the record count from the header and the file's size; with `report`, warns of what is wrong with
// them.
void Table::countRecords(bool report) {
    auto problem = [&](const std::string& text, bool notable) {
        if (report) warn(text, notable);
    };
    const Header& h = m_header;
    const std::uint64_t area = m_fileSize > h.headerLength ? m_fileSize - h.headerLength : 0;
    const std::uint64_t physical = area / h.recordLength;
    const auto at = [&](std::uint64_t k) { return h.headerLength + k * h.recordLength; };
    m_damage.reset();

    if (h.recordCount > physical) {
        m_recordCount = static_cast<std::uint32_t>(physical);
        m_damage = "the header counts " + std::to_string(h.recordCount) + " records, but the file holds " +
                   std::to_string(physical);
        problem("The header counts " + std::to_string(h.recordCount) + " records, but the file holds " +
                    std::to_string(physical) + "; the rest is missing.",
                true);
    } else {
        // Records past the header's count that are really there (up to an end marker) are read too.
        std::uint64_t n = h.recordCount;
        while (n < physical && m_map.data()[at(n)] != 0x1A)
            ++n;
        m_recordCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, UINT32_MAX));
        if (n > h.recordCount) {
            m_damage = "the file holds " + std::to_string(n) + " records, more than the " +
                       std::to_string(h.recordCount) + " its header counts";
            problem("The file holds " + std::to_string(n) + " records, more than the " +
                        std::to_string(h.recordCount) + " its header counts.",
                    true);
        }
    }
    const std::uint64_t end = at(m_recordCount);
    const bool marked = end < m_fileSize && m_map.data()[end] == 0x1A;
    if (!marked && end < m_fileSize && m_recordCount == physical && area % h.recordLength != 0)
        problem("The file ends in the middle of a record; the partial record is not read.", true);
    // Many programs leave the marker out: worth a note in a dump, not a word to the user.
    if (end >= m_fileSize) problem("The file has no end-of-file marker after its last record.", false);
}

void Table::warn(const std::string& text, bool notable) {
    m_warnings.push_back(text);
    if (notable) m_notableWarnings.push_back(text);
}

void Table::openMemo() {
    if (!m_header.memoFormat) return;
    const auto memoPath = findMemoFile(m_path);
    if (!memoPath) {
        warn("The memo file of '" + m_path.filename().string() + "' is missing; memo fields read as Null.");
        return;
    }
    bool writable = m_mode == OpenMode::ReadWrite;
    if (writable) {
        // The table could be written, its memos not: reading works, changes are refused by name.
        const io::Fd probe = io::tryOpen(*memoPath, O_RDWR);
        if (!probe && (errno == EACCES || errno == EROFS || errno == EPERM)) {
            writable = false;
            m_memoReadOnly = "its memo file '" + memoPath->filename().string() + "' is read-only";
        }
    }
    try {
        m_memoPath = memoPath;
        m_memo = MemoFile::open(*memoPath, *m_header.memoFormat, writable);
    } catch (const Error& e) {
        warn(std::string("The memo file cannot be read: ") + e.what());
        // Its memos read as Null; a change would write memos nobody could find again.
        m_memoReadOnly =
            "its memo file '" + memoPath->filename().string() + "' cannot be opened (" + e.what() + ")";
    }
}

// DOS programs (dBASE III+ and IV with memos, FoxPro 2, Clipper with its .ntx indexes) wrote in the DOS
// code pages; where the text says little either way, those are the likelier reading.
bool Table::writtenUnderDos() const {
    switch (m_header.version) {
    case 0x83:
    case 0x8B:
    case 0x7B:
    case 0xCB:
    case 0xF5:
    case 0xFB:
        return true;
    default:
        const auto indexes = indexFiles(m_path, m_header);
        return std::any_of(indexes.begin(), indexes.end(),
                           [](const fs::path& p) { return ascii::upper(p.extension().string()) == ".NTX"; });
    }
}

void Table::chooseCodePage() {
    std::optional<std::string> name;
    if (!m_chosenCodePage.empty()) name = m_chosenCodePage;
    if (!name) name = CodePage::nameFromCpgFile(m_path);
    if (!name) name = CodePage::nameForLanguageDriver(m_header.languageDriver);
    if (!name && m_header.family == Family::DBase7)
        name = CodePage::nameForDriverName(m_header.languageDriverName);
    m_detectedCodePage = !name;
    if (!name) {
        const std::vector<std::string> samples = textSamples();
        name = CodePage::detect(std::vector<std::string_view>(samples.begin(), samples.end()),
                                writtenUnderDos());
    }
    try {
        m_codePage = CodePage::byName(*name);
    } catch (const Error& e) {
        throw Error(ErrorKind::Unsupported, "Cannot read table '" + m_path.string() + "': " + e.what());
    }
    for (auto& f : m_header.fields)
        f.name = m_codePage.decode(f.name);
}

// What the table's own text says about its code page: field names, character fields of records spread
// over the table, and text memos (without dBASE's soft returns, which are no letters).
std::vector<std::string> Table::textSamples() const {
    std::vector<std::string> samples;
    for (const auto& f : m_header.fields)
        samples.push_back(f.name);
    const std::uint32_t step = std::max<std::uint32_t>(1, m_recordCount / 4000);
    for (std::uint32_t r = 0; r < m_recordCount; r += step) {
        const auto rec = recordBytes(r);
        for (const auto& f : m_header.fields)
            if ((f.type == 'C' || f.type == 'V') && !f.binary)
                samples.emplace_back(reinterpret_cast<const char*>(rec.data() + f.offset), f.length);
    }
    if (!m_memo) return samples;
    const CodePage latin1 = CodePage::byName("ISO-8859-1");
    const std::uint32_t memoStep = std::max<std::uint32_t>(1, m_recordCount / 200);
    for (std::uint32_t r = 0; r < m_recordCount; r += memoStep) {
        const auto rec = recordBytes(r);
        for (std::size_t i = 0; i < m_header.fields.size(); ++i) {
            if (m_header.fields[i].type != 'M') continue;
            try {
                // Latin-1 hands the bytes through one for one.
                const Value v = codec::decode({m_header, latin1, m_memo.get()}, rec, i);
                const auto* text = std::get_if<std::string>(&v);
                if (!text) continue;
                std::string bytes = latin1.encode(*text);
                for (std::size_t at; (at = bytes.find("\x8D\n")) != std::string::npos;)
                    bytes.erase(at, 2);
                samples.push_back(std::move(bytes));
            } catch (const Error&) {
                // A memo that cannot be read says nothing about the code page.
            }
        }
    }
    return samples;
}

int Table::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_header.fields.size(); ++i)
        if (ascii::equalsIgnoreCase(m_header.fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

// ---- reading ---------------------------------------------------------------------------------------

void Table::readFellShort() const {
    struct stat st {};
    const std::uint64_t needed = m_header.headerLength + std::uint64_t(m_recordCount) * m_header.recordLength;
    if (::fstat(m_fd.get(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= needed) {
        m_stale = true;
        throw Error(ErrorKind::Io,
                    "Cannot read '" + m_path.string() +
                        "': part of the file could not be read from the disk (an input/output error).");
    }
    changed("it was cut short while it was read");
}

void Table::badRecord(std::uint32_t record) const {
    checkIntact();
    throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " does not exist.");
}

void Table::findDeleted(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& deleted) const {
    to = std::min(to, m_recordCount);
    if (from >= to) return;
    const std::uint8_t* flag =
        m_map.data() + m_header.headerLength + static_cast<std::uint64_t>(from) * m_header.recordLength;
    for (std::uint32_t r = from; r < to; ++r, flag += m_header.recordLength)
        if (*flag == '*') deleted.push_back(r);
    checkIntact();
}

bool Table::isDeleted(std::uint32_t record) const {
    return recordBytes(record)[0] == '*';
}

Value Table::value(std::uint32_t record, std::size_t field) const {
    Value v = decode(recordBytes(record), field);
    checkIntact();
    return v;
}

Value Table::decode(std::span<const std::uint8_t> record, std::size_t field) const {
    return codec::decode({m_header, m_codePage, m_memo.get()}, record, field);
}

// ---- writing ---------------------------------------------------------------------------------------

void Table::encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value) {
    checkWritable();
    codec::encode({m_header, m_codePage, m_memo.get()}, record, field, value);
}

std::vector<std::uint8_t> Table::blankRecord() const {
    return codec::blankRecord(m_header);
}

std::optional<std::string> Table::refusal() const {
    const std::string name = "Table '" + m_path.filename().string() + "'";
    if (m_mode != OpenMode::ReadWrite) return name + " is open for reading only.";
    if (m_memoReadOnly) return name + " cannot be changed: " + *m_memoReadOnly + ".";
    if (!m_indexes.empty())
        return name + " has the index file" + (m_indexes.size() > 1 ? "s " : " ") + quotedNames(m_indexes) +
               ", which this program does not maintain; changing the table would leave " +
               (m_indexes.size() > 1 ? "them" : "it") + " out of date, so it is not changed.";
    if (m_damage)
        return name + " is damaged (" + *m_damage +
               "); it is not changed, so that the file stays as it is for repair.";
    return std::nullopt;
}

void Table::checkWritable() const {
    if (auto why = refusal()) throw Error(ErrorKind::ReadOnly, *why);
}

void Table::writeRecord(std::uint32_t record, std::span<const std::uint8_t> bytes) {
    checkWritable();
    if (record >= m_recordCount || bytes.size() != m_header.recordLength)
        throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " cannot be written.");
    io::write(m_fd.get(), bytes.data(), bytes.size(),
              m_header.headerLength + static_cast<std::uint64_t>(record) * m_header.recordLength, m_path);
    m_headerDirty = true;
}

std::uint32_t Table::appendRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != m_header.recordLength)
        throw Error(ErrorKind::Value, "A record of the wrong length cannot be appended.");
    appendRecords(bytes);
    return m_recordCount - 1;
}

void Table::appendRecords(std::span<const std::uint8_t> records) {
    checkWritable();
    const std::uint64_t count = records.size() / m_header.recordLength;
    if (count == 0) return;
    if (m_recordCount + count > 0xFFFFFFFFull) throw Error(ErrorKind::Value, "The table is full.");
    const std::uint64_t at =
        m_header.headerLength + static_cast<std::uint64_t>(m_recordCount) * m_header.recordLength;
    std::vector<std::uint8_t> out(records.begin(), records.end());
    out.push_back(0x1A);
    // The records and the end marker go first; the header's count follows in flushHeader(), so that the
    // count never covers a record that is not on disk.
    io::write(m_fd.get(), out.data(), out.size(), at, m_path);
    m_fileSize = std::max<std::uint64_t>(m_fileSize, at + out.size());
    if (m_fileSize > m_map.length()) map();
    m_headerDirty = true;
    m_recordCount += static_cast<std::uint32_t>(count);
}

void Table::reread() {
    m_headerDirty = false;
    m_fileSize = static_cast<std::uint64_t>(io::status(m_fd.get(), m_path).st_size);
    if (m_fileSize > m_map.length() || m_map.cutShort()) map();
    m_header.recordCount = parseHeader({m_map.data(), static_cast<std::size_t>(m_fileSize)}).recordCount;
    countRecords(false);
    rememberHeader();
    m_memo.reset();
    m_memoPath.reset();
    m_memoReadOnly.reset();
    openMemo();
}

void Table::setDeleted(std::uint32_t record, bool deleted) {
    checkWritable();
    (void)recordBytes(record);
    const std::uint8_t flag = deleted ? '*' : ' ';
    io::write(m_fd.get(), &flag, 1,
              m_header.headerLength + static_cast<std::uint64_t>(record) * m_header.recordLength, m_path);
    m_headerDirty = true;
}

void Table::flushHeader() {
    // Count and date of last update (bytes 1-7; dBASE II keeps them elsewhere and is written the same way
    // in its own places).
    const Date d = today();
    if (m_header.family == Family::DBase2) {
        const std::uint8_t two[5] = {static_cast<std::uint8_t>(m_recordCount),
                                     static_cast<std::uint8_t>(m_recordCount >> 8),
                                     static_cast<std::uint8_t>(d.month), static_cast<std::uint8_t>(d.day),
                                     static_cast<std::uint8_t>(d.year % 100)};
        io::write(m_fd.get(), two, sizeof two, 1, m_path);
    } else {
        std::uint8_t bytes[7];
        const bool fox = m_header.family == Family::VisualFoxPro || m_header.family == Family::FoxPro;
        bytes[0] = static_cast<std::uint8_t>(fox ? d.year % 100 : d.year - 1900);
        bytes[1] = static_cast<std::uint8_t>(d.month);
        bytes[2] = static_cast<std::uint8_t>(d.day);
        for (int i = 0; i < 4; ++i)
            bytes[3 + i] = static_cast<std::uint8_t>(m_recordCount >> (8 * i));
        io::write(m_fd.get(), bytes, sizeof bytes, 1, m_path);
    }
    m_header.recordCount = m_recordCount;
    m_headerDirty = false;
}

void Table::sync() {
    if (m_mode != OpenMode::ReadWrite) return;
    if (m_memo) m_memo->sync();
    io::sync(m_fd.get(), m_path);
    if (m_headerDirty) {
        flushHeader();
        io::sync(m_fd.get(), m_path);
    }
}

} // namespace xbase
