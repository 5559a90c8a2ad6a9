// Tables and folder snapshots for the tests of the file layer's sharing and failure handling.
#pragma once

#include "support/TempDir.h"
#include "xbase/Change.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/FileIo.h"
#include "xbase/Table.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace xbasetest {

// t: ID N(6), NAME C(10), NOTE M; NAME is "n<id>", NOTE "memo <id>" on every third record.
inline void writeTable(const std::filesystem::path& path, int records) {
    auto table = xbase::Table::create(path, {{"ID", 'N', 6, 0}, {"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}});
    for (int i = 1; i <= records; ++i) {
        auto record = table->blankRecord();
        table->encode(record, 0, std::int64_t{i});
        table->encode(record, 1, "n" + std::to_string(i));
        if (i % 3 == 0) table->encode(record, 2, "memo " + std::to_string(i));
        table->appendRecord(record);
    }
    table->sync();
}

// Every file of a folder by name, with its bytes.
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot(const std::filesystem::path& folder) {
    Snapshot files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = testsupport::readFile(entry.path());
    return files;
}

// The names of the files that differ between two snapshots (or are in one only), for messages.
inline std::string differences(const Snapshot& a, const Snapshot& b) {
    std::string out;
    for (const auto& [name, bytes] : a)
        if (!b.count(name) || b.at(name) != bytes) out += name + " ";
    for (const auto& [name, bytes] : b)
        if (!a.count(name)) out += name + " ";
    return out;
}

// The change the failure tests make: NAME and NOTE of records 1 and 5 changed (a memo appended),
// record 2 deleted, two records appended.
inline void changeTable(xbase::Table& table) {
    xbase::Change change(table);
    for (std::uint32_t r : {0u, 4u}) {
        auto image = change.image(r);
        change.encode(image, 1, std::string("changed"));
        change.encode(image, 2, "a new memo for record " + std::to_string(r + 1));
        change.put(r, std::move(image));
    }
    auto gone = change.image(1);
    gone[0] = '*';
    change.put(1, std::move(gone));
    for (int i = 0; i < 2; ++i) {
        auto record = table.blankRecord();
        change.encode(record, 0, std::int64_t{1000 + i});
        change.encode(record, 2, std::string("appended with a memo"));
        change.append(std::move(record));
    }
    change.commit();
}

// Open descriptors of this process: a failure must not leave any behind.
inline std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

inline std::string text(const xbase::Value& v) {
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The error an action throws; one of kind Format saying "no error" when it throws none.
template <typename F> xbase::Error errorOf(F&& action) {
    try {
        action();
    } catch (const xbase::Error& e) {
        return e;
    }
    return xbase::Error(xbase::ErrorKind::Format, "no error");
}

// Leaves half of changeTable() in the table: a child process makes the change and dies at its nth write
// to the table file, after the journal was synced. Returns false when the child did not die there.
inline bool dieInTheMiddleOfAChange(const std::filesystem::path& table, int nthWrite) {
    const pid_t child = ::fork();
    if (child == 0) {
        int writes = 0;
        xbase::io::fault::always([&](const char* call, const std::filesystem::path& path) {
            if (std::string(call) == "write" && path == table && ++writes == nthWrite) ::_exit(9);
            return 0;
        });
        try {
            auto t = xbase::Table::open(table, xbase::OpenMode::ReadWrite);
            changeTable(*t);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 9 &&
           std::filesystem::exists(xbase::journalPath(table));
}

} // namespace xbasetest
