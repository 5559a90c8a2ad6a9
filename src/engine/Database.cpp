// Opening a folder as a database and running statements on it.
#include "engine/Database.h"

#include "engine/DbfModule.h"
#include "engine/Dialect.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/Functions.h"
#include "engine/Recordset.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "engine/TableLock.h"
#include "engine/Values.h"
#include "xbase/CodePage.h"
#include "xbase/Error.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace engine {

namespace {

void checkConnect(std::string_view connect) {
    std::string text = sql::asciiLower(connect);
    while (!text.empty() && (text.back() == ';' || text.back() == ' '))
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    if (!text.empty() && text.rfind("dbase", 0) != 0)
        throw Error(ErrorNumber::InvalidArgument, "Unknown connect text '" + std::string(connect) +
                                                      "'; this engine opens dBASE folders (\"dBASE 5.0\").");
}

} // namespace

Database::Database(const fs::path& folder, const Options& options)
    : m_topKeepsTies(options.topKeepsTies), m_readOnly(options.readOnly) {
    checkConnect(options.connect);
    m_folder = std::make_unique<Folder>(folder, options.readOnly);
    m_folder->setLockWait(options.lockWait);
    try {
        if (!options.codePage.empty()) (void)xbase::CodePage::byName(options.codePage);
        for (const auto& [file, page] : options.tableCodePages)
            (void)xbase::CodePage::byName(page);
    } catch (const xbase::Error& e) {
        throw Error(ErrorNumber::InvalidArgument, e.what());
    }
    m_folder->chooseCodePages(options.codePage, options.tableCodePages);
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(m_db);
        throw Error(ErrorNumber::DiskIo, "The SQL engine cannot start.");
    }
    // A double-quoted name must stay a name: a misspelt field is an error, not a string.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    try {
        registerDialect(m_db);
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
    try {
        registerDbfModule(m_db, m_folder.get());
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
    // Statements reach only what the dialect has: its functions, the folder's tables.
    sqlite3_set_authorizer(m_db, &Database::authorize, this);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    if (options.exclusive) {
        for (const auto& file : m_folder->tableFiles()) {
            auto lock = TableLock::tryLock(file, TableLock::Mode::Exclusive);
            if (!lock) {
                m_exclusive.clear();
                sqlite3_close(m_db);
                throw Error(ErrorNumber::FolderInUse, "The folder '" + folder.string() +
                                                          "' cannot be opened exclusively: table '" +
                                                          file.stem().string() + "' is in use.");
            }
            m_exclusive[file] = std::move(lock);
        }
    }
}

Database::~Database() {
    m_attached.clear();
    sqlite3_close_v2(m_db);
}

const fs::path& Database::folder() const {
    return m_folder->dir();
}

std::vector<std::string> Database::takeWarnings() {
    return m_folder->takeWarnings();
}

namespace {

// Functions the translated dialect calls: its library (dlg_*), SQLite's aggregates and the scalar
// min/max it uses for Between, and the like() the library overrides.
bool allowedFunction(const char* name) {
    if (!name) return false;
    const std::string lower = sql::asciiLower(name);
    if (lower.rfind("dlg_", 0) == 0) return true;
    for (const char* allowed : {"count", "sum", "avg", "min", "max", "like"})
        if (lower == allowed) return true;
    return false;
}

} // namespace

