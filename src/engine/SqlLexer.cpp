// Tokens of the desktop SQL dialect. Comments are not part of the dialect, so "--" is two minus signs.
#include "engine/SqlLexer.h"

#include "engine/Error.h"

namespace engine::sql {

namespace {

bool isWordStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool isWordChar(unsigned char c) {
    return isWordStart(c) || isDigit(c);
}
bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

struct LexError {
    int number;
    std::string description;
};

[[noreturn]] void fail(std::string_view statement, std::size_t from, const std::string& what) {
    std::string_view rest = statement.substr(from);
    while (!rest.empty() && isSpace(static_cast<unsigned char>(rest.back())))
        rest.remove_suffix(1);
    throw LexError{SyntaxErrorInExpression, what + " in query expression '" + std::string(rest) + "'."};
}

} // namespace

bool Token::isWord(std::string_view keyword) const {
    return kind == TokenKind::Word && equalsIgnoreCase(text, keyword);
}

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true)
        try {
            while (i < s.size() && isSpace(static_cast<unsigned char>(s[i])))
                ++i;
            Token t;
            t.begin = i;
            if (i >= s.size()) {
                t.end = i;
                tokens.push_back(t);
                return tokens;
            }
            const unsigned char c = static_cast<unsigned char>(s[i]);
            // After a name, "." qualifies (t.x); elsewhere ".5" is a number.
            const bool afterOperand =
                !tokens.empty() && (tokens.back().kind == TokenKind::Name || tokens.back().isSymbol(")") ||
                                    (tokens.back().kind == TokenKind::Word && tokens.back().end == i));
            if (isWordStart(c)) {
                while (i < s.size() && isWordChar(static_cast<unsigned char>(s[i])))
                    ++i;
                if (i < s.size() && s[i] == '$') ++i;
                t.kind = TokenKind::Word;
                t.text = std::string(s.substr(t.begin, i - t.begin));
            } else if (isDigit(c) || (c == '.' && !afterOperand && i + 1 < s.size() &&
                                      isDigit(static_cast<unsigned char>(s[i + 1])))) {
                while (i < s.size() && isDigit(static_cast<unsigned char>(s[i])))
                    ++i;
                if (i < s.size() && s[i] == '.') {
                    ++i;
                    while (i < s.size() && isDigit(static_cast<unsigned char>(s[i])))
                        ++i;
                }
                if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                    std::size_t j = i + 1;
                    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
                    if (j < s.size() && isDigit(static_cast<unsigned char>(s[j]))) {
                        i = j;
                        while (i < s.size() && isDigit(static_cast<unsigned char>(s[i])))
                            ++i;
                    }
                }
                if (i < s.size() && isWordChar(static_cast<unsigned char>(s[i])))
                    fail(s, t.begin, "Syntax error in number");
                t.kind = TokenKind::Number;
                t.text = std::string(s.substr(t.begin, i - t.begin));
            } else if (c == '\'' || c == '"') {
                t.kind = TokenKind::String;
                ++i;
                while (true) {
                    if (i >= s.size()) fail(s, t.begin, "Syntax error in string");
                    if (static_cast<unsigned char>(s[i]) == c) {
                        if (i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == c) {
                            t.text += s[i];
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    t.text += s[i++];
                }
            } else if (c == '[') {
                const std::size_t close = s.find(']', i + 1);
                const std::size_t nested = s.find('[', i + 1);
                if (close == std::string_view::npos || (nested != std::string_view::npos && nested < close))
                    throw LexError{InvalidBracketing,
                                   "Invalid bracketing of name '" + std::string(s.substr(i)) + "'."};
                t.kind = TokenKind::Name;
                t.text = std::string(s.substr(i + 1, close - i - 1));
                i = close + 1;
            } else if (c == '#') {
                const std::size_t close = s.find('#', i + 1);
                if (close == std::string_view::npos) fail(s, t.begin, "Syntax error in date");
                t.kind = TokenKind::Date;
                t.text = std::string(s.substr(i + 1, close - i - 1));
                i = close + 1;
            } else {
                t.kind = TokenKind::Symbol;
                const std::string_view two = s.substr(i, 2);
                if (two == "<=" || two == ">=" || two == "<>") {
                    t.text = std::string(two);
                    i += 2;
                } else if (std::string_view("(),.;!*+-/\\^&=<>").find(static_cast<char>(c)) !=
                           std::string_view::npos) {
                    t.text = std::string(1, static_cast<char>(c));
                    ++i;
                } else {
                    fail(s, t.begin, "Invalid character '" + std::string(1, static_cast<char>(c)) + "'");
                }
            }
            t.end = i;
            tokens.push_back(std::move(t));
        } catch (const LexError& e) {
            Token error;
            error.kind = TokenKind::Error;
            error.text = e.description;
            error.error = e.number;
            error.begin = error.end = i;
            tokens.push_back(error);
            Token end;
            end.begin = end.end = s.size();
            tokens.push_back(end);
            return tokens;
        }
}

} // namespace engine::sql
