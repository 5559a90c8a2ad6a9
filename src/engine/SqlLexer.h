// Splits one statement of the desktop SQL dialect into tokens: words, [names], strings, numbers, #dates#.
#pragma once

#include "xbase/Ascii.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine::sql {

enum class TokenKind {
    Word,   // a name or keyword as typed; a trailing '$' (Left$) is part of it
    Name,   // a [bracketed] name; text is what stands between the brackets
    String, // '...' or "..."; text is the value, doubled delimiters undone
    Number, // digits with optional fraction and exponent; text as typed
    Date,   // #...#; text is what stands between the '#'
    Symbol, // ( ) , . ; ! * + - / \ ^ & = < > <= >= <>
    Error,  // text that is no token; text is the description, error the number
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t begin = 0; // offsets into the statement: [begin, end)
    std::size_t end = 0;
    int error = 0;

    bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
    // A word equal to keyword, compared without regard to ASCII case.
    bool isWord(std::string_view keyword) const;
};

// The last token is always End. An unterminated string, name or date, or a character the dialect
// does not use, ends the list with an Error token before End, so that the parser reports what comes
// first in the statement.
std::vector<Token> tokenize(std::string_view statement);

// ASCII case folding of names and keywords (xbase::ascii), under the names the engine uses.
using xbase::ascii::equalsIgnoreCase;
inline std::string asciiLower(std::string_view s) {
    return xbase::ascii::lower(s);
}
inline std::string asciiUpper(std::string_view s) {
    return xbase::ascii::upper(s);
}

} // namespace engine::sql
