// Select-list items by grid column, and bracketing of names as the dialect's parser reads them.
#include "gridtools/CurrentStatement.h"

#include "console/StatementParts.h"
#include "engine/Dialect.h"
#include "engine/Error.h"
#include "engine/SqlLexer.h"

namespace gridtools {

namespace {

bool isStar(const QString& item) {
    const QString trimmed = item.trimmed();
    return trimmed == QLatin1String("*") || trimmed.endsWith(QLatin1String(".*"));
}

// The parser knows which words cannot stand unbracketed as a name; a table name is held to the same
// rule as a field name, so asking it about a table is enough.
bool parserTakesAsName(const std::string& name) {
    try {
        engine::translate("select * from " + name);
        return true;
    } catch (const engine::Error&) {
        return false;
    }
}

} // namespace

QString columnItem(const CurrentStatement& current, int column) {
    QStringList items;
    if (current.fldCount >= 1)
        items = current.fldExp.mid(0, current.fldCount);
    else if (!current.fldExp.isEmpty())
        items = current.fldExp.mid(0, 1);
    if (column < 0 || column >= items.size()) return {};
    for (int i = 0; i <= column; ++i)
        if (isStar(items[i])) return {};
    return items[column];
}

QString aliasedExpression(const QString& item) {
    const std::string text = item.toStdString();
    const std::string expression = console::expressionOf(text);
    return expression.size() == text.size() ? QString() : QString::fromStdString(expression);
}

QString bracketName(const QString& name) {
    // A name that holds a bracket cannot be bracketed; the engine reports what it makes of it.
    if (name.isEmpty() || name.contains(QLatin1Char('[')) || name.contains(QLatin1Char(']'))) return name;
    const std::string text = name.toStdString();
    const std::vector<engine::sql::Token> tokens = engine::sql::tokenize(text);
    const bool oneWord = tokens.size() == 2 && tokens[0].kind == engine::sql::TokenKind::Word &&
                         tokens[0].begin == 0 && tokens[0].end == text.size();
    if (oneWord && parserTakesAsName(text)) return name;
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString tablePart(const CurrentStatement& current) {
    return current.openedTable ? bracketName(current.tabela) : current.tabela;
}

} // namespace gridtools
