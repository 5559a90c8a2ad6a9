// The parts of a typed statement the console needs: its kind, its table and its select list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace console {

// Position of `word` in `text` as a whole word, compared without regard to ASCII case, outside
// quoted strings and [bracketed names]; npos when absent. With `topLevelOnly` a word inside
// parentheses (a subquery, a function's arguments) does not count.
std::size_t findKeyword(std::string_view text, std::string_view word, bool topLevelOnly = false,
                        std::size_t from = 0);

// The statement's first word, after any blanks and line breaks, is select / delete.
bool isSelect(std::string_view text);
bool isDelete(std::string_view text);

// "Are you sure you want to delete " + what follows the word delete (with its leading blank) + "?".
std::string deleteConfirmation(std::string_view typed);
bool isDropTable(std::string_view text);
// The question before a DROP TABLE runs, worded as the delete question is.
std::string dropConfirmation(std::string_view statement);

// The parts of a select as the grid tools rebuild statements from them.
struct SelectParts {
    // The text after the top-level "from" and its blanks, up to the first top-level where, order
    // or group (trailing blank kept); empty for a select without from.
    std::string tabela;
    // Several items: each as typed and trimmed, fldCount = their number. A single item: the list
    // as typed with its surrounding blanks at index 0, fldCount 0 (take all fields).
    std::vector<std::string> fldExp;
    int fldCount = 0;
};

// Parts of a prepared select statement (parameters already substituted).
SelectParts selectParts(std::string_view prepared);

// The select list split at its top-level commas; the items untrimmed.
std::vector<std::string> splitTopLevel(std::string_view list);

// The expression of a select-list item: the item up to and including the blank before a
// top-level alias marker AS ("price AS p" gives "price "), else the whole item.
std::string expressionOf(std::string_view item);

} // namespace console
