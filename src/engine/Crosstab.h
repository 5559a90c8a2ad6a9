// The select a crosstab runs: its column headings are the pivot values, found when it runs.
#pragma once

#include "engine/Dialect.h"

#include <string>

namespace engine {

class Database;

// The SQLite select of a crosstab: the row headings, then one column for each pivot value (those of
// IN, or every value the rows have, in order; a Null value makes a column named "<>"), holding the
// aggregate over the group's rows with that value. Throws Error.
std::string composeCrosstab(Database& db, const Crosstab& crosstab);

} // namespace engine
