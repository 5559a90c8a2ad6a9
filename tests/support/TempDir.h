// A temporary folder per test, removed afterwards, with helpers to copy fixtures into it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    // Copies ../shared/fixtures/<relative> (and, for a .dbf, its memo file) into this folder;
    // returns the copy's path. The copy is writable.
    std::filesystem::path copyFixture(const std::string& relative) const;

private:
    std::filesystem::path m_path;
};

std::filesystem::path fixturesDir();
// Every .dbf under the fixtures folder, sorted.
std::vector<std::filesystem::path> fixtureTables();
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace testsupport
