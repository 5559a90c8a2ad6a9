// Opening a table file: header, memo file, code page, a mapping of the records; reads and in-place writes.
#include "xbase/Table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "xbase/Error.h"
#include "xbase/FieldCodec.h"
#include "xbase/Journal.h"

namespace fs = std::filesystem;

namespace xbase {

namespace {

[[noreturn]] void ioError(const std::string& what, const fs::path& path) {
    throw Error(ErrorKind::Io, what + " '" + path.string() + "': " + std::strerror(errno));
}

void writeAll(int fd, const void* data, std::size_t size, std::uint64_t offset, const fs::path& path) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ioError("Cannot write", path);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A production index beside the table, which writes would leave stale.
std::optional<fs::path> productionIndex(const fs::path& path, const Header& h) {
    std::error_code ec;
    const std::string base = lower(path.stem().string());
    for (const auto& entry : fs::directory_iterator(path.parent_path().empty() ? "." : path.parent_path(), ec)) {
        const std::string ext = lower(entry.path().extension().string());
        if ((ext == ".mdx" || ext == ".cdx") && lower(entry.path().stem().string()) == base)
            return entry.path();
    }
    const bool flagged = (h.tableFlags & 0x01) && h.family != Family::DBase3 && h.family != Family::DBase2;
    if (flagged) {
        fs::path index = path;
        index.replace_extension(h.family == Family::VisualFoxPro || h.family == Family::FoxPro ? ".cdx" : ".mdx");
        return index;
    }
    return std::nullopt;
}

// Level-7 tables may leave the driver id at 0 and name the driver instead (DB437US0, DBWINUS0, ...).
std::optional<std::string> codePageFromDriverName(const std::string& name) {
    if (name.rfind("DBWIN", 0) == 0)
        return "CP1252";
    if (name.size() >= 5 && name.rfind("DB", 0) == 0 && std::isdigit(static_cast<unsigned char>(name[2])))
        return "CP" + name.substr(2, 3);
    return std::nullopt;
}

} // namespace


Table::~Table() {
    try {
        if (m_headerDirty)
            flushHeader();
    } catch (const Error&) {
        // Nothing to report to from a destructor; sync() reports the same failure to callers that care.
    }
    if (m_data)
        ::munmap(const_cast<std::uint8_t*>(m_data), m_mapped);
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<Table> Table::open(const fs::path& path, OpenMode mode) {
    std::unique_ptr<Table> t(new Table);
    t->m_path = path;
    try {
        if (Journal::recover(path))
            t->m_warnings.push_back("A change that was interrupted earlier has been undone.");
    } catch (const Error& e) {
        t->m_warnings.push_back(std::string("A change that was interrupted earlier could not be undone: ") + e.what());
    }
    t->m_mode = mode;
    t->m_fd = ::open(path.c_str(), (mode == OpenMode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (t->m_fd < 0)
        ioError("Cannot open", path);
    struct stat st {};
    if (::fstat(t->m_fd, &st) != 0)
        ioError("Cannot read", path);
    if (!S_ISREG(st.st_mode))
        throw Error(ErrorKind::Io, "'" + path.string() + "' is not a file.");
    t->m_fileSize = static_cast<std::uint64_t>(st.st_size);
    if (t->m_fileSize == 0)
        throw Error(ErrorKind::Format, "'" + path.string() + "' is empty.");
    t->map();
    try {
        t->m_header = parseHeader({t->m_data, static_cast<std::size_t>(t->m_fileSize)});
    } catch (const Error& e) {
        throw Error(e.kind(), "Cannot read table '" + path.string() + "': " + e.what());
    }
    t->countRecords();
    for (std::size_t i = 0; i < t->m_header.fields.size(); ++i)
        if (!t->m_header.fields[i].hidden)
            t->m_visible.push_back(i);
    t->openMemo();
    t->chooseCodePage();
    if (mode == OpenMode::ReadWrite)
        t->m_index = productionIndex(path, t->m_header);
    return t;
}

void Table::reload() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        ioError("Cannot read", m_path);
    m_fileSize = static_cast<std::uint64_t>(st.st_size);
    if (m_fileSize == 0)
        throw Error(ErrorKind::Format, "'" + m_path.string() + "' is empty.");
    map();
    const Header fresh = parseHeader({m_data, static_cast<std::size_t>(m_fileSize)});
    if (fresh.headerLength != m_header.headerLength || fresh.recordLength != m_header.recordLength ||
        fresh.fields.size() != m_header.fields.size())
        throw Error(ErrorKind::Format, "The structure of '" + m_path.string() + "' has changed; open it again.");
    m_header = fresh;
    m_warnings.clear();
    m_headerDirty = false;
    countRecords();
    m_memo.reset();
    m_memoPath.reset();
    openMemo();
}

void Table::map() {
    if (m_data)
        ::munmap(const_cast<std::uint8_t*>(m_data), m_mapped);
    m_data = nullptr;
    // Reserve room to grow: pages past the end of the file become readable as appends extend it.
    m_mapped = static_cast<std::size_t>(m_fileSize + m_fileSize / 2 + (16u << 20));
    void* p = ::mmap(nullptr, m_mapped, PROT_READ, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED)
        ioError("Cannot map", m_path);
    m_data = static_cast<const std::uint8_t*>(p);
}

void Table::countRecords() {
    const Header& h = m_header;
    const std::uint64_t area = m_fileSize > h.headerLength ? m_fileSize - h.headerLength : 0;
    const std::uint64_t physical = area / h.recordLength;
    const auto at = [&](std::uint64_t k) { return h.headerLength + k * h.recordLength; };

    if (h.recordCount > physical) {
        m_recordCount = static_cast<std::uint32_t>(physical);
        m_warnings.push_back("The header counts " + std::to_string(h.recordCount) + " records, but the file holds " +
                             std::to_string(physical) + "; the rest is missing.");
    } else {
        // Records past the header's count that are really there (up to an end marker) are read too.
        std::uint64_t n = h.recordCount;
        while (n < physical && m_data[at(n)] != 0x1A)
            ++n;
        m_recordCount = static_cast<std::uint32_t>(n);
        if (n > h.recordCount)
            m_warnings.push_back("The file holds " + std::to_string(n) + " records, more than the " +
                                 std::to_string(h.recordCount) + " its header counts.");
    }
    const std::uint64_t end = at(m_recordCount);
    if (end < m_fileSize && m_data[end] != 0x1A && m_recordCount == physical && area % h.recordLength != 0)
        m_warnings.push_back("The file ends in the middle of a record; the partial record is not read.");
    if (end >= m_fileSize)
        m_warnings.push_back("The file has no end-of-file marker after its last record.");
}

void Table::openMemo() {
    if (!m_header.memoFormat)
        return;
    const auto memoPath = findMemoFile(m_path);
    if (!memoPath) {
        m_warnings.push_back("The memo file of '" + m_path.filename().string() +
                             "' is missing; memo fields read as Null.");
        return;
    }
    try {
        m_memoPath = memoPath;
        m_memo = MemoFile::open(*memoPath, *m_header.memoFormat, m_mode == OpenMode::ReadWrite);
    } catch (const Error& e) {
        m_warnings.push_back(std::string("The memo file cannot be read: ") + e.what());
    }
}

void Table::chooseCodePage() {
    std::optional<std::string> name = CodePage::nameFromCpgFile(m_path);
    if (!name)
        name = CodePage::nameForLanguageDriver(m_header.languageDriver);
    if (!name && m_header.family == Family::DBase7)
        name = codePageFromDriverName(m_header.languageDriverName);
    if (!name) {
        // No word from the file: decide from a sample of its own text, spread over the table.
        std::vector<std::string_view> samples;
        const std::uint32_t step = std::max<std::uint32_t>(1, m_recordCount / 4000);
        for (std::uint32_t r = 0; r < m_recordCount; r += step) {
            const auto rec = recordBytes(r);
            for (const auto& f : m_header.fields)
                if ((f.type == 'C' || f.type == 'V') && !f.binary)
                    samples.emplace_back(reinterpret_cast<const char*>(rec.data() + f.offset), f.length);
        }
        name = CodePage::detect(samples);
        m_detectedCodePage = true;
    }
    try {
        m_codePage = CodePage::byName(*name);
    } catch (const Error& e) {
        throw Error(ErrorKind::Unsupported, "Cannot read table '" + m_path.string() + "': " + e.what());
    }
}

int Table::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < m_header.fields.size(); ++i) {
        const std::string& f = m_header.fields[i].name;
        if (f.size() == name.size() &&
            std::equal(f.begin(), f.end(), name.begin(), [](unsigned char a, unsigned char b) {
                return std::tolower(a) == std::tolower(b);
            }))
            return static_cast<int>(i);
    }
    return -1;
}

std::span<const std::uint8_t> Table::recordBytes(std::uint32_t record) const {
    if (record >= m_recordCount)
        throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " does not exist.");
    return {m_data + m_header.headerLength + static_cast<std::uint64_t>(record) * m_header.recordLength,
            m_header.recordLength};
}

