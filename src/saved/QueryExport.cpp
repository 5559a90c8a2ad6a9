// The export of all saved queries to a text file.
#include "saved/QueryExport.h"

#include "platform/AtomicFile.h"

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
    // The texts go out byte for byte: a line break of another kind inside a name or text is kept as
    // it is, not made into CR LF as the program's other text files are.
    platform::AtomicFile::write(path, exportText(listQueries(db, Order::Stored)).toLocal8Bit());
}

} // namespace saved
