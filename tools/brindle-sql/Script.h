// Statements of a script, split where a line ends in a ';' that lies outside quoted text and [names].
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindlesql {

struct ScriptStatement {
    std::string text; // without the ending ';'
    int line = 0;     // the line, from 1, of its first character that is not blank
};

// Takes a script a line at a time. A statement ends at a ';' that is the last character of a line that
// is not blank, outside '...', "..." and [...]; the end of the input ends the last one. A ';' anywhere
// else is part of the statement. Blank statements are skipped.
class StatementSplitter {
public:
    // The next line, without its line end (a CR before it is dropped); the statement it ends, if any.
    std::optional<ScriptStatement> feed(std::string_view line);
    // At the end of the input: the statement left unended, if not blank.
    std::optional<ScriptStatement> finish();
    // True while a statement has begun and not ended (the interactive prompt continues it).
    bool pending() const { return m_line != 0; }

private:
    std::string m_text;
    int m_lines = 0;    // lines fed so far
    int m_line = 0;     // where the statement begun lies; 0 before its first character that is not blank
    char m_closing = 0; // the character that ends the quoted text or [name] the text is inside, or 0
};

} // namespace brindlesql
