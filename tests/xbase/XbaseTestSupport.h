// The change the file layer's sharing and failure tests make, and a process that dies half-way through it.
#pragma once

#include "support/Children.h"
#include "support/Errors.h"
#include "support/Files.h"
#include "support/Tables.h"
#include "support/TempDir.h"
#include "xbase/Change.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"
#include "xbase/FileIo.h"
#include "xbase/Table.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace xbasetest {

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

inline std::string text(const xbase::Value& v) {
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}

// Leaves half of changeTable() in the table: a child process makes the change and dies at its nth write
// to the table file, after the journal was synced. Returns false when the child did not die there.
inline bool dieInTheMiddleOfAChange(const std::filesystem::path& table, int nthWrite) {
    const pid_t child = testsupport::forkChild([&] {
        int writes = 0;
        xbase::io::fault::always([&](const char* call, const std::filesystem::path& path) {
            if (std::string(call) == "write" && path == table && ++writes == nthWrite) ::_exit(9);
            return 0;
        });
        auto t = xbase::Table::open(table, xbase::OpenMode::ReadWrite);
        changeTable(*t);
        return 0;
    });
    return testsupport::exitCode(child) == 9 && std::filesystem::exists(xbase::journalPath(table));
}

} // namespace xbasetest