void Table::findDeleted(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& deleted) const {
    to = std::min(to, m_recordCount);
    const std::uint8_t* flag = m_data + m_header.headerLength + static_cast<std::uint64_t>(from) * m_header.recordLength;
    for (std::uint32_t r = from; r < to; ++r, flag += m_header.recordLength)
        if (*flag == '*')
            deleted.push_back(r);
}

bool Table::isDeleted(std::uint32_t record) const { return recordBytes(record)[0] == '*'; }

Value Table::value(std::uint32_t record, std::size_t field) const { return decode(recordBytes(record), field); }

Value Table::decode(std::span<const std::uint8_t> record, std::size_t field) const {
    return codec::decode({m_header, m_codePage, m_memo.get()}, record, field);
}

void Table::encode(std::vector<std::uint8_t>& record, std::size_t field, const Value& value) {
    checkWritable();
    codec::encode({m_header, m_codePage, m_memo.get()}, record, field, value);
}

std::vector<std::uint8_t> Table::blankRecord() const { return codec::blankRecord(m_header); }

void Table::checkWritable() const {
    if (m_mode != OpenMode::ReadWrite)
        throw Error(ErrorKind::ReadOnly, "Table '" + m_path.filename().string() + "' is open for reading only.");
    if (m_index)
        throw Error(ErrorKind::ReadOnly, "Table '" + m_path.filename().string() + "' has the index file '" +
                                             m_index->filename().string() +
                                             "', which this program does not maintain; changing the table would "
                                             "leave that index out of date, so it is not changed.");
}

