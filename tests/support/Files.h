// A folder's files and their bytes, to prove that an operation changed nothing or exactly what it should.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// Every file of a folder by name, with its bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const std::filesystem::path& folder);
// The files that differ between two snapshots, for a readable failure: "" when none do.
std::string differences(const Snapshot& before, const Snapshot& after);
// The names of everything in a folder.
std::set<std::string> names(const std::filesystem::path& folder);
// The lines of a text whose lines end in CR LF, without their endings.
std::vector<std::string> lines(const std::string& text);
// Open descriptors of this process: a failure must not leave any behind.
std::size_t openDescriptors();

} // namespace testsupport
