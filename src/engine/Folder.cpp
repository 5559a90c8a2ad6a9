// Table names of a folder, and its open tables.
#include "engine/Folder.h"

#include "engine/Error.h"
#include "xbase/Error.h"

#include <algorithm>
#include <unistd.h>

namespace fs = std::filesystem;

namespace engine {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool isDbf(const fs::path& p) {
    return lowerAscii(p.extension().string()) == ".dbf";
}

} // namespace

std::string stripDbfExtension(std::string_view name) {
    std::string n(name);
    if (n.size() > 4 && lowerAscii(n.substr(n.size() - 4)) == ".dbf") n.resize(n.size() - 4);
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
    const std::string wanted = lowerAscii(name);
    std::vector<fs::path> matches;
    for (const auto& file : tableFiles()) {
        const std::string stem = file.stem().string();
        if (stem == name) return file; // an exact match wins
        if (lowerAscii(stem) == wanted) matches.push_back(file);
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
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    const auto mtime = fs::last_write_time(file, ec);
    auto it = m_open.find(file);
    if (it != m_open.end() && it->second.size == size && it->second.mtime == mtime) return it->second.table;
    if (it != m_open.end()) {
        // Changed by another program: read it again in place, so that every holder sees the new state.
        try {
            it->second.table->reload();
            it->second.size = fs::file_size(file, ec);
            it->second.mtime = fs::last_write_time(file, ec);
            return it->second.table;
        } catch (const xbase::Error&) {
            m_open.erase(it); // a new structure: open it afresh below
        }
    }

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
    entry.size = fs::file_size(file, ec);
    entry.mtime = fs::last_write_time(file, ec);
    m_open[file] = entry;
    return entry.table;
}

void Folder::forget(const fs::path& file) {
    m_open.erase(file);
}

void Folder::noteWritten(const fs::path& file) {
    auto it = m_open.find(file);
    if (it == m_open.end()) return;
    std::error_code ec;
    it->second.size = fs::file_size(file, ec);
    it->second.mtime = fs::last_write_time(file, ec);
}

} // namespace engine
