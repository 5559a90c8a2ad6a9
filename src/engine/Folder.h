// A folder as a database: its .dbf files by table name, and one open Table per file shared by the
// engine's statements and recordsets.
#pragma once

#include "engine/Error.h"
#include "xbase/Table.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

class Folder {
public:
    Folder(std::filesystem::path dir, bool readOnly);

    // The code pages the user chose (see DatabaseOptions): for every table, and by file name.
    void chooseCodePages(std::string forAll, std::map<std::string, std::string> byFile);
    // The code page a new table of this folder is made in: the user's choice for every table; else the
    // one the folder's tables name (language driver id, .cpg file, or the user's choice for them) when
    // they agree; else the page of the system's language.
    std::string codePageForNewTable() const;

    const std::filesystem::path& dir() const { return m_dir; }
    bool readOnly() const { return m_readOnly; }
    // How long a reader waits for a writer of another program, and a writer for another writer.
    std::chrono::milliseconds lockWait() const { return m_lockWait; }
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }

    // The file of a table named as a user writes it: "orders", "ORDERS.DBF", "sales 2024". An exact
    // match of the file's name wins over a match without regard to case. Looks at the folder as it is
    // now. Nullopt when there is none; throws Error(AmbiguousTableName) when two files match only
    // without regard to case.
    std::optional<std::filesystem::path> find(std::string_view name) const;
    // As find, but throws Error(TableNotFound) naming the table and the folder.
    std::filesystem::path resolve(std::string_view name) const;
    // Every .dbf file of the folder.
    std::vector<std::filesystem::path> tableFiles() const;

    // The open table of a file, opened on first use (for writing unless the folder is read-only or the
    // file cannot be written) and opened again when another file took its place or the open one lost
    // track of it. Throws the engine error for a file that cannot be opened.
    std::shared_ptr<xbase::Table> table(const std::filesystem::path& file);
    // Closes the cached table of a file (before it is dropped, replaced or rolled back).
    void forget(const std::filesystem::path& file);

    // What opening tables found wrong but did not stop reading ("ORDERS.DBF: The file holds ..."),
    // each once; taking them empties the list.
    std::vector<std::string> takeWarnings();
    // A value of a select that cannot be read (a memo block outside its file) is shown empty; the reason
    // is kept as a warning, once for each table, field and reason.
    void noteUnreadable(const std::string& table, const std::string& field, std::uint32_t record,
                        const std::string& reason);

    // What a value that cannot be read does while a statement runs: a select reports it (see
    // noteUnreadable); a statement that changes tables fails, as it would write the empty value on; a
    // scan that only picks records passes over it, as their values are read again one by one.
    enum class Unreadable { Report, Fail, Pass };
    class Handling {
    public:
        Handling(Folder& folder, Unreadable how) : m_folder(folder), m_was(folder.m_unreadable) {
            folder.m_unreadable = how;
        }
        ~Handling() { m_folder.m_unreadable = m_was; }
        Handling(const Handling&) = delete;
        Handling& operator=(const Handling&) = delete;

    private:
        Folder& m_folder;
        Unreadable m_was;
    };
    Unreadable unreadable() const { return m_unreadable; }

    // The error a table of this folder failed with inside the SQL engine, kept with its number for the
    // statement that reports it; taking it clears it. A failure to undo a change is kept apart and
    // added to it.
    void setTableError(const Error& error);
    std::optional<Error> takeTableError();
    void noteUndoFailure(const std::string& description) { m_undoFailure = description; }

private:
    std::string chosenCodePage(const std::filesystem::path& file) const;

    struct Entry {
        std::shared_ptr<xbase::Table> table;
        std::uint64_t inode = 0; // a file saved by deleting and writing anew is another file
        std::uint64_t device = 0;
    };
    std::filesystem::path m_dir;
    bool m_readOnly;
    std::chrono::milliseconds m_lockWait = xbase::kDefaultLockWait;
    std::map<std::filesystem::path, Entry> m_open;
    std::string m_codePage;
    std::map<std::string, std::string> m_tableCodePages;
    std::vector<std::string> m_warnings;
    std::set<std::string> m_reported; // table, field and reason of values that could not be read
    Unreadable m_unreadable = Unreadable::Report;
    std::optional<Error> m_tableError;
    std::string m_undoFailure;
};

// The table name of a name as written: without a ".dbf" ending.
std::string stripDbfExtension(std::string_view name);
// Throws Error(InvalidName) unless the name, as written in a statement that makes or changes a table,
// names a file of the folder itself: no path, no separator, not "." or "..".
void requirePlainName(std::string_view name);

} // namespace engine
