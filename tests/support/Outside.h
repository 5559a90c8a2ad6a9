// Running outside programs (Debian's python3 with dbfread/dbf, GDAL's ogrinfo)
// from tests.
#pragma once

#include "support/InteropDump.h"

#include <filesystem>
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
// Runs such a script and reads what it prints; a script that fails (a Debian
// package missing among the reasons, which it names) throws with its standard
// error.
Dump runScript(const std::string& script, const std::vector<std::string>& args);
// dbfread's reading of a table; with an empty encoding dbfread takes the one
// the table's header names.
Dump dbfread(const std::filesystem::path& table, const std::string& encoding = "cp1252");
// A dump's records as "kind:text" cells, for comparisons with readable
// failures.
std::vector<std::vector<std::string>> cells(const Dump& dump);

} // namespace testsupport
