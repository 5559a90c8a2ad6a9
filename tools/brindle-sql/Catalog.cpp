// The folder's tables and a table's schema for brindle-sql.
#include "Catalog.h"

#include "engine/Dialect.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "xbase/Table.h"

#include <algorithm>
#include <cstdio>

namespace brindlesql {

namespace {

std::string versionText(const xbase::Header& header) {
    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", header.version);
    return std::string(xbase::familyName(header.family)) + " (" + version + ")";
}

std::int64_t liveRecords(xbase::Table& table) {
    xbase::Table::ReadLock lock(table);
    std::vector<std::uint32_t> deleted;
    table.findDeleted(0, table.recordCount(), deleted);
    return static_cast<std::int64_t>(table.recordCount()) - static_cast<std::int64_t>(deleted.size());
}

// NUMERIC(p,s) makes N(p + 1 + (s > 0), s): the sign, and the point with decimals.
std::string numeric(const xbase::Field& f) {
    const long point = f.decimals > 0 ? 1 : 0;
    long precision = std::clamp(static_cast<long>(f.length) - 1 - point, 1L, 19L - point);
    precision = std::max(precision, static_cast<long>(f.decimals));
    return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(f.decimals) + ")";
}

// The type of CREATE TABLE that makes this field, or the nearest one where none does.
std::string typeOf(const xbase::Field& f) {
    switch (f.type) {
    case 'C':
    case 'V':
        return "TEXT(" + std::to_string(std::clamp<std::uint32_t>(f.length, 1, 254)) + ")";
    case 'N':
    case 'F':
        return numeric(f);
    case 'D':
        return "DATE";
    case 'T':
    case '@':
        return "DATETIME";
    case 'L':
        return "YESNO";
    case 'I':
    case '+':
        return "LONG";
    case 'B':
    case 'O':
        return "DOUBLE";
    case 'Y':
        return "CURRENCY";
    default:
        return "MEMO"; // M, and the binary kinds, which only a memo can hold
    }
}

std::string describe(char type, std::uint32_t length, std::uint8_t decimals) {
    return std::string(1, type) + "(" + std::to_string(length) +
           (decimals ? "," + std::to_string(decimals) : "") + ")";
}

} // namespace

bool listTables(Session& session) {
    engine::Database& db = session.database();
    auto files = db.files().tableFiles();
    std::sort(files.begin(), files.end());
    const auto writer = makeWriter(session.settings().format, session.settings().header, stdout);
    writer->begin({"name", "records", "version", "codepage", "memo"});
    bool complete = true;
    for (const auto& file : files) {
        try {
            const auto table = db.files().table(file);
            const auto& memo = table->memoPath();
            writer->row({engine::Value(engine::stripDbfExtension(file.filename().string())),
                         engine::Value(liveRecords(*table)), engine::Value(versionText(table->header())),
                         engine::Value(table->codePage().name()),
                         engine::Value(memo ? memo->filename().string() : std::string("-"))});
        } catch (const std::exception& e) {
            std::fflush(stdout);
            session.warn();
            reportFailure(e, file.filename().string() + ": ");
            complete = false;
        }
    }
    writer->end();
    std::fflush(stdout);
    session.warn();
    return complete;
}

Schema schemaOf(engine::Database& db, std::string_view name) {
    const auto file = db.files().resolve(name);
    const auto table = db.files().table(file);
    Schema schema;
    std::string& text = schema.statement;
    text = "CREATE TABLE [" + engine::stripDbfExtension(file.filename().string()) + "] (";
    std::vector<const xbase::Field*> fields;
    for (std::size_t index : table->visibleFields())
        fields.push_back(&table->fields()[index]);
    for (std::size_t i = 0; i < fields.size(); ++i)
        text += (i ? ", [" : "[") + fields[i]->name + "] " + typeOf(*fields[i]);
    text += ")";

    // What the engine makes of the statement, field by field, against what the table has.
    try {
        const auto made = engine::translate(text).columns;
        for (std::size_t i = 0; i < fields.size() && i < made.size(); ++i) {
            const xbase::Field& f = *fields[i];
            const engine::ColumnDef& m = made[i];
            if (m.dbfType != f.type || m.length != f.length || m.decimals != f.decimals)
                schema.inexact.push_back("field '" + f.name + "' is " +
                                         describe(f.type, f.length, f.decimals) + "; the statement makes " +
                                         describe(m.dbfType, m.length, m.decimals) + ".");
        }
    } catch (const engine::Error& e) {
        schema.inexact.push_back("the statement cannot be run: " + std::string(e.what()));
    }
    return schema;
}

} // namespace brindlesql
