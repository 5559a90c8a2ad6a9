#include "support/Files.h"

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace testsupport {

Snapshot snapshot(const fs::path& folder) {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

std::string differences(const Snapshot& before, const Snapshot& after) {
    std::string out;
    for (const auto& [name, bytes] : after) {
        const auto it = before.find(name);
        if (it == before.end())
            out += name + " (new) ";
        else if (it->second != bytes)
            out += name + " (changed) ";
    }
    for (const auto& [name, bytes] : before)
        if (!after.count(name)) out += name + " (gone) ";
    return out;
}

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder))
        out.insert(entry.path().filename().string());
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
        result.push_back(text.substr(from, at - from));
    return result;
}

std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

} // namespace testsupport
