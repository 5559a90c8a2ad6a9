// Table names of a folder, and its open tables.
#include "engine/Folder.h"

#include "engine/Error.h"
#include "engine/SqlLexer.h"
#include "xbase/Error.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

struct FileState {
    bool ok = false;
    std::uintmax_t size = 0;
    std::int64_t mtime = 0;
    std::uint64_t inode = 0, device = 0;
};

FileState stateOf(const fs::path& file) {
    struct stat st {};
    FileState s;
    if (::stat(file.c_str(), &st) != 0) return s;
    s.ok = true;
    s.size = static_cast<std::uintmax_t>(st.st_size);
    s.mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    return s;
}

} // namespace

std::shared_ptr<xbase::Table> Folder::table(const fs::path& file) {
    const FileState now = stateOf(file);
    auto it = m_open.find(file);
    if (it != m_open.end() && now.ok && it->second.inode == now.inode && it->second.device == now.device) {
        if (it->second.size == now.size && it->second.mtime == now.mtime) return it->second.table;
        // Changed in place by another program: read it again in place, so that every holder sees the
        // new state; a new structure needs a new Table.
        try {
            it->second.table->reload();
            it->second.size = now.size;
            it->second.mtime = now.mtime;
            return it->second.table;
        } catch (const xbase::Error&) {
        }
    }
    if (it != m_open.end())
        m_open.erase(it); // replaced by another file, or restructured: open it afresh below

    Entry entry;
    try {
        const bool writable = !m_readOnly && ::access(file.c_str(), W_OK) == 0;
        entry.table =
            xbase::Table::open(file, writable ? xbase::OpenMode::ReadWrite : xbase::OpenMode::ReadOnly);
    } catch (const xbase::Error& e) {
        throw Error(e.kind() == xbase::ErrorKind::Io ? ErrorNumber::TableNotFound : ErrorNumber::BadTableFile,
                    e.what());
    }
    // Opening may have rolled back an interrupted change: take the state after it.
    const FileState opened = stateOf(file);
    entry.size = opened.size;
    entry.mtime = opened.mtime;
    entry.inode = opened.inode;
    entry.device = opened.device;
    m_open[file] = entry;
    return entry.table;
}

void Folder::forget(const fs::path& file) {
    m_open.erase(file);
}

void Folder::noteWritten(const fs::path& file) {
    auto it = m_open.find(file);
    if (it == m_open.end()) return;
    const FileState now = stateOf(file);
    it->second.size = now.size;
    it->second.mtime = now.mtime;
    it->second.inode = now.inode;
    it->second.device = now.device;
}

} // namespace engine
