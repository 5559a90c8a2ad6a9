// Locks that say a table is in use: shared by every recordset and running statement, exclusive for a
// database opened exclusively. Open-file-description locks, so they also work between two users in one
// process, and vanish with the process that held them.
#pragma once

#include "xbase/FileIo.h"

#include <filesystem>
#include <memory>

namespace engine {

class TableLock {
public:
    enum class Mode { Shared, Exclusive };
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    // Null when a conflicting lock is held (by this process or another); the file must exist.
    static std::unique_ptr<TableLock> tryLock(const std::filesystem::path& table, Mode mode);

private:
    TableLock() = default;
    xbase::io::Fd m_fd;
};

} // namespace engine
