// Builds the fuzzers' seed corpora and dictionaries in the build tree from the (read-only) fixtures folder.
//
//   fuzz_seed FIXTURES OUT
// writes OUT/seed-table (each .dbf; a .dbf with a memo file also joined to it by the memo marker),
// OUT/seed-memo (each .dbt/.fpt), OUT/table.dict and OUT/memo.dict, and empties OUT/corpus-table and
// OUT/corpus-memo, where the fuzzers put what they find.
#include "support/TempDir.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// A unique seed name from the fixture's path inside the fixtures folder.
std::string seedName(const fs::path& relative) {
    std::string name = relative.generic_string();
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

// libFuzzer dictionary entries: byte strings that mean something to the readers.
const char* const kTableDict = R"(memo_marker="\x0AMEMO--\x0A"
terminator="\x0D"
end_of_file="\x1A"
deleted="*"
v_dbase3="\x03"
v_dbase3_memo="\x83"
v_dbase4_memo="\x8B"
v_dbase7="\x04"
v_dbase7_memo="\x8C"
v_vfp="\x30"
v_vfp_auto="\x31"
v_vfp_var="\x32"
v_foxpro="\xF5"
v_dbase2="\x02"
nullflags="_NullFlags"
t_C="C"
t_N="N"
t_F="F"
t_D="D"
t_L="L"
t_M="M"
t_I="I"
t_B="B"
t_Y="Y"
t_T="T"
t_at="@"
t_plus="+"
t_O="O"
t_V="V"
t_Q="Q"
t_G="G"
t_0="0"
date="20240229"
number="  -12.50"
stars="*****"
memo_pointer="         1"
dbt4_block="\xFF\xFF\x08\x00"
long_len="\xFF\xFF"
)";

const char* const kMemoDict = R"(dbt4_block="\xFF\xFF\x08\x00"
end_of_text="\x1A\x1A"
fpt_text="\x00\x00\x00\x01"
fpt_block64="\x00\x40"
fpt_block1="\x00\x01"
big="\xFF\xFF\xFF\xFF"
dbt4_blocksize="\x00\x02"
)";

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seed FIXTURES OUT\n");
        return 2;
    }
    const fs::path fixtures = argv[1];
    const fs::path out = argv[2];
    try {
        const fs::path tableSeeds = out / "seed-table";
        const fs::path memoSeeds = out / "seed-memo";
        // The corpora start from the seeds every time: grown from run to run, replaying them would
        // soon take all of a short run's time.
        for (const char* dir : {"seed-table", "seed-memo", "corpus-table", "corpus-memo"}) {
            fs::remove_all(out / dir);
            fs::create_directories(out / dir);
        }
        fs::create_directories(out / "artifacts");

        std::size_t tables = 0, memos = 0;
        for (const auto& entry : fs::recursive_directory_iterator(fixtures)) {
            if (!entry.is_regular_file()) continue;
            const fs::path& path = entry.path();
            const std::string ext = lower(path.extension().string());
            const std::string name = seedName(fs::relative(path, fixtures));
            if (ext == ".dbf") {
                const std::string table = readFile(path);
                writeFile(tableSeeds / name, table);
                ++tables;
                for (const char* memoExt : {".dbt", ".DBT", ".fpt", ".FPT"}) {
                    fs::path memo = path;
                    memo.replace_extension(memoExt);
                    if (fs::exists(memo)) {
                        writeFile(tableSeeds / (name + "+memo"), table + "\nMEMO--\n" + readFile(memo));
                        ++tables;
                        break;
                    }
                }
            } else if (ext == ".dbt" || ext == ".fpt") {
                fs::copy_file(path, memoSeeds / name, fs::copy_options::overwrite_existing);
                fs::permissions(memoSeeds / name, fs::perms::owner_write, fs::perm_options::add);
                ++memos;
            }
        }
        writeFile(out / "table.dict", kTableDict);
        writeFile(out / "memo.dict", kMemoDict);
        std::printf("%zu table seeds, %zu memo seeds in %s\n", tables, memos, out.c_str());
        if (tables == 0 || memos == 0) {
            std::fprintf(stderr, "no fixtures found under %s\n", fixtures.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_seed: %s\n", e.what());
        return 1;
    }
    return 0;
}
