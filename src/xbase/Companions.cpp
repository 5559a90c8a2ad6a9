// Finding the files that belong to a table by their names beside it.
#include "xbase/Companions.h"

#include "xbase/Ascii.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace xbase {

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

fs::path folderOf(const fs::path& table) {
    return table.has_parent_path() ? table.parent_path() : fs::path(".");
}

// The regular files of the table's folder, read once per question.
std::vector<fs::path> filesBeside(const fs::path& table) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(table), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_regular_file(typeEc)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Index names a dBASE .inf file lists ("NDX1=CUSTNO.NDX"), as they are written.
std::vector<std::string> listedIndexes(const fs::path& inf) {
    std::vector<std::string> names;
    std::ifstream in(inf, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = ascii::lower(trimmed(line.substr(0, equals)));
        if (key.rfind("ndx", 0) == 0 || key.rfind("mdx", 0) == 0 || key.rfind("cdx", 0) == 0 ||
            key.rfind("ntx", 0) == 0 || key.rfind("idx", 0) == 0) {
            const std::string name = trimmed(line.substr(equals + 1));
            if (!name.empty()) names.push_back(name);
        }
    }
    return names;
}

} // namespace

fs::path journalPath(const fs::path& table) {
    return fs::path(table.string() + "-journal");
}

fs::path restructurePath(const fs::path& table) {
    return fs::path(table.string() + "-restructure");
}

std::vector<fs::path> indexFiles(const fs::path& table, const Header& header) {
    const std::string base = ascii::lower(table.stem().string());
    const std::vector<fs::path> files = filesBeside(table);
    std::vector<fs::path> indexes;
    auto add = [&](const fs::path& p) {
        if (std::find(indexes.begin(), indexes.end(), p) == indexes.end()) indexes.push_back(p);
    };
    for (const auto& file : files) {
        if (ascii::lower(file.stem().string()) != base) continue;
        const std::string ext = ascii::lower(file.extension().string());
        if (ext == ".mdx" || ext == ".cdx" || ext == ".ndx" || ext == ".ntx" || ext == ".idx") add(file);
        if (ext == ".inf") {
            for (const auto& name : listedIndexes(file)) {
                const std::string wanted = ascii::lower(fs::path(name).filename().string());
                auto match = std::find_if(files.begin(), files.end(), [&](const fs::path& f) {
                    return ascii::lower(f.filename().string()) == wanted;
                });
                add(match != files.end() ? *match : folderOf(table) / fs::path(name).filename());
            }
        }
    }
    // The header says a production index exists even when its file is gone: dBASE would refuse to open
    // the table without it, and rebuild a stale one no better.
    const bool flagged =
        (header.tableFlags & 0x01) && header.family != Family::DBase3 && header.family != Family::DBase2;
    if (flagged && indexes.empty()) {
        fs::path index = table;
        index.replace_extension(
            header.family == Family::VisualFoxPro || header.family == Family::FoxPro ? ".cdx" : ".mdx");
        add(index);
    }
    return indexes;
}

std::vector<fs::path> companionFiles(const fs::path& table) {
    const std::string base = ascii::lower(table.stem().string());
    const std::string full = ascii::lower(table.filename().string());
    std::vector<fs::path> out;
    for (const auto& file : filesBeside(table)) {
        const std::string name = ascii::lower(file.filename().string());
        const std::string ext = ascii::lower(file.extension().string());
        const bool sameBase = ascii::lower(file.stem().string()) == base;
        if ((sameBase &&
             (ext == ".dbt" || ext == ".fpt" || ext == ".cpg" || ext == ".mdx" || ext == ".cdx")) ||
            name == full + "-journal" || name == full + "-restructure")
            out.push_back(file);
    }
    return out;
}

} // namespace xbase
