// Result output of brindle-sql: values as text, and a recordset read row by row into a writer.
#include "Output.h"

#include "engine/Collation.h"
#include "engine/Error.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace brindlesql {

std::string csvText(const engine::Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[400];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d, std::chars_format::fixed);
        return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    if (auto b = std::get_if<bool>(&v)) return *b ? "True" : "False";
    if (auto d = std::get_if<xbase::Date>(&v)) return engine::isoDate(*d);
    if (auto t = std::get_if<xbase::DateTime>(&v)) {
        std::string text = engine::isoDateTime(*t);
        text[10] = 'T';
        return text.substr(0, 19);
    }
    if (auto bytes = std::get_if<xbase::Bytes>(&v)) {
        static const char* hex = "0123456789ABCDEF";
        std::string text;
        for (auto b : *bytes) {
            text += hex[b >> 4];
            text += hex[b & 15];
        }
        return text;
    }
    return {};
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

namespace {

// The tables are held for reading a stretch of rows at a time: another program's change lands between
// stretches, never inside a row, and each row is not a lock of its own.
void holdStretch(engine::Recordset& rs, std::int64_t row,
                 std::optional<engine::Recordset::Reading>& reading) {
    if (row % 4096 != 0) return;
    reading.reset();
    reading.emplace(rs);
}

// A value of the result, or nullopt where this one value cannot be read; the reason is kept, once.
// What stops the whole result (the table changed or locked) is thrown on.
std::optional<engine::Value> cell(engine::Recordset& rs, std::int64_t row, std::size_t column,
                                  std::vector<std::string>& reasons) {
    try {
        return rs.valueAt(row, column);
    } catch (const engine::Error& e) {
        if (e.number() == engine::DataChanged || e.number() == engine::CouldNotReadLocked) throw;
        // Each reason once; past a few, one line says there are more.
        constexpr std::size_t kMostReasons = 10;
        const std::string reason = e.what(); // names the record and the field
        if (std::find(reasons.begin(), reasons.end(), reason) != reasons.end()) return std::nullopt;
        if (reasons.size() < kMostReasons)
            reasons.push_back(reason);
        else if (reasons.size() == kMostReasons)
            reasons.push_back("more values cannot be read; each is written empty.");
        return std::nullopt;
    }
}

} // namespace

std::optional<Format> formatNamed(std::string_view name) {
    if (name == "aligned") return Format::Aligned;
    if (name == "csv") return Format::Csv;
    if (name == "tsv") return Format::Tsv;
    if (name == "json") return Format::Json;
    if (name == "markdown") return Format::Markdown;
    return std::nullopt;
}

std::vector<std::string> writeResult(engine::Recordset& rs, RowWriter& writer) {
    std::vector<std::string> reasons;
    std::vector<std::string> names;
    for (std::size_t c = 0; c < rs.fieldCount(); ++c)
        names.push_back(rs.field(c).name);
    writer.begin(names);
    std::optional<engine::Recordset::Reading> reading;
    std::vector<std::optional<engine::Value>> cells(names.size());
    for (std::int64_t row = 0; rs.fetch(row); ++row) {
        holdStretch(rs, row, reading);
        for (std::size_t c = 0; c < names.size(); ++c)
            cells[c] = cell(rs, row, c, reasons);
        writer.row(cells);
    }
    reading.reset();
    writer.end();
    return reasons;
}

} // namespace brindlesql
