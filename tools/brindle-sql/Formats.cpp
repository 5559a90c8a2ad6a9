// The result formats of brindle-sql, one writer each.
#include "Output.h"
#include "engine/Collation.h"

#include <algorithm>
#include <cmath>

namespace brindlesql {

namespace {

// Text as it is, NULs and all: a value is bytes to the output, never a C string.
void writeLine(const std::string& line, const char* end, std::FILE* out) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputs(end, out);
}

// Columns padded to their widest value, a rule under the names, the count of rows at the end. Null is
// "Null"; line breaks and NULs become spaces (in the names too), so that each row stays one line.
class AlignedWriter : public RowWriter {
public:
    AlignedWriter(bool header, std::FILE* out) : m_header(header), m_out(out) {}
    void begin(const std::vector<std::string>& names) override {
        m_width.assign(names.size(), 0);
        if (m_header) add(names);
    }
    void row(const std::vector<std::optional<engine::Value>>& cells) override {
        std::vector<std::string> line;
        for (const auto& v : cells)
            line.push_back(!v ? std::string() : xbase::isNull(*v) ? "Null" : csvText(*v));
        add(line);
        ++m_rows;
    }
    void end() override {
        std::size_t first = 0;
        if (m_header) {
            print(m_lines[0]);
            std::vector<std::string> rule;
            for (std::size_t width : m_width)
                rule.push_back(std::string(width, '-'));
            print(rule);
            first = 1;
        }
        for (std::size_t i = first; i < m_lines.size(); ++i)
            print(m_lines[i]);
        std::fprintf(m_out, "(%zu row%s)\n", m_rows, m_rows == 1 ? "" : "s");
    }

private:
    static std::size_t length(const std::string& s) { return engine::countCodePoints(s); }
    void add(std::vector<std::string> line) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            for (auto& ch : line[c])
                if (ch == '\r' || ch == '\n' || ch == '\0') ch = ' ';
            m_width[c] = std::max(m_width[c], length(line[c]));
        }
        m_lines.push_back(std::move(line));
    }
    void print(const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text += std::string(m_width[c] - length(line[c]) + 2, ' ');
        }
        writeLine(text, "\n", m_out);
    }

    bool m_header;
    std::FILE* m_out;
    std::vector<std::size_t> m_width;
    std::vector<std::vector<std::string>> m_lines;
    std::size_t m_rows = 0;
};

// A line of fields joined by a separator, each made by `field`; CR LF line ends for CSV, LF for TSV.
class SeparatedWriter : public RowWriter {
public:
    using Field = std::string (*)(const std::string&);
    SeparatedWriter(bool header, std::FILE* out, char separator, Field field, const char* lineEnd)
        : m_header(header), m_out(out), m_separator(separator), m_field(field), m_lineEnd(lineEnd) {}
    void begin(const std::vector<std::string>& names) override {
        if (!m_header) return;
        std::string line;
        for (std::size_t c = 0; c < names.size(); ++c)
            (c ? line += m_separator : line) += m_field(names[c]);
        writeLine(line, m_lineEnd, m_out);
    }
    void row(const std::vector<std::optional<engine::Value>>& cells) override {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c) line += m_separator;
            if (cells[c]) line += m_field(csvText(*cells[c])); // Null's text is empty
        }
        writeLine(line, m_lineEnd, m_out);
    }
    void end() override {}

private:
    bool m_header;
    std::FILE* m_out;
    char m_separator;
    Field m_field;
    const char* m_lineEnd;
};

// A TSV field: tab, line breaks, NUL and the backslash itself written as \t \n \r \0 \\.
std::string tsvField(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// JSON Lines: an object per row keyed by the column names. Numbers are JSON numbers, logical values
// true/false, Null (and a value that cannot be read) null, everything else a string as csvText writes it.
class JsonWriter : public RowWriter {
public:
    explicit JsonWriter(std::FILE* out) : m_out(out) {}
    void begin(const std::vector<std::string>& names) override {
        m_keys.clear();
        for (const auto& name : names)
            m_keys.push_back(jsonString(name) + ":");
    }
    void row(const std::vector<std::optional<engine::Value>>& cells) override {
        std::string line = "{";
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c) line += ',';
            line += m_keys[c] + value(cells[c]);
        }
        writeLine(line + "}", "\n", m_out);
    }
    void end() override {}

private:
    static std::string value(const std::optional<engine::Value>& v) {
        if (!v || xbase::isNull(*v)) return "null";
        if (auto b = std::get_if<bool>(&*v)) return *b ? "true" : "false";
        if (auto d = std::get_if<double>(&*v); d && !std::isfinite(*d)) return "null";
        if (std::holds_alternative<std::int64_t>(*v) || std::holds_alternative<double>(*v))
            return csvText(*v);
        return jsonString(csvText(*v));
    }

    std::FILE* m_out;
    std::vector<std::string> m_keys;
};

// A Markdown cell: | and \ escaped with a backslash, a line break written <br>, NUL a space.
std::string markdownCell(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '|' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "<br>";
        } else {
            out += c == '\0' ? ' ' : c;
        }
    }
    return out;
}

// A GitHub table: the names, a |---| rule, a line per row; Null written "Null" as in aligned text.
class MarkdownWriter : public RowWriter {
public:
    MarkdownWriter(bool header, std::FILE* out) : m_header(header), m_out(out) {}
    void begin(const std::vector<std::string>& names) override {
        if (!m_header) return;
        std::string line = "|", rule = "|";
        for (const auto& name : names) {
            line += " " + markdownCell(name) + " |";
            rule += "---|";
        }
        writeLine(line, "\n", m_out);
        writeLine(rule, "\n", m_out);
    }
    void row(const std::vector<std::optional<engine::Value>>& cells) override {
        std::string line = "|";
        for (const auto& v : cells)
            line += " " +
                    (!v                  ? std::string()
                     : xbase::isNull(*v) ? "Null"
                                         : markdownCell(csvText(*v))) +
                    " |";
        writeLine(line, "\n", m_out);
    }
    void end() override {}

private:
    bool m_header;
    std::FILE* m_out;
};

} // namespace

std::unique_ptr<RowWriter> makeWriter(Format format, bool header, std::FILE* out) {
    switch (format) {
    case Format::Csv:
        return std::make_unique<SeparatedWriter>(header, out, ',', csvField, "\r\n");
    case Format::Tsv:
        return std::make_unique<SeparatedWriter>(header, out, '\t', tsvField, "\n");
    case Format::Json:
        return std::make_unique<JsonWriter>(out);
    case Format::Markdown:
        return std::make_unique<MarkdownWriter>(header, out);
    case Format::Aligned:
        break;
    }
    return std::make_unique<AlignedWriter>(header, out);
}

} // namespace brindlesql
