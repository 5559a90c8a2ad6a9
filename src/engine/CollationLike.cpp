// The dialect's LIKE patterns, compiled once per statement and matched without regard to case.
#include "engine/Collation.h"

#include <stdexcept>

namespace engine {

namespace {

char32_t foldAscii(char32_t cp) {
    return cp - U'A' < 26u ? cp + 32 : (cp < 0x80 ? cp : foldCase(cp));
}

std::invalid_argument invalidPattern(std::string_view pattern) {
    return std::invalid_argument("Invalid pattern string '" + std::string(pattern) + "' in Like");
}

} // namespace

LikePattern::LikePattern(std::string_view pattern, char32_t escape) : m_escape(escape) {
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        const char32_t cp = decodeUtf8(pattern, pos);
        Token token{Kind::Literal};
        if (escape != 0 && cp == escape && pos < pattern.size()) {
            token.literal = foldAscii(decodeUtf8(pattern, pos));
        } else if (cp == U'*') {
            if (!m_tokens.empty() && m_tokens.back().kind == Kind::AnyRun) continue;
            token.kind = Kind::AnyRun;
        } else if (cp == U'?') {
            token.kind = Kind::AnyOne;
        } else if (cp == U'#') {
            token.kind = Kind::Digit;
        } else if (cp == U'[') {
            // A list runs to the next ']': inside it only '!' (first) and '-' (between two members)
            // are special, so [*] [?] [#] [[] stand for the character itself.
            std::vector<char32_t> members;
            bool closed = false;
            while (pos < pattern.size()) {
                const char32_t m = decodeUtf8(pattern, pos);
                if (m == U']') {
                    closed = true;
                    break;
                }
                members.push_back(m);
            }
            if (!closed) throw invalidPattern(pattern);
            if (members.empty()) continue; // [] matches the empty string
            std::size_t i = 0;
            if (members[0] == U'!' && members.size() > 1) {
                token.negated = true;
                i = 1;
            }
            token.kind = Kind::Set;
            token.setBegin = m_ranges.size();
            for (; i < members.size(); ++i) {
                if (i + 2 < members.size() && members[i + 1] == U'-') {
                    if (members[i + 2] < members[i]) throw invalidPattern(pattern);
                    m_ranges.push_back({members[i], members[i + 2]});
                    i += 2;
                } else {
                    const char32_t folded = foldAscii(members[i]);
                    m_ranges.push_back({folded, folded});
                }
            }
            token.setEnd = m_ranges.size();
        } else {
            token.literal = foldAscii(cp);
        }
        m_tokens.push_back(token);
    }
}

bool LikePattern::matchSet(const Token& token, char32_t cp) const {
    const char32_t folded = foldAscii(cp);
    const char32_t upper = toUpperCase(cp);
    for (std::size_t i = token.setBegin; i < token.setEnd; ++i) {
        const Range& r = m_ranges[i];
        if ((folded >= r.low && folded <= r.high) || (cp >= r.low && cp <= r.high) ||
            (upper >= r.low && upper <= r.high))
            return !token.negated;
    }
    return token.negated;
}

bool LikePattern::matches(std::string_view text) const {
    // Every token but AnyRun consumes exactly one character, so remembering the last AnyRun and
    // retrying it one character further is a complete search.
    const std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starToken = npos;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < m_tokens.size() && m_tokens[p].kind == Kind::AnyRun) {
            starToken = ++p;
            starText = t;
            continue;
        }
        if (p < m_tokens.size()) {
            std::size_t next = t;
            const char32_t cp = decodeUtf8(text, next);
            const Token& token = m_tokens[p];
            bool ok = false;
            switch (token.kind) {
            case Kind::Literal:
                ok = foldAscii(cp) == token.literal;
                break;
            case Kind::AnyOne:
                ok = true;
                break;
            case Kind::Digit:
                ok = cp >= U'0' && cp <= U'9';
                break;
            case Kind::Set:
                ok = matchSet(token, cp);
                break;
            case Kind::AnyRun:
                break;
            }
            if (ok) {
                ++p;
                t = next;
                continue;
            }
        }
        if (starToken == npos) return false;
        decodeUtf8(text, starText);
        t = starText;
        p = starToken;
    }
    while (p < m_tokens.size() && m_tokens[p].kind == Kind::AnyRun)
        ++p;
    return p == m_tokens.size();
}

} // namespace engine
