// The export of all saved queries to a text file: three lines per query.
#pragma once

#include "saved/SavedQueries.h"

#include <QString>
#include <vector>

namespace engine {
class Database;
}

namespace saved {

// For each query "Naziv: " and its name, "Tekst: " and its text (its own line breaks kept as they
// are, so a text of several lines goes on over several lines), and a line of one blank; every line
// ends in CR LF.
// No queries give the empty text.
QString exportText(const std::vector<SavedQuery>& queries);

// Writes every row of the table, in its stored order, to the file at `path`, replacing it. The file
// is written whole or not at all. Throws engine::Error: the engine's, or the file layer's.
void exportQueries(engine::Database& db, const QString& path);

} // namespace saved
