// A folder opened as a database: statements of the desktop dialect run on its .dbf tables.
#pragma once

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
struct sqlite3_stmt;

namespace engine {

class Folder;
class Recordset;
class TableLock;
struct Statement;

class Database {
public:
    // Opens the folder. connect is the driver text ("dBASE 5.0", "dBase IV", ...; empty means dBASE),
    // compared without regard to case. An exclusive open is refused with Error(FolderInUse) while a
    // recordset or running statement of any process uses one of the folder's tables, and while it is
    // open it keeps them from others. Read-only refuses every change with Error(NotUpdatable).
    explicit Database(const std::filesystem::path& folder, bool exclusive = false, bool readOnly = false,
                      std::string_view connect = "dBASE 5.0");
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
    // How long a statement waits for another program that is changing one of its tables (a reader
    // for the commit, a writer for the other writer) before it gives up with a "locked" error.
    void setLockWait(std::chrono::milliseconds wait);
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
    // Prepares SQLite text, turning SQLite's complaints into engine errors.
    sqlite3_stmt* prepare(const std::string& sql);
    // Runs a prepared statement to its end; returns the changes it made.
    std::int64_t runToEnd(sqlite3_stmt* stmt);
    // Throws the engine error for an SQLite failure of this connection.
    [[noreturn]] void raise(int code) const;

private:
    struct Attached {
        std::filesystem::path file;
        std::string name;
        std::shared_ptr<void> table; // the Table object the virtual table was declared from
    };
    std::vector<std::filesystem::path> attachAll(const Statement& st, bool targetMayBeMissing);
    std::int64_t executeDdl(const Statement& st);
    std::int64_t selectInto(const Statement& st);
    void detach(const std::filesystem::path& file);
    void checkWritable() const;
    // An exclusive lock for a structural change, or Error(TableExclusivelyLocked).
    std::unique_ptr<TableLock> lockForChange(const std::filesystem::path& file);

    static int authorize(void* self, int action, const char* first, const char* second, const char*,
                         const char*);

    sqlite3* m_db = nullptr;
    std::unique_ptr<Folder> m_folder;
    std::string m_deniedFunction; // the last function name the authorizer refused
    bool m_readOnly = false;
    std::vector<Attached> m_attached;
    std::map<std::filesystem::path, std::unique_ptr<TableLock>> m_exclusive;
};

} // namespace engine
