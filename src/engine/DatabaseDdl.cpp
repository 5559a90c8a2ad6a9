// Statements that change the folder's structure: CREATE/DROP TABLE, ALTER TABLE, SELECT ... INTO.
#include "engine/Collation.h"
#include "engine/Database.h"
#include "engine/Dialect.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/SqlLexer.h"
#include "engine/Statement.h"
#include "engine/TableLock.h"
#include "engine/Values.h"
#include "xbase/Companions.h"
#include "xbase/Error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace engine {

namespace {

std::vector<xbase::FieldSpec> wantedOf(const xbase::Table& t) {
    std::vector<xbase::FieldSpec> wanted;
    for (std::size_t i : t.visibleFields()) {
        const auto& f = t.fields()[i];
        wanted.push_back({f.name, f.type, f.length, f.decimals});
    }
    return wanted;
}

// A dBASE field name for a result column: at most 10 characters of letters, digits and '_', unique.
std::string fieldNameFor(const std::string& column, std::set<std::string>& used) {
    std::string name;
    for (unsigned char c : column)
        name += std::isalnum(c) || c == '_' ? static_cast<char>(c) : '_';
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "F" + name;
    name.resize(std::min<std::size_t>(name.size(), 10));
    std::string candidate = name;
    for (int n = 1; used.count(sql::asciiLower(candidate)); ++n) {
        const std::string suffix = std::to_string(n);
        candidate = name.substr(0, 10 - suffix.size()) + suffix;
    }
    used.insert(sql::asciiLower(candidate));
    return candidate;
}

// What a column of computed values needs, learnt from its values.
struct Shape {
    FieldKind kind = FieldKind::Text;
    bool seen = false;
    std::size_t textLength = 1;
    std::size_t integerDigits = 1;
    std::size_t decimals = 0;
    bool real = false;
    bool mixed = false;
};

void learn(Shape& s, sqlite3_stmt* stmt, int column) {
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_NULL) return;
    const FieldKind kind = type == SQLITE_INTEGER || type == SQLITE_FLOAT ? FieldKind::Real : FieldKind::Text;
    if (s.seen && s.kind != kind) s.mixed = true;
    s.kind = kind;
    s.seen = true;
    if (kind == FieldKind::Real) {
        char buf[64];
        if (type == SQLITE_INTEGER) {
            std::snprintf(buf, sizeof buf, "%lld",
                          static_cast<long long>(sqlite3_column_int64(stmt, column)));
        } else {
            s.real = true;
            std::snprintf(buf, sizeof buf, "%.10g", sqlite3_column_double(stmt, column));
        }
        std::string text = buf;
        const auto point = text.find('.');
        const std::string whole = text.substr(0, point);
        s.integerDigits = std::max(s.integerDigits, whole.size());
        if (point != std::string::npos)
            s.decimals = std::max(s.decimals, std::min<std::size_t>(text.size() - point - 1, 9));
    }
    const auto length = countCodePoints({reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                                         static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))});
    s.textLength = std::max(s.textLength, length);
}

// A new table must not adopt a memo file, .cpg, journal or index that is already there.
void refuseCompanions(const fs::path& file) {
    const auto companions = xbase::companionFiles(file);
    if (!companions.empty())
        throw Error(ErrorNumber::TableAlreadyExists,
                    "Table '" + file.stem().string() + "' cannot be created: the file '" +
                        companions.front().filename().string() +
                        "', which would belong to it, is already in the folder. Remove or rename it first.");
}

} // namespace

std::unique_ptr<TableLock> Database::lockForChange(const fs::path& file) {
    if (auto it = m_exclusive.find(file); it != m_exclusive.end())
        return nullptr; // held already by this exclusive database
    auto lock = TableLock::tryLock(file, TableLock::Mode::Exclusive);
    if (!lock)
        throw Error(ErrorNumber::TableExclusivelyLocked,
                    "Table '" + file.stem().string() +
                        "' is in use; close it before changing its structure.");
    return lock;
}

std::int64_t Database::executeDdl(const Translation& st) {
    const std::string name = stripDbfExtension(st.target);
    requirePlainName(st.target);
    try {
        if (st.kind == StatementKind::CreateTable) {
            if (m_folder->find(name))
                throw Error(ErrorNumber::TableAlreadyExists, "Table '" + name + "' already exists.");
            const fs::path file = m_folder->dir() / (name + ".dbf");
            refuseCompanions(file);
            std::vector<xbase::FieldSpec> wanted;
            for (const auto& c : st.columns)
                wanted.push_back({c.name, c.dbfType, c.length, c.decimals});
            xbase::Table::create(file, wanted, m_folder->codePageForNewTable());
            return 0;
        }
        const fs::path file = m_folder->resolve(name);
        const auto lock = lockForChange(file);
        detach(file);
        if (st.kind == StatementKind::DropTable) {
            xbase::dropTable(file, m_folder->lockWait());
            return 0;
        }
        std::vector<xbase::FieldSpec> wanted = wantedOf(*m_folder->table(file));
        m_folder->forget(file);
        auto has = [&](const std::string& field) {
            return std::find_if(wanted.begin(), wanted.end(), [&](const xbase::FieldSpec& s) {
                return sql::equalsIgnoreCase(s.name, field);
            });
        };
        if (st.kind == StatementKind::AlterAddColumn) {
            for (const auto& c : st.columns) {
                if (has(c.name) != wanted.end())
                    throw Error(ErrorNumber::FieldDefinedTwice,
                                "Field '" + c.name + "' already exists in table '" + name + "'.");
                wanted.push_back({c.name, c.dbfType, c.length, c.decimals});
            }
        } else {
            for (const auto& field : st.dropColumns) {
                auto it = has(field);
                if (it == wanted.end())
                    throw Error(ErrorNumber::ItemNotFound,
                                "Field '" + field + "' not found in table '" + name + "'.");
                wanted.erase(it);
            }
            if (wanted.empty())
                throw Error(ErrorNumber::InvalidOperation, "A table must keep at least one field.");
        }
        xbase::restructure(file, wanted, m_folder->lockWait());
        return 0;
    } catch (const xbase::Error& e) {
        throw fromFileError(e);
    } catch (const fs::filesystem_error& e) {
        throw Error(ErrorNumber::DiskIo, e.what());
    }
}

