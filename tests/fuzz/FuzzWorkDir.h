// The scratch folder and file writing of the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzzsupport {

// Memory-backed when possible: every iteration writes files, and a disk makes that the slow part.
inline std::filesystem::path scratchRoot() {
    std::error_code ec;
    if (!std::getenv("TMPDIR") && std::filesystem::is_directory("/dev/shm", ec) &&
        ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

// Created on first use; removed by its destructor when the fuzzer exits normally (after a crash it stays,
// with the files that caused it).
class WorkDir {
public:
    explicit WorkDir(const std::string& name) {
        std::string pattern = (scratchRoot() / ("brindle-fuzz-" + name + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// One folder per fuzz target and process.
inline const std::filesystem::path& workDir(const std::string& name) {
    static const WorkDir dir(name);
    return dir.path();
}

inline void writeBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort(); // the harness itself failed; not a finding about the library
    }
}

} // namespace fuzzsupport
