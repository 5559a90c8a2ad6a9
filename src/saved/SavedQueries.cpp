// The saved queries: opening their table in the program folder, adding a row, listing the rows.
#include "saved/SavedQueries.h"

#include "engine/Database.h"
#include "engine/Error.h"
#include "engine/Folder.h"
#include "engine/Recordset.h"

#include <QDir>
#include <filesystem>

namespace saved {

std::unique_ptr<engine::Database> openDatabase(const platform::ProgramFolder& folder) {
    auto db = std::make_unique<engine::Database>(std::filesystem::path(folder.path().toStdString()));
    // The engine's own message names the table and the folder; the user needs to know which file
    // to put back.
    if (!db->files().find("upiti"))
        throw engine::Error(engine::TableNotFound,
                            "Cannot find the table of saved queries " +
                                QDir::toNativeSeparators(folder.savedQueries()).toStdString() +
                                ". It belongs in the program folder; the program does not create it.");
    return db;
}

void addQuery(engine::Database& db, const QString& name, const QString& text) {
    const std::unique_ptr<engine::Recordset> rows = db.openRecordset("upiti");
    rows->addNew();
    rows->setValue("u_naziv", name.toStdString());
    rows->setValue("u_txt", text.toStdString());
    rows->update();
}

std::vector<SavedQuery> listQueries(engine::Database& db, Order order) {
    const char* source = "upiti";
    if (order == Order::ByName) source = "select * from upiti order by u_naziv";
    if (order == Order::ByLowerName) source = windowRowSet;
    const std::unique_ptr<engine::Recordset> rows = db.openRecordset(source);
    std::vector<SavedQuery> queries;
    if (rows->eof()) return queries;
    for (rows->moveFirst(); !rows->eof(); rows->moveNext())
        queries.push_back({textOf(rows->value("u_naziv")), textOf(rows->value("u_txt"))});
    return queries;
}

QString textOf(const engine::Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
    return QString();
}

} // namespace saved
