// The export of all saved queries to a text file.
#include "saved/QueryExport.h"

#include "platform/TextFile.h"

namespace saved {

QString exportText(const std::vector<SavedQuery>& queries) {
    QString text;
    for (const SavedQuery& query : queries)
        text += QStringLiteral("Naziv: ") + query.name + QStringLiteral("\r\nTekst: ") + query.text +
                QStringLiteral("\r\n \r\n");
    return text;
}

void exportQueries(engine::Database& db, const QString& path) {
    // Every row is read before the file is touched, so a table that cannot be read leaves it alone.
    platform::TextFile::write(path, exportText(listQueries(db, Order::Stored)));
}

} // namespace saved
