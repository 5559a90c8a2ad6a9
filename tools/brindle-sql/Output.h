// How brindle-sql writes a result: aligned text for people; CSV, TSV, JSON Lines and Markdown for programs.
#pragma once

#include "engine/Database.h"
#include "engine/Recordset.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindlesql {

enum class Format { Aligned, Csv, Tsv, Json, Markdown };
// The format of a name as the options and .mode write it ("csv", "json", ...); nullopt for others.
std::optional<Format> formatNamed(std::string_view name);

// A value as CSV text: numbers in plain decimal with a point, dates ISO, logical True/False, Null empty.
std::string csvText(const engine::Value& value);
// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

// One result written in one format: the column names, then the rows, then the end. A cell is nullopt
// where its value could not be read; it is written empty (null in JSON).
class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void begin(const std::vector<std::string>& names) = 0;
    virtual void row(const std::vector<std::optional<engine::Value>>& cells) = 0;
    virtual void end() = 0;
};

// A writer to `out`; `header` false leaves out the line of column names (and the rule under it).
std::unique_ptr<RowWriter> makeWriter(Format format, bool header, std::FILE* out);

// Writes every row of the recordset. A value that cannot be read (a damaged memo) is written empty; the
// reasons come back, each once, for the caller to report. What stops the whole result is thrown.
std::vector<std::string> writeResult(engine::Recordset& rs, RowWriter& writer);

} // namespace brindlesql