std::int64_t Database::selectInto(const Translation& st) {
    const std::string name = stripDbfExtension(st.target);
    requirePlainName(st.target);
    if (m_folder->find(name))
        throw Error(ErrorNumber::TableAlreadyExists, "Table '" + name + "' already exists.");
    refuseCompanions(m_folder->dir() / (name + ".dbf"));
    const auto files = attachAll(st, true);
    const auto locks = lockShared(files);

    // The new table's fields: a copy of the source field where a column is one, else fitted to the values.
    Statement select = prepare(st);
    sqlite3_stmt* stmt = select.handle();
    const int columns = select.columnCount();
    std::vector<xbase::FieldSpec> wanted(static_cast<std::size_t>(columns));
    std::vector<Shape> shapes(static_cast<std::size_t>(columns));
    std::vector<bool> fitted(static_cast<std::size_t>(columns), false);
    std::set<std::string> used;
    std::string codePage = m_folder->codePageForNewTable();
    for (int i = 0; i < columns; ++i) {
        auto& want = wanted[static_cast<std::size_t>(i)];
        want.name = fieldNameFor(sqlite3_column_name(stmt, i), used);
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        std::shared_ptr<xbase::Table> source;
        if (table && origin)
            if (auto file = attachedFile(table)) source = m_folder->table(*file);
        const int field = source ? source->fieldIndex(origin) : -1;
        const char type = field >= 0 ? source->fields()[static_cast<std::size_t>(field)].type : 0;
        if (field >= 0 && std::string("CNFDLM").find(type) != std::string::npos) {
            const auto& f = source->fields()[static_cast<std::size_t>(field)];
            want.type = f.type;
            want.length = f.length;
            want.decimals = f.decimals;
            codePage = source->codePage().name();
        } else {
            fitted[static_cast<std::size_t>(i)] = true;
            const FieldKind kind = kindOfDeclaredType(sqlite3_column_decltype(stmt, i));
            shapes[static_cast<std::size_t>(i)].kind = kind;
        }
    }
    const bool anyFitted = std::find(fitted.begin(), fitted.end(), true) != fitted.end();
    while (anyFitted && select.step())
        for (int i = 0; i < columns; ++i)
            if (fitted[static_cast<std::size_t>(i)]) learn(shapes[static_cast<std::size_t>(i)], stmt, i);
    for (int i = 0; i < columns; ++i) {
        if (!fitted[static_cast<std::size_t>(i)]) continue;
        const Shape& s = shapes[static_cast<std::size_t>(i)];
        auto& want = wanted[static_cast<std::size_t>(i)];
        if (s.kind == FieldKind::Date) {
            want.type = 'D';
        } else if (s.kind == FieldKind::Logical) {
            want.type = 'L';
        } else if (s.seen && !s.mixed && s.kind == FieldKind::Real) {
            want.type = 'N';
            want.decimals = static_cast<std::uint8_t>(s.real ? std::max<std::size_t>(s.decimals, 2) : 0);
            want.length = static_cast<std::uint32_t>(
                std::min<std::size_t>(20, s.integerDigits + 1 + (want.decimals ? want.decimals + 1 : 0)));
        } else if (s.textLength > 254) {
            want.type = 'M';
        } else {
            want.type = 'C';
            want.length = static_cast<std::uint32_t>(s.textLength);
        }
    }

    const fs::path file = m_folder->dir() / (name + ".dbf");
    try {
        xbase::Table::create(file, wanted, codePage);
    } catch (const xbase::Error& e) {
        throw fromFileError(e);
    }
    try {
        const std::string target = attach(file, name);
        std::string insert = "INSERT INTO \"";
        for (char c : target)
            insert += c == '"' ? std::string("\"\"") : std::string(1, c);
        insert += "\" " + st.sql;
        return Statement(*this, insert).run();
    } catch (...) {
        // Nothing of a failed SELECT ... INTO stays behind: the table, its memo file, its journal.
        detach(file);
        try {
            xbase::dropTable(file, m_folder->lockWait());
        } catch (const xbase::Error&) {
            // The statement's own failure is the one to report; what is left is an empty new table.
        }
        throw;
    }
}

} // namespace engine