void Table::writeRecord(std::uint32_t record, std::span<const std::uint8_t> bytes) {
    checkWritable();
    if (record >= m_recordCount || bytes.size() != m_header.recordLength)
        throw Error(ErrorKind::Value, "Record " + std::to_string(record + 1) + " cannot be written.");
    writeAll(m_fd, bytes.data(), bytes.size(),
             m_header.headerLength + static_cast<std::uint64_t>(record) * m_header.recordLength, m_path);
    m_headerDirty = true;
}

std::uint32_t Table::appendRecord(std::span<const std::uint8_t> bytes) {
    checkWritable();
    if (bytes.size() != m_header.recordLength)
        throw Error(ErrorKind::Value, "A record of the wrong length cannot be appended.");
    if (m_recordCount == 0xFFFFFFFFu)
        throw Error(ErrorKind::Value, "The table is full.");
    const std::uint64_t at = m_header.headerLength + static_cast<std::uint64_t>(m_recordCount) * m_header.recordLength;
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    out.push_back(0x1A);
    // The record and the end marker go first; the header's count follows in flushHeader(), so that the
    // count never covers a record that is not on disk.
    writeAll(m_fd, out.data(), out.size(), at, m_path);
    m_fileSize = std::max<std::uint64_t>(m_fileSize, at + out.size());
    if (m_fileSize > m_mapped)
        map();
    m_headerDirty = true;
    return m_recordCount++;
}

void Table::setDeleted(std::uint32_t record, bool deleted) {
    checkWritable();
    (void)recordBytes(record);
    const std::uint8_t flag = deleted ? '*' : ' ';
    writeAll(m_fd, &flag, 1, m_header.headerLength + static_cast<std::uint64_t>(record) * m_header.recordLength,
             m_path);
    m_headerDirty = true;
}

void Table::truncateRecords(std::uint32_t count) {
    checkWritable();
    if (count > m_recordCount)
        return;
    const std::uint64_t at = m_header.headerLength + static_cast<std::uint64_t>(count) * m_header.recordLength;
    const std::uint8_t eof = 0x1A;
    writeAll(m_fd, &eof, 1, at, m_path);
    if (::ftruncate(m_fd, static_cast<off_t>(at + 1)) != 0)
        ioError("Cannot shorten", m_path);
    m_fileSize = at + 1;
    m_recordCount = count;
    m_headerDirty = true;
}

void Table::flushHeader() {
    // Count and date of last update (bytes 1-7; dBASE II keeps them elsewhere and is written the same way
    // in its own places).
    std::uint8_t bytes[7];
    const Date d = today();
    if (m_header.family == Family::DBase2) {
        const std::uint8_t two[5] = {static_cast<std::uint8_t>(m_recordCount), static_cast<std::uint8_t>(m_recordCount >> 8),
                                     static_cast<std::uint8_t>(d.month), static_cast<std::uint8_t>(d.day),
                                     static_cast<std::uint8_t>(d.year % 100)};
        writeAll(m_fd, two, sizeof two, 1, m_path);
    } else {
        const bool fox = m_header.family == Family::VisualFoxPro || m_header.family == Family::FoxPro;
        bytes[0] = static_cast<std::uint8_t>(fox ? d.year % 100 : d.year - 1900);
        bytes[1] = static_cast<std::uint8_t>(d.month);
        bytes[2] = static_cast<std::uint8_t>(d.day);
        for (int i = 0; i < 4; ++i)
            bytes[3 + i] = static_cast<std::uint8_t>(m_recordCount >> (8 * i));
        writeAll(m_fd, bytes, sizeof bytes, 1, m_path);
    }
    m_header.recordCount = m_recordCount;
    m_headerDirty = false;
}

void Table::sync() {
    if (m_mode != OpenMode::ReadWrite)
        return;
    if (m_memo)
        m_memo->sync();
    if (::fdatasync(m_fd) != 0)
        ioError("Cannot write", m_path);
    if (m_headerDirty) {
        flushHeader();
        if (::fdatasync(m_fd) != 0)
            ioError("Cannot write", m_path);
    }
}

} // namespace xbase
