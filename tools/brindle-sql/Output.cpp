// Result output of brindle-sql.
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

// Text as it is, NULs and all: a value is bytes to the output, never a C string.
void writeLine(const std::string& line, const char* end, std::FILE* out) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputs(end, out);
}

} // namespace

std::vector<std::string> writeCsv(engine::Recordset& rs, std::FILE* out) {
    std::vector<std::string> reasons;
    std::string line;
    for (std::size_t c = 0; c < rs.fieldCount(); ++c)
        line += (c ? "," : "") + csvField(rs.field(c).name);
    writeLine(line, "\r\n", out);
    std::optional<engine::Recordset::Reading> reading;
    for (std::int64_t row = 0; rs.fetch(row); ++row) {
        holdStretch(rs, row, reading);
        line.clear();
        for (std::size_t c = 0; c < rs.fieldCount(); ++c) {
            const auto v = cell(rs, row, c, reasons);
            line += (c ? "," : "") + (v ? csvField(csvText(*v)) : std::string());
        }
        writeLine(line, "\r\n", out);
    }
    return reasons;
}

std::vector<std::string> writeAligned(engine::Recordset& rs, std::FILE* out) {
    std::vector<std::string> reasons;
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
            const auto v = cell(rs, row, c, reasons);
            std::string text = !v ? std::string() : xbase::isNull(*v) ? "Null" : csvText(*v);
            for (auto& ch : text)
                if (ch == '\r' || ch == '\n' || ch == '\0') ch = ' ';
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
        writeLine(text, "\n", out);
    };
    print(header);
    std::vector<std::string> rule;
    for (std::size_t c = 0; c < columns; ++c)
        rule.push_back(std::string(width[c], '-'));
    print(rule);
    for (const auto& line : cells)
        print(line);
    std::fprintf(out, "(%zu row%s)\n", cells.size(), cells.size() == 1 ? "" : "s");
    return reasons;
}

} // namespace brindlesql
