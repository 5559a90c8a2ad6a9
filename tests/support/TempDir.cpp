#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "brindle-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

fs::path fixturesDir() {
    return BRINDLE_FIXTURES;
}

fs::path TempDir::copyFixture(const std::string& relative) const {
    const fs::path source = fixturesDir() / relative;
    const fs::path target = m_path / source.filename();
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    if (source.extension() == ".dbf" || source.extension() == ".DBF") {
        for (const auto* ext : {".dbt", ".DBT", ".fpt", ".FPT"}) {
            fs::path memo = source;
            memo.replace_extension(ext);
            if (fs::exists(memo)) {
                fs::path memoTarget = m_path / memo.filename();
                fs::copy_file(memo, memoTarget, fs::copy_options::overwrite_existing);
                fs::permissions(memoTarget, fs::perms::owner_read | fs::perms::owner_write,
                                fs::perm_options::add);
            }
        }
    }
    return target;
}

std::vector<fs::path> fixtureTables() {
    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(fixturesDir())) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".dbf") tables.push_back(entry.path());
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

} // namespace testsupport
