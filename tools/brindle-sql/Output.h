// How brindle-sql writes a result: aligned text for people, CSV for programs.
#pragma once

#include "engine/Database.h"
#include "engine/Recordset.h"

#include <cstdio>
#include <string>
#include <vector>

namespace brindlesql {

// A value as CSV text: numbers in plain decimal with a point, dates ISO, logical True/False, Null empty.
std::string csvText(const engine::Value& value);
// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

// Write every row of the recordset. A value that cannot be read (a damaged memo) is written empty; the
// reasons come back, each once, for the caller to report.
std::vector<std::string> writeCsv(engine::Recordset& rs, std::FILE* out);
std::vector<std::string> writeAligned(engine::Recordset& rs, std::FILE* out);

} // namespace brindlesql