int Database::authorize(void* self, int action, const char* first, const char* second, const char*,
                        const char*) {
    (void)first;
    switch (action) {
    case SQLITE_FUNCTION:
        if (allowedFunction(second)) return SQLITE_OK;
        static_cast<Database*>(self)->m_deniedFunction = second ? second : "";
        return SQLITE_DENY;
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_PRAGMA:
        return SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

void Database::raise(int code) const {
    // A table's own failure comes typed from the virtual table; an undo that failed is added to it.
    if (auto failure = m_folder->takeTableError()) throw *failure;
    const std::string message = sqlite3_errmsg(m_db);
    switch (code & 0xFF) {
    case SQLITE_AUTH:
        if (!m_deniedFunction.empty())
            throw Error(ErrorNumber::UndefinedFunction,
                        "Undefined function '" + m_deniedFunction + "' in expression.");
        throw Error(ErrorNumber::InvalidSqlStatement, "This statement reaches outside the folder's tables.");
    case SQLITE_MISMATCH:
        throw Error(ErrorNumber::DataTypeMismatch, message);
    case SQLITE_READONLY:
        throw Error(ErrorNumber::NotUpdatable, message);
    case SQLITE_IOERR:
    case SQLITE_FULL:
        throw Error(ErrorNumber::DiskIo, message);
    case SQLITE_NOMEM:
        throw Error(ErrorNumber::DiskIo, "Out of memory: " + message);
    default:
        throw Error(ErrorNumber::SyntaxErrorInQuery, message);
    }
}

Statement Database::prepare(const Translation& st) {
    (void)m_folder->takeTableError(); // a failure no statement reported belongs to none
    m_deniedFunction.clear();
    if (auto prepared = Statement::tryPrepare(*this, st.sql)) return std::move(*prepared);
    if (auto field = unknownField(st))
        throw Error(ErrorNumber::TooFewParameters, "Unknown field name '" + *field + "'.");
    if (auto table = fieldlessTable(st))
        throw Error(ErrorNumber::InvalidOperation,
                    "Table '" + table->path().filename().string() +
                        "' has no fields, so there is nothing to select from it; it holds " +
                        std::to_string(table->recordCount()) + " records.");
    return Statement(*this, st.sql); // fails again, with SQLite's own account
}

std::optional<std::string> Database::unknownField(const Translation& st) {
    std::vector<std::string> known = st.aliases;
    for (const auto& name : st.tables) {
        const auto file = m_folder->find(name);
        if (!file) continue;
        for (auto& column : columnNames(*m_folder->table(*file)))
            known.push_back(std::move(column));
    }
    for (const auto& field : st.fields) {
        const bool found = std::any_of(known.begin(), known.end(),
                                       [&](const std::string& k) { return sql::equalsIgnoreCase(k, field); });
        if (!found) return field;
    }
    return std::nullopt;
}

// A table of the statement without fields, when all its tables are such: then the statement has no
// columns to show, which SQLite reports in its own terms.
std::shared_ptr<xbase::Table> Database::fieldlessTable(const Translation& st) {
    std::shared_ptr<xbase::Table> fieldless;
    for (const auto& name : st.tables) {
        const auto file = m_folder->find(name);
        if (!file) return nullptr;
        auto table = m_folder->table(*file);
        if (!table->visibleFields().empty()) return nullptr;
        fieldless = std::move(table);
    }
    return fieldless;
}

std::string Database::attach(const fs::path& file, std::string_view written) {
    // The virtual table is named as translate() names the table in SQL: lower-cased, without ".dbf".
    const std::string name = sql::asciiLower(stripDbfExtension(written));
    // The file as it is now: a file replaced or rewritten with other fields needs a new virtual table.
    const std::shared_ptr<void> table = m_folder->table(file);
    for (auto it = m_attached.begin(); it != m_attached.end(); ++it) {
        if (it->name != name) continue;
        if (it->file == file && it->table == table) return name;
        Statement(*this, "DROP TABLE IF EXISTS temp." + sql::quoteIdentifier(name)).run();
        m_attached.erase(it);
        break;
    }
    const std::string create = "CREATE VIRTUAL TABLE temp." + sql::quoteIdentifier(name) + " USING dbf(" +
                               sql::quoteString(file.string()) + ")";
    char* err = nullptr;
    if (sqlite3_exec(m_db, create.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string message = err ? err : "cannot open the table";
        sqlite3_free(err);
        throw Error(ErrorNumber::BadTableFile, message);
    }
    m_attached.push_back({file, name, table});
    return name;
}

std::optional<fs::path> Database::attachedFile(std::string_view name) const {
    for (const auto& a : m_attached)
        if (a.name == name) return a.file;
    return std::nullopt;
}

void Database::detach(const fs::path& file) {
    for (auto it = m_attached.begin(); it != m_attached.end();) {
        if (it->file == file) {
            Statement(*this, "DROP TABLE IF EXISTS temp." + sql::quoteIdentifier(it->name)).run();
            it = m_attached.erase(it);
        } else {
            ++it;
        }
    }
    m_folder->forget(file);
}

std::vector<std::unique_ptr<TableLock>> Database::lockShared(const std::vector<fs::path>& files) const {
    std::vector<std::unique_ptr<TableLock>> locks;
    for (const auto& file : files) {
        const bool mine = m_exclusive.count(file) != 0; // our own exclusive lock covers it
        auto lock = TableLock::tryLock(file, TableLock::Mode::Shared);
        if (!lock && !mine)
            throw Error(ErrorNumber::TableExclusivelyLocked,
                        "Table '" + file.stem().string() + "' is opened exclusively by another user.");
        if (lock) locks.push_back(std::move(lock));
    }
    return locks;
}

void Database::checkWritable() const {
    if (m_readOnly)
        throw Error(ErrorNumber::NotUpdatable,
                    "The database '" + m_folder->dir().string() + "' is open for reading only.");
}

// Makes the statement's tables known to SQLite under the names translate() gives them.
std::vector<fs::path> Database::attachAll(const Translation& st, bool targetMayBeMissing) {
    std::vector<fs::path> files;
    for (const auto& name : st.tables) {
        auto file = m_folder->find(name);
        if (!file) {
            if (targetMayBeMissing &&
                sql::equalsIgnoreCase(stripDbfExtension(name), stripDbfExtension(st.target)))
                continue;
            m_folder->resolve(name); // throws "not found"
        }
        attach(*file, name);
        files.push_back(*file);
    }
    return files;
}

Translation Database::translated(std::string_view statement) {
    // Every word of the statement that names a table of the folder brings its fields along; a field
    // name the tables give different kinds is left unknown.
    auto kinds = std::make_shared<std::map<std::string, ComputedKind>>();
    for (const auto& token : sql::tokenize(statement)) {
        if (token.kind != sql::TokenKind::Word && token.kind != sql::TokenKind::Name) continue;
        std::shared_ptr<xbase::Table> table;
        try {
            if (const auto file = m_folder->find(token.text)) table = m_folder->table(*file);
        } catch (const std::exception&) {
            continue; // the statement itself will say what is wrong with it
        }
        if (!table) continue;
        for (const std::size_t i : table->visibleFields()) {
            ComputedKind kind = ComputedKind::Unknown;
            switch (kindOfField(table->fields()[i])) {
            case FieldKind::Integer:
            case FieldKind::Real:
            case FieldKind::Logical:
                kind = ComputedKind::Number;
                break;
            case FieldKind::Text:
            case FieldKind::Memo:
                kind = ComputedKind::Text;
                break;
            case FieldKind::Date:
            case FieldKind::DateTime:
                kind = ComputedKind::Date;
                break;
            case FieldKind::Binary:
                break;
            }
            const auto [it, added] = kinds->emplace(sql::asciiLower(table->fields()[i].name), kind);
            if (!added && it->second != kind) it->second = ComputedKind::Unknown;
        }
    }
    Translation st = translate(statement, [kinds](std::string_view field) {
        const auto it = kinds->find(sql::asciiLower(field));
        return it == kinds->end() ? ComputedKind::Unknown : it->second;
    });
    if (!m_topKeepsTies) st.tiesSql.clear();
    return st;
}

std::int64_t Database::execute(std::string_view statement) {
    const Folder::Handling failing(*m_folder, Folder::Unreadable::Fail);
    Translation st = translated(statement);
    switch (st.kind) {
    case StatementKind::Select:
        throw Error(ErrorNumber::CannotExecuteSelect,
                    "Cannot execute a select query: open it as a recordset to see its rows.");
    case StatementKind::SelectInto:
        checkWritable();
        return selectInto(st);
    case StatementKind::CreateTable:
    case StatementKind::DropTable:
    case StatementKind::AlterAddColumn:
    case StatementKind::AlterDropColumn:
        checkWritable();
        return executeDdl(st);
    default:
        break;
    }
    checkWritable();
    const auto files = attachAll(st, false);
    const auto locks = lockShared(files);
    return prepare(st).run();
}

std::unique_ptr<Recordset> Database::openRecordset(std::string_view source) {
    return Recordset::open(*this, source);
}

} // namespace engine
