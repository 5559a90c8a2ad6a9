// Expressions of the dialect, parsed with its own operator precedence and emitted fully parenthesised.
#include "engine/Collation.h"
#include "engine/DialectParser.h"
#include "engine/Error.h"
#include "engine/FunctionsSupport.h"

#include <cstdlib>

namespace engine::sql {

namespace {

constexpr ValueType N = ValueType::Number, T = ValueType::Text, D = ValueType::Date, U = ValueType::Unknown;

const char* const kSqliteAggregates[] = {"count", "sum", "avg", "min", "max"};

bool numeric(const Expr& e) {
    return e.type == ValueType::Number || e.type == ValueType::Null || e.truth != Truth::None;
}

Expr make(std::string sql, ValueType type, Truth truth = Truth::None) {
    Expr e;
    e.sql = std::move(sql);
    e.type = type;
    e.truth = truth;
    return e;
}

Expr truthValue(std::string sql) {
    return make(std::move(sql), ValueType::Number, Truth::ZeroOne);
}

std::string call(const std::string& name, const std::string& a, const std::string& b) {
    return name + "(" + a + ", " + b + ")";
}

// True is -1: "--1" would start an SQL comment.
std::string negated(const std::string& sql) {
    return (sql.front() == '-' ? "(- " : "(-") + sql + ")";
}

} // namespace

std::string Parser::value(const Expr& e) {
    switch (e.truth) {
    case Truth::ZeroOne:
        return "(-" + e.sql + ")";
    case Truth::NonZero:
        return "(-(" + e.sql + " <> 0))";
    case Truth::None:
        break;
    }
    return e.sql;
}

// Text compares without regard to case: a column brings its collation along, anything else that may
// be text (a function result, a literal) gets it here.
std::string Parser::collated(const Expr& e) {
    if (e.column || numeric(e)) return value(e);
    return value(e) + " COLLATE " + kTextCollation;
}

Expr Parser::clauseExpression() {
    m_clauseStart = m_pos;
    return expression();
}

Expr Parser::expression() {
    const Nesting nesting(*this);
    Expr left = eqvLevel();
    while (acceptWord("imp")) {
        const Expr right = eqvLevel();
        left = truthValue("((NOT " + condition(left) + ") OR " + condition(right) + ")");
    }
    return left;
}

Expr Parser::eqvLevel() {
    Expr left = xorLevel();
    while (acceptWord("eqv")) {
        const Expr right = xorLevel();
        left = truthValue("((" + condition(left) + " <> 0) = (" + condition(right) + " <> 0))");
    }
    return left;
}

Expr Parser::xorLevel() {
    Expr left = orLevel();
    while (acceptWord("xor")) {
        const Expr right = orLevel();
        left = truthValue("((" + condition(left) + " <> 0) <> (" + condition(right) + " <> 0))");
    }
    return left;
}

Expr Parser::orLevel() {
    Expr left = andLevel();
    while (acceptWord("or")) {
        const Expr right = andLevel();
        left = truthValue("(" + condition(left) + " OR " + condition(right) + ")");
    }
    return left;
}

Expr Parser::andLevel() {
    Expr left = notLevel();
    while (acceptWord("and")) {
        const Expr right = notLevel();
        left = truthValue("(" + condition(left) + " AND " + condition(right) + ")");
    }
    return left;
}

Expr Parser::notLevel() {
    const Nesting nesting(*this);
    if (acceptWord("not")) return truthValue("(NOT " + condition(notLevel()) + ")");
    return comparison();
}

Expr Parser::comparison() {
    Expr left = concatenation();
    while (true) {
        const Token& t = peek();
        if (t.kind == TokenKind::Symbol && (t.text == "=" || t.text == "<>" || t.text == "<" ||
                                            t.text == ">" || t.text == "<=" || t.text == ">=")) {
            const std::string op = next().text;
            if ((atWord("any") || atWord("some") || atWord("all")) && atSymbol("(", 1))
                notSupported("Comparison with ANY, SOME or ALL of a subquery");
            const Expr right = concatenation();
            const bool text = !left.column && !right.column && !numeric(left) && !numeric(right);
            // A date compared with a number is its day number.
            const auto side = [&](const Expr& e, const Expr& other) {
                return e.type == ValueType::Date && other.type == ValueType::Number
                           ? "dlg_cdbl(" + value(e) + ")"
                           : value(e);
            };
            left = truthValue("(" + side(left, right) + " " + op + " " + side(right, left) +
                              (text ? std::string(" COLLATE ") + kTextCollation : "") + ")");
            continue;
        }
        bool negated = false;
        if (atWord("not") && (atWord("like", 1) || atWord("in", 1) || atWord("between", 1))) {
            next();
            negated = true;
        }
        if (acceptWord("like")) {
            const Expr pattern = concatenation();
            const std::string match = call("dlg_like", value(left), value(pattern));
            left =
                negated ? truthValue("(NOT " + match + ")") : make(match, ValueType::Number, Truth::NonZero);
        } else if (acceptWord("in")) {
            left = inList(left, negated);
        } else if (acceptWord("between")) {
            left = between(left, negated);
        } else if (!negated && acceptWord("is")) {
            const bool isNot = acceptWord("not");
            if (!acceptWord("null")) expressionError();
            left = truthValue("(" + value(left) + (isNot ? " IS NOT NULL)" : " IS NULL)"));
        } else {
            return left;
        }
    }
}

Expr Parser::inList(const Expr& left, bool negated) {
    if (!atSymbol("(")) expressionError();
    std::string list;
    if (atWord("select", 1)) {
        list = subquery().sql;
    } else {
        next();
        list = "(";
        do {
            if (list.size() > 1) list += ", ";
            list += value(expression());
        } while (acceptSymbol(","));
        if (!acceptSymbol(")")) expressionError();
        list += ")";
    }
    return truthValue("(" + collated(left) + (negated ? " NOT IN " : " IN ") + list + ")");
}

// The classic Between accepts its bounds in either order. Literal bounds are put in order here; others
// are ordered at run time by min/max, which compare text by the same rules as the columns.
Expr Parser::between(const Expr& left, bool negated) {
    Expr low = concatenation();
    if (!acceptWord("and")) expressionError();
    Expr high = concatenation();
    std::string lowSql, highSql;
    if ((low.numberValue && high.numberValue) || (low.dateIso && high.dateIso)) {
        const bool swap =
            low.numberValue ? *low.numberValue > *high.numberValue : *low.dateIso > *high.dateIso;
        if (swap) std::swap(low, high);
        lowSql = value(low);
        highSql = value(high);
    } else {
        const std::string first = value(low) + " COLLATE " + kTextCollation;
        lowSql = call("min", first, value(high));
        highSql = call("max", first, value(high));
    }
    return truthValue("(" + collated(left) + (negated ? " NOT BETWEEN " : " BETWEEN ") + lowSql + " AND " +
                      highSql + ")");
}

Expr Parser::concatenation() {
    Expr left = additive();
    while (acceptSymbol("&"))
        left = make(call("dlg_cat", value(left), value(additive())), ValueType::Text);
    return left;
}

// + also joins two texts and moves a date by days; - also counts the days between two dates. Where
// both operands are known numbers SQLite's own operators do, elsewhere dlg_add and dlg_sub decide
// on the values.
Expr Parser::additive() {
    Expr left = modulo();
    while (atSymbol("+") || atSymbol("-")) {
        const bool plus = next().text == "+";
        const Expr right = modulo();
        const std::string l = value(left), r = value(right);
        if (numeric(left) && numeric(right)) {
            left = make("(" + l + (plus ? " + " : " - ") + r + ")", ValueType::Number);
        } else if (plus && left.type == ValueType::Text && right.type == ValueType::Text) {
            left = make("(" + l + " || " + r + ")", ValueType::Text);
        } else if (plus) {
            const bool date = left.type == ValueType::Date || right.type == ValueType::Date;
            left = make(call("dlg_add", l, r), date ? ValueType::Date : ValueType::Unknown);
        } else {
            ValueType type = ValueType::Unknown;
            if (left.type == ValueType::Date)
                type = right.type == ValueType::Date ? ValueType::Number : ValueType::Date;
            left = make(call("dlg_sub", l, r), type);
        }
    }
    return left;
}

Expr Parser::modulo() {
    Expr left = integerDivision();
    while (acceptWord("mod"))
        left = make(call("dlg_mod", value(left), value(integerDivision())), ValueType::Number);
    return left;
}

Expr Parser::integerDivision() {
    Expr left = multiplicative();
    while (acceptSymbol("\\"))
        left = make(call("dlg_idiv", value(left), value(multiplicative())), ValueType::Number);
    return left;
}

Expr Parser::multiplicative() {
    Expr left = unary();
    while (atSymbol("*") || atSymbol("/")) {
        const bool times = next().text == "*";
        const Expr right = unary();
        const std::string l = value(left), r = value(right);
        if (!times)
            left = make(call("dlg_div", l, r), ValueType::Number);
        else if (numeric(left) && numeric(right))
            left = make("(" + l + " * " + r + ")", ValueType::Number);
        else // a date or text operand: dlg_mul takes a date as its serial number
            left = make(call("dlg_mul", l, r), ValueType::Number);
    }
    return left;
}

// Negation binds less tightly than ^: -2^2 is -4.
Expr Parser::unary() {
    const Nesting nesting(*this);
    if (acceptSymbol("-")) {
        const Expr operand = unary();
        Expr e = make(numeric(operand) ? negated(value(operand)) : "dlg_neg(" + value(operand) + ")",
                      ValueType::Number);
        if (operand.numberValue) e.numberValue = -*operand.numberValue;
        return e;
    }
    if (acceptSymbol("+")) return unary();
    return power();
}

Expr Parser::power() {
    Expr left = primary();
    while (acceptSymbol("^")) {
        // The exponent may carry its own sign: 2^-1.
        int sign = 1;
        while (atSymbol("-") || atSymbol("+"))
            if (next().text == "-") sign = -sign;
        const std::string exponent = value(primary());
        left = make(call("dlg_pow", value(left), sign < 0 ? negated(exponent) : exponent), ValueType::Number);
    }
    return left;
}

Expr Parser::primary() {
    const Token& t = peek();
    switch (t.kind) {
    case TokenKind::Number: {
        next();
        Expr e = make(t.text, ValueType::Number);
        e.numberValue = std::strtod(t.text.c_str(), nullptr);
        return e;
    }
    case TokenKind::String:
        next();
        return make(quoteString(t.text), ValueType::Text);
    case TokenKind::Date: {
        const auto iso = dateLiteral(t.text);
        if (!iso)
            fail(SyntaxErrorInExpression, "Syntax error in date in query expression '#" + t.text + "#'.");
        next();
        Expr e = make(quoteString(*iso), ValueType::Date);
        e.dateIso = *iso;
        return e;
    }
    case TokenKind::Name:
        return fieldReference();
    case TokenKind::Word:
        if (t.isWord("true") || t.isWord("false")) {
            Expr e = make(t.isWord("true") ? "-1" : "0", ValueType::Number);
            e.numberValue = t.isWord("true") ? -1 : 0;
            next();
            return e;
        }
        if (acceptWord("null")) return make("NULL", ValueType::Null);
        if (acceptWord("not")) return truthValue("(NOT " + condition(comparison()) + ")");
        if (acceptWord("exists")) {
            if (!atSymbol("(") || !atWord("select", 1)) expressionError();
            return truthValue("(EXISTS " + subquery().sql + ")");
        }
        // A word followed by "(" is a function call, also where the word is a keyword elsewhere
        // (Asc, Left, Right): the operators and clauses that take a "(" are parsed before this point.
        if (atSymbol("(", 1)) return functionCall(next());
        if (atReserved()) expressionError();
        return fieldReference();
    case TokenKind::Symbol:
        if (t.text == "(") {
            if (atWord("select", 1)) return subquery();
            next();
            Expr e = expression();
            if (!acceptSymbol(")")) expressionError("Missing ), ], or Item");
            if (!e.column && e.sql.front() != '(') e.sql = "(" + e.sql + ")";
            return e;
        }
        break;
    case TokenKind::Error:
    case TokenKind::End:
        break;
    }
    expressionError();
}

Expr Parser::subquery() {
    next(); // (
    const std::size_t outerClause = m_clauseStart;
    std::string select = selectStatement(nullptr);
    m_clauseStart = outerClause;
    if (!acceptSymbol(")")) expressionError("Missing ), ], or Item");
    return make("(" + select + ")", ValueType::Unknown);
}

Expr Parser::fieldReference() {
    const Token& first = next();
    if (first.kind != TokenKind::Name && first.kind != TokenKind::Word) expressionError();
    Expr e;
    e.column = true;
    if ((atSymbol(".") || atSymbol("!")) &&
        (peek(1).kind == TokenKind::Name || (peek(1).kind == TokenKind::Word))) {
        next();
        const Token& field = next();
        e.sql = quoteIdentifier(asciiLower(stripDbf(first.text))) + "." + quoteIdentifier(field.text);
        m_statement.fields.push_back(field.text);
    } else {
        e.sql = quoteIdentifier(first.text);
        m_statement.fields.push_back(first.text);
    }
    if (atSymbol(".") || atSymbol("!")) expressionError("Invalid use of '.', '!', or '()'");
    if (m_kindOf) {
        switch (m_kindOf(m_statement.fields.back())) {
        case ComputedKind::Number:
            e.type = ValueType::Number;
            break;
        case ComputedKind::Text:
            e.type = ValueType::Text;
            break;
        case ComputedKind::Date:
            e.type = ValueType::Date;
            break;
        case ComputedKind::Unknown:
            break;
        }
    }
    return e;
}

std::vector<Expr> Parser::arguments() {
    next(); // (
    std::vector<Expr> args;
    if (acceptSymbol(")")) return args;
    do
        args.push_back(expression());
    while (acceptSymbol(","));
    if (!acceptSymbol(")")) expressionError("Missing ), ], or Item");
    return args;
}

Expr Parser::functionCall(const Token& nameToken) {
    std::string name = asciiLower(nameToken.text);
    // Left$, Mid$ ... are the same functions, but refuse Null where the plain form passes it through.
    const bool stringForm = name.size() > 1 && name.back() == '$';
    if (stringForm) name.pop_back();
    auto wrongCount = [this]() { expressionError("Wrong number of arguments used with function"); };

    for (const char* aggregate : kSqliteAggregates) {
        if (name != aggregate) continue;
        next(); // (
        std::string inner;
        ValueType argumentType = ValueType::Unknown;
        if (name == "count" && acceptSymbol("*")) {
            inner = "*";
        } else {
            if (acceptWord("distinct")) inner = "DISTINCT ";
            const Expr arg = expression();
            argumentType = arg.type;
            // Dates add up as their day numbers; their sum and average are dates again.
            const bool dayNumbers = arg.type == ValueType::Date && (name == "sum" || name == "avg");
            inner += dayNumbers ? "dlg_cdbl(" + value(arg) + ")" : value(arg);
            if (acceptSymbol(",")) wrongCount();
        }
        if (!acceptSymbol(")")) expressionError("Missing ), ], or Item");
        const bool number =
            name == "count" || ((name == "sum" || name == "avg") && argumentType != ValueType::Date);
        const std::string sql = name + "(" + inner + ")" + (m_pivotFilter ? std::string(kPivotFilter) : "");
        if ((name == "sum" || name == "avg") && argumentType == ValueType::Date)
            return make("dlg_cdate(" + sql + ")", ValueType::Date);
        return make(sql, number ? ValueType::Number : argumentType);
    }

    const std::vector<Expr> args = arguments();
    if (name == "iif") {
        if (args.size() != 3) wrongCount();
        ValueType type = args[1].type == args[2].type ? args[1].type : ValueType::Unknown;
        if (args[1].type == ValueType::Null) type = args[2].type;
        if (args[2].type == ValueType::Null) type = args[1].type;
        return make("(CASE WHEN " + condition(args[0]) + " THEN " + value(args[1]) + " ELSE " +
                        value(args[2]) + " END)",
                    type);
    }
    if (name == "isnull") {
        if (args.size() != 1) wrongCount();
        return truthValue("(" + value(args[0]) + " IS NULL)");
    }
    if (name == "switch") {
        if (args.empty() || args.size() % 2 != 0) wrongCount();
        std::string sql = "(CASE";
        for (std::size_t i = 0; i < args.size(); i += 2)
            sql += " WHEN " + condition(args[i]) + " THEN " + value(args[i + 1]);
        return make(sql + " END)", ValueType::Unknown);
    }

    // Only the dialect's own functions: SQLite's (hex, replace, printf, randomblob, ...) are not the
    // dialect's, and some of them mean something else under the same name.
    const std::optional<functions::Signature> library =
        functions::findFunction(stringForm ? name + "$" : name);
    if (!library) fail(UndefinedFunction, "Undefined function '" + nameToken.text + "' in expression.");
    const int count = static_cast<int>(args.size());
    if (count < library->minArgs || (library->maxArgs >= 0 && count > library->maxArgs)) wrongCount();
    const std::string& sqlName = library->sqlName;
    ValueType type = U;
    switch (library->result) {
    case functions::Result::Number:
        type = N;
        break;
    case functions::Result::Text:
        type = T;
        break;
    case functions::Result::Date:
        type = D;
        break;
    case functions::Result::FirstArgument:
        type = args.empty() ? U : args[0].type;
        break;
    case functions::Result::Unknown:
        break;
    }
    std::string sql = sqlName + "(";
    for (std::size_t i = 0; i < args.size(); ++i)
        sql += (i ? ", " : "") + value(args[i]);
    sql += ")";
    if (m_pivotFilter && functions::findAggregate(name)) sql += kPivotFilter;
    return make(sql, type);
}

} // namespace engine::sql
