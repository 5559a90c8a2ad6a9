// A folder opened as a database: statements of the desktop dialect run on its .dbf tables.
#pragma once

#include "engine/Dialect.h"
#include "xbase/FileLock.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace xbase {
class Table;
}

namespace engine {

class Folder;
class Recordset;
class Statement;
class TableLock;
struct Translation;

// The driver text the program opens its folders with.
inline constexpr std::string_view kDbaseConnect = "dBASE 5.0";

// How a folder is opened: Database(folder, {.exclusive = true}).
struct DatabaseOptions {
    // Refused with Error(FolderInUse) while a recordset or running statement of any process uses one of
    // the folder's tables; while open, keeps them from others.
    bool exclusive = false;
    // Refuses every change with Error(NotUpdatable).
    bool readOnly = false;
    // The driver text ("dBASE 5.0", "dBase IV", ...; empty means dBASE), compared without regard to case.
    std::string_view connect = kDbaseConnect;
    // How long a statement waits for another program that is changing one of its tables (a reader for
    // the commit, a writer for the other writer) before it gives up with a "locked" error.
    std::chrono::milliseconds lockWait = xbase::kDefaultLockWait;
    // The code page the user chose for the text of every table (the command line's --codepage), and
    // for single tables by file name ("ORDERS.DBF"); empty: each table's own, as its file says or its
    // text suggests. New tables are made in the one for every table when it is given.
    std::string codePage;
    std::map<std::string, std::string> tableCodePages;
    // TOP n also returns the rows that tie with the n-th, as the dialect has it; false takes n rows
    // (for the program's own statements that want a few of the longest values, not every value of
    // the longest length).
    bool topKeepsTies = true;
};

class Database {
public:
    using Options = DatabaseOptions;
    explicit Database(const std::filesystem::path& folder, const Options& options = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one statement that is not a select (SELECT ... INTO is run here). Returns the number of
    // records it changed. The statement applies wholly or not at all.
    std::int64_t execute(std::string_view statement);
    // A recordset over a table (by name, also written as a file name: "ORDERS.DBF") or one select.
    std::unique_ptr<Recordset> openRecordset(std::string_view source);

    const std::filesystem::path& folder() const;
    bool readOnly() const { return m_readOnly; }
    // What opening the folder's tables found wrong without stopping them from being read (a damaged
    // file, a missing memo file, a change undone), each once: "ORDERS.DBF: ...".
    std::vector<std::string> takeWarnings();

    // The virtual table of a table file under the SQLite name translate() gives the table as written
    // ("ORDERS.DBF" -> orders); created on first use. Returns that name.
    std::string attach(const std::filesystem::path& file, std::string_view written);
    // For recordsets: shared locks on these files, or Error(TableExclusivelyLocked).
    std::vector<std::unique_ptr<TableLock>> lockShared(const std::vector<std::filesystem::path>& files) const;
    // The file behind a virtual table of attach(); nullopt for other names.
    std::optional<std::filesystem::path> attachedFile(std::string_view name) const;
    sqlite3* connection() const { return m_db; }
    Folder& files() { return *m_folder; }
    // Throws the engine error for a failure of this connection: the typed error of a table when one
    // failed, else SQLite's own by its result code.
    [[noreturn]] void raise(int code) const;
    // Translates a statement, knowing the kinds of the fields of the folder's tables it names.
    Translation translated(std::string_view statement);
    // Prepares a translated statement; a name that is no field of its tables is "Unknown field name".
    Statement prepare(const Translation& st);

private:
    struct Attached {
        std::filesystem::path file;
        std::string name;
        std::shared_ptr<void> table; // the Table object the virtual table was declared from
    };
    std::vector<std::filesystem::path> attachAll(const Translation& st, bool targetMayBeMissing);
    std::int64_t executeDdl(const Translation& st);
    std::int64_t selectInto(const Translation& st);
    void detach(const std::filesystem::path& file);
    void checkWritable() const;
    // An exclusive lock for a structural change, or Error(TableExclusivelyLocked).
    std::unique_ptr<TableLock> lockForChange(const std::filesystem::path& file);

    static int authorize(void* self, int action, const char* first, const char* second, const char*,
                         const char*);

    sqlite3* m_db = nullptr;
    std::unique_ptr<Folder> m_folder;
    std::string m_deniedFunction; // the last function name the authorizer refused
    // A field name the statement uses that none of its tables has, nor any of its aliases.
    std::shared_ptr<xbase::Table> fieldlessTable(const Translation& st);
    std::optional<std::string> unknownField(const Translation& st);
    bool m_topKeepsTies = true;
    bool m_readOnly = false;
    std::vector<Attached> m_attached;
    std::map<std::filesystem::path, std::unique_ptr<TableLock>> m_exclusive;
};

} // namespace engine
