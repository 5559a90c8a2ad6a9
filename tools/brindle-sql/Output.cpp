// Result output of brindle-sql.
#include "Output.h"

#include "engine/Collation.h"

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

} // namespace

void writeCsv(engine::Recordset& rs, std::FILE* out) {
    std::string line;
    for (std::size_t c = 0; c < rs.fieldCount(); ++c)
        line += (c ? "," : "") + csvField(rs.field(c).name);
    std::fprintf(out, "%s\r\n", line.c_str());
    std::optional<engine::Recordset::Reading> reading;
    for (std::int64_t row = 0; rs.fetch(row); ++row) {
        holdStretch(rs, row, reading);
        line.clear();
        for (std::size_t c = 0; c < rs.fieldCount(); ++c)
            line += (c ? "," : "") + csvField(csvText(rs.valueAt(row, c)));
        std::fprintf(out, "%s\r\n", line.c_str());
    }
}

void writeAligned(engine::Recordset& rs, std::FILE* out) {
    const std::size_t columns = rs.fieldCount();
    std::vector<std::vector<std::string>> cells;
    std::vector<std::size_t> width(columns);
    auto length = [](const std::string& s) { return engine::countCodePoints(s); };
    std::vector<std::string> header;
    for (std::size_t c = 0; c < columns; ++c) {
        header.push_back(rs.field(c).name);
        width[c] = length(header.back());
    }
    std::optional<engine::Recordset::Reading> reading;
    for (std::int64_t row = 0; rs.fetch(row); ++row) {
        holdStretch(rs, row, reading);
        std::vector<std::string> line;
        for (std::size_t c = 0; c < columns; ++c) {
            const engine::Value v = rs.valueAt(row, c);
            std::string text = xbase::isNull(v) ? "Null" : csvText(v);
            for (auto& ch : text)
                if (ch == '\r' || ch == '\n') ch = ' ';
            width[c] = std::max(width[c], length(text));
            line.push_back(std::move(text));
        }
        cells.push_back(std::move(line));
    }
    auto print = [&](const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t c = 0; c < columns; ++c) {
            text += line[c];
            if (c + 1 < columns) text += std::string(width[c] - length(line[c]) + 2, ' ');
        }
        std::fprintf(out, "%s\n", text.c_str());
    };
    print(header);
    std::vector<std::string> rule;
    for (std::size_t c = 0; c < columns; ++c)
        rule.push_back(std::string(width[c], '-'));
    print(rule);
    for (const auto& line : cells)
        print(line);
    std::fprintf(out, "(%zu row%s)\n", cells.size(), cells.size() == 1 ? "" : "s");
}

} // namespace brindlesql
