// Keyword search that knows quoted strings, [names] and parentheses, and the select-list cutting.
#include "console/StatementParts.h"

#include "xbase/Ascii.h"

#include <algorithm>
#include <cctype>

namespace console {

namespace {

constexpr int Quoted = -1;

// Nesting depth of each character: parentheses outside quotes count; characters of a quoted
// string or [name], delimiters included, are Quoted. An unclosed quote runs to the end.
std::vector<int> depths(std::string_view text) {
    std::vector<int> result(text.size(), 0);
    int depth = 0;
    char closing = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (closing) {
            result[i] = Quoted;
            if (c == closing) closing = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            closing = c;
            result[i] = Quoted;
        } else if (c == '[') {
            closing = ']';
            result[i] = Quoted;
        } else if (c == '(') {
            result[i] = depth++;
        } else if (c == ')') {
            if (depth > 0) --depth;
            result[i] = depth;
        } else {
            result[i] = depth;
        }
    }
    return result;
}

// Bytes of non-ASCII characters belong to words, so a name like "grünfrom" is one word.
bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || u >= 0x80;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::size_t findIn(std::string_view text, const std::vector<int>& depth, std::string_view word,
                   bool topLevelOnly, std::size_t from) {
    if (word.empty() || text.size() < word.size()) return std::string_view::npos;
    for (std::size_t i = from; i + word.size() <= text.size(); ++i) {
        if (depth[i] == Quoted || (topLevelOnly && depth[i] != 0)) continue;
        if (i > 0 && isWordChar(text[i - 1])) continue;
        const std::size_t end = i + word.size();
        if (end < text.size() && isWordChar(text[end])) continue;
        if (xbase::ascii::equalsIgnoreCase(text.substr(i, word.size()), word)) return i;
    }
    return std::string_view::npos;
}

std::size_t skipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

std::size_t wordEnd(std::string_view text, std::size_t i) {
    while (i < text.size() && isWordChar(text[i]))
        ++i;
    return i;
}

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool startsWithWord(std::string_view text, std::string_view word) {
    const std::size_t b = skipBlanks(text, 0);
    return xbase::ascii::equalsIgnoreCase(text.substr(b, wordEnd(text, b) - b), word);
}

// Past a leading ALL, DISTINCT, DISTINCTROW or TOP n [PERCENT] of the list [begin, end); a word
// that is the whole list is a column of that name, not a predicate.
std::size_t skipPredicates(std::string_view text, std::size_t begin, std::size_t end) {
    for (;;) {
        const std::size_t w = skipBlanks(text, begin);
        if (w >= end) return begin;
        const std::size_t we = std::min(wordEnd(text, w), end);
        const std::string_view word = text.substr(w, we - w);
        std::size_t next = begin;
        if (xbase::ascii::equalsIgnoreCase(word, "distinct") ||
            xbase::ascii::equalsIgnoreCase(word, "distinctrow") ||
            xbase::ascii::equalsIgnoreCase(word, "all")) {
            next = we;
        } else if (xbase::ascii::equalsIgnoreCase(word, "top")) {
            std::size_t n = skipBlanks(text, we);
            const std::size_t digits = n;
            while (n < end && (std::isdigit(static_cast<unsigned char>(text[n])) || text[n] == '.'))
                ++n;
            if (n == digits || (n < end && isWordChar(text[n]))) return begin;
            next = n;
            const std::size_t p = skipBlanks(text, n);
            const std::size_t pe = std::min(wordEnd(text, p), end);
            if (xbase::ascii::equalsIgnoreCase(text.substr(p, pe - p), "percent")) next = pe;
        } else {
            return begin;
        }
        if (trimmed(text.substr(next, end - next)).empty()) return begin;
        begin = next;
    }
}

} // namespace

std::size_t findKeyword(std::string_view text, std::string_view word, bool topLevelOnly, std::size_t from) {
    return findIn(text, depths(text), word, topLevelOnly, from);
}

bool isSelect(std::string_view text) {
    // A crosstab is a select; so is a select after its PARAMETERS declarations (up to the first ';').
    if (startsWithWord(text, "parameters")) {
        const std::vector<int> depth = depths(text);
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == ';' && depth[i] == 0) return isSelect(text.substr(i + 1));
        return false;
    }
    return startsWithWord(text, "select") || startsWithWord(text, "transform");
}

bool isDelete(std::string_view text) {
    return startsWithWord(text, "delete");
}

std::string deleteConfirmation(std::string_view typed) {
    const std::size_t b = std::min(skipBlanks(typed, 0) + 6, typed.size());
    return "Are you sure you want to delete " + std::string(typed.substr(b)) + "?";
}

bool isDropTable(std::string_view text) {
    return startsWithWord(text, "drop");
}

std::string dropConfirmation(std::string_view statement) {
    const std::size_t b = std::min(skipBlanks(statement, 0) + 4, statement.size());
    return "Are you sure you want to drop " + std::string(statement.substr(b)) + "?";
}

std::vector<std::string> splitTopLevel(std::string_view list) {
    const std::vector<int> depth = depths(list);
    std::vector<std::string> items;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == ',' && depth[i] == 0) {
            items.emplace_back(list.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    items.emplace_back(list.substr(begin));
    return items;
}

SelectParts selectParts(std::string_view prepared) {
    SelectParts parts;
    if (!isSelect(prepared)) return parts;
    const std::vector<int> depth = depths(prepared);
    const std::size_t npos = std::string_view::npos;

    const std::size_t from = findIn(prepared, depth, "from", true, 0);
    if (from != npos) {
        const std::size_t start = skipBlanks(prepared, from + 4);
        std::size_t end = prepared.size();
        for (const char* word : {"where", "order", "group"}) {
            const std::size_t at = findIn(prepared, depth, word, true, start);
            if (at < end) end = at;
        }
        parts.tabela = std::string(prepared.substr(start, end - start));
    }

    // The list runs from the word select to the first top-level from, union or minus.
    const std::size_t listBegin = wordEnd(prepared, skipBlanks(prepared, 0));
    std::size_t listEnd = prepared.size();
    for (const char* word : {"from", "union", "minus"}) {
        const std::size_t at = findIn(prepared, depth, word, true, listBegin);
        if (at < listEnd) listEnd = at;
    }
    const std::size_t begin = skipPredicates(prepared, listBegin, listEnd);
    const std::string_view list = prepared.substr(begin, listEnd - begin);
    if (trimmed(list).empty()) return parts;

    const std::vector<std::string> items = splitTopLevel(list);
    if (items.size() == 1) {
        parts.fldExp.emplace_back(list);
        return parts;
    }
    for (const std::string& item : items)
        parts.fldExp.emplace_back(trimmed(item));
    parts.fldCount = static_cast<int>(items.size());
    return parts;
}

std::string expressionOf(std::string_view item) {
    const std::size_t at = findKeyword(item, "as", true);
    if (at == std::string_view::npos || at == 0) return std::string(item);
    return std::string(item.substr(0, at));
}

} // namespace console
