// Running outside programs (Debian's python3 with dbfread/dbf, GDAL's ogrinfo) from tests.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int exitCode = -1;
    std::string out; // standard output
    std::string err; // standard error
};

// Runs a program with arguments (no shell) and collects its output.
RunResult run(const std::vector<std::string>& argv);
// Runs a Python script from tests/interop with Debian's /usr/bin/python3.
RunResult runPython(const std::string& script, const std::vector<std::string>& args);

} // namespace testsupport
