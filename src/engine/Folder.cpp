// Table names of a folder, and its open tables.
#include "engine/Folder.h"

#include "engine/Error.h"
#include "engine/SqlLexer.h"
#include "xbase/CodePage.h"
#include "xbase/Error.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace engine {

namespace {

bool isDbf(const fs::path& p) {
    return sql::asciiLower(p.extension().string()) == ".dbf";
}

} // namespace

std::string stripDbfExtension(std::string_view name) {
    std::string n(name);
    if (n.size() > 4 && sql::asciiLower(n.substr(n.size() - 4)) == ".dbf") n.resize(n.size() - 4);
    return n;
}

void requirePlainName(std::string_view written) {
    const std::string name = stripDbfExtension(written);
    const bool plain = !name.empty() && name != "." && name != ".." &&
                       name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
    if (!plain)
        throw Error(
            ErrorNumber::InvalidName,
            "'" + std::string(written) +
                "' is not a valid table name: a table is a file of the open folder, named without a path, "
                "'..' or a separator.");
}

Folder::Folder(fs::path dir, bool readOnly) : m_dir(std::move(dir)), m_readOnly(readOnly) {
    std::error_code ec;
    if (!fs::is_directory(m_dir, ec))
        throw Error(ErrorNumber::TableNotFound, "The folder '" + m_dir.string() + "' does not exist.");
}

std::vector<fs::path> Folder::tableFiles() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(m_dir, ec))
        if (isDbf(entry.path()) && entry.is_regular_file(ec)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<fs::path> Folder::find(std::string_view written) const {
    const std::string name = stripDbfExtension(written);
    const std::string wanted = sql::asciiLower(name);
    std::vector<fs::path> matches;
    for (const auto& file : tableFiles()) {
        const std::string stem = file.stem().string();
        if (stem == name) return file; // an exact match wins
        if (sql::asciiLower(stem) == wanted) matches.push_back(file);
    }
    if (matches.size() > 1)
        throw Error(ErrorNumber::AmbiguousTableName,
                    "The table name '" + name + "' is ambiguous in folder '" + m_dir.string() +
                        "': it matches both '" + matches[0].filename().string() + "' and '" +
                        matches[1].filename().string() + "'.");
    if (matches.empty()) return std::nullopt;
    return matches.front();
}

fs::path Folder::resolve(std::string_view name) const {
    if (auto file = find(name)) return *file;
    throw Error(ErrorNumber::TableNotFound,
                "Table '" + stripDbfExtension(name) + "' not found in folder '" + m_dir.string() + "'.");
}

std::shared_ptr<xbase::Table> Folder::table(const fs::path& file) {
    struct stat st {};
    const bool present = ::stat(file.c_str(), &st) == 0;
    auto it = m_open.find(file);
    if (it != m_open.end() && present && it->second.inode == st.st_ino && it->second.device == st.st_dev &&
        !it->second.table->stale()) {
        // Taking the lock reads the header again: a file rewritten in place with other fields shows here.
        try {
            const xbase::Table::ReadLock check(*it->second.table);
            return it->second.table;
        } catch (const xbase::Error& e) {
            if (e.kind() != xbase::ErrorKind::Changed) throw fromFileError(e);
        }
    }
    if (it != m_open.end()) m_open.erase(it); // replaced, restructured, or removed: open it afresh below

    Entry entry;
    try {
        const bool writable = !m_readOnly && ::access(file.c_str(), W_OK) == 0;
        entry.table =
            xbase::Table::open(file, writable ? xbase::OpenMode::ReadWrite : xbase::OpenMode::ReadOnly,
                               m_lockWait, chosenCodePage(file));
    } catch (const xbase::Error& e) {
        if (e.kind() == xbase::ErrorKind::Io) throw Error(ErrorNumber::TableNotFound, e.what());
        if (e.kind() == xbase::ErrorKind::Format) throw Error(ErrorNumber::BadTableFile, e.what());
        throw fromFileError(e);
    }
    for (const auto& warning : entry.table->notableWarnings())
        m_warnings.push_back(file.filename().string() + ": " + warning);
    // Opening may have finished an interrupted change of structure: take the file as it is now.
    if (::stat(file.c_str(), &st) == 0) {
        entry.inode = st.st_ino;
        entry.device = st.st_dev;
    }
    m_open[file] = entry;
    return entry.table;
}

void Folder::chooseCodePages(std::string forAll, std::map<std::string, std::string> byFile) {
    m_codePage = std::move(forAll);
    m_tableCodePages = std::move(byFile);
    m_open.clear(); // tables open in another code page are opened again as they are next used
}

std::string Folder::chosenCodePage(const fs::path& file) const {
    if (const auto it = m_tableCodePages.find(file.filename().string()); it != m_tableCodePages.end())
        return it->second;
    return m_codePage;
}

std::string Folder::codePageForNewTable() const {
    if (!m_codePage.empty()) return xbase::CodePage::byName(m_codePage).name();
    std::optional<std::string> agreed;
    for (const auto& file : tableFiles()) {
        std::optional<std::string> page;
        if (const std::string chosen = chosenCodePage(file); !chosen.empty())
            page = chosen;
        else
            page = xbase::CodePage::markedIn(file);
        if (!page) continue;
        const std::string name = xbase::CodePage::canonicalName(*page);
        if (agreed && *agreed != name) return xbase::CodePage::forSystemLanguage();
        agreed = name;
    }
    return agreed ? *agreed : xbase::CodePage::forSystemLanguage();
}

void Folder::forget(const fs::path& file) {
    m_open.erase(file);
}

std::vector<std::string> Folder::takeWarnings() {
    m_reported.clear();
    return std::exchange(m_warnings, {});
}

void Folder::noteUnreadable(const std::string& table, const std::string& field, std::uint32_t record,
                            const std::string& reason) {
    // Each reason once; past a few, one line says there are more.
    constexpr std::size_t kMostReasons = 10;
    if (m_reported.size() > kMostReasons || !m_reported.insert(table + '\n' + field + '\n' + reason).second)
        return;
    if (m_reported.size() > kMostReasons) {
        m_warnings.push_back(table + ": more values cannot be read; each is shown empty.");
        return;
    }
    m_warnings.push_back(table + ": record " + std::to_string(record + 1) + ", field '" + field +
                         "': the value cannot be read and is shown empty. " + reason);
}

void Folder::setTableError(const Error& error) {
    m_tableError = error;
}

std::optional<Error> Folder::takeTableError() {
    std::optional<Error> error = std::exchange(m_tableError, std::nullopt);
    if (!m_undoFailure.empty()) {
        const std::string undo = std::exchange(m_undoFailure, {});
        error = error ? Error(error->number(), std::string(error->what()) + " " + undo) : Error(DiskIo, undo);
    }
    return error;
}

} // namespace engine
