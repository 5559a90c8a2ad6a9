// Splitting a script into statements.
#include "Script.h"

namespace brindlesql {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

} // namespace

std::optional<ScriptStatement> StatementSplitter::feed(std::string_view line) {
    ++m_lines;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t last = std::string_view::npos; // the last character that is not blank
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (isBlank(c)) continue;
        last = i;
        if (m_line == 0) m_line = m_lines;
        if (m_closing) {
            // A doubled quote inside quoted text ends it and begins it again: the same state.
            if (c == m_closing) m_closing = 0;
        } else if (c == '\'' || c == '"') {
            m_closing = c;
        } else if (c == '[') {
            m_closing = ']';
        }
    }
    // The ';' changes no state: when the line ends outside quotes, so does that ';'.
    if (last == std::string_view::npos || line[last] != ';' || m_closing) {
        if (m_line != 0) m_text.append(line).push_back('\n');
        return std::nullopt;
    }
    m_text.append(line.substr(0, last));
    ScriptStatement statement{std::move(m_text), m_line};
    m_text.clear();
    m_line = 0;
    for (char c : statement.text)
        if (!isBlank(c)) return statement;
    return std::nullopt; // only the ';'
}

std::optional<ScriptStatement> StatementSplitter::finish() {
    if (m_line == 0) return std::nullopt;
    while (!m_text.empty() && isBlank(m_text.back()))
        m_text.pop_back();
    ScriptStatement statement{std::move(m_text), m_line};
    m_text.clear();
    m_line = 0;
    m_closing = 0;
    return statement;
}

} // namespace brindlesql
