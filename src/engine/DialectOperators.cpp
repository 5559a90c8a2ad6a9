// +, -, * and unary minus of the dialect for operands that are not known numbers: text joins, dates
// count as their serial numbers.
#include "engine/Dialect.h"
#include "engine/FunctionsSupport.h"

#include <limits>

namespace engine {

namespace {

using functions::Call;
using functions::DateTime;
using functions::Number;

// Dates are ISO text in the engine; text that reads as a number is a number, as in the classic engine.
bool isDate(const Call& c, int i) {
    if (c.type(i) != SQLITE_TEXT) return false;
    const std::string text = c.text(i);
    return !functions::parseNumber(text) && functions::parseDate(text).has_value();
}

Number operand(const Call& c, int i, const char* op) {
    try {
        return c.number(i);
    } catch (const functions::FunctionError&) {
        Call::fail(std::string("Data type mismatch: '") + c.text(i) + "' is not a number in operator " + op);
    }
}

void moveDate(Call& c, int dateArg, double days) {
    const auto moved = functions::dateFromSerial(functions::serialFromDate(c.date(dateArg)) + days);
    if (!moved) Call::fail("Overflow: the date is outside the years 100 to 9999");
    c.setDate(*moved);
}

void arithmetic(Call& c, bool add) {
    const char* op = add ? "+" : "-";
    const Number a = operand(c, 0, op), b = operand(c, 1, op);
    std::int64_t result = 0;
    if (a.isInteger && b.isInteger &&
        !(add ? __builtin_add_overflow(a.integer, b.integer, &result)
              : __builtin_sub_overflow(a.integer, b.integer, &result)))
        return c.setInteger(result);
    c.setReal(add ? a.value() + b.value() : a.value() - b.value());
}

// A date is a number of days since 1899-12-30 in every operator: a date moves by a number, two dates add
// their serials (a date and a time of day make that moment), and a date and a date give days.
void fnAdd(Call& c) {
    if (c.anyNull()) return c.setNull();
    if (isDate(c, 0) || isDate(c, 1))
        return moveDate(c, isDate(c, 0) ? 0 : 1, operand(c, isDate(c, 0) ? 1 : 0, "+").value());
    // Two texts join, as the classic + does with two strings.
    if (c.type(0) == SQLITE_TEXT && c.type(1) == SQLITE_TEXT) return c.setText(c.text(0) + c.text(1));
    arithmetic(c, true);
}

void fnSub(Call& c) {
    if (c.anyNull()) return c.setNull();
    if (isDate(c, 0)) {
        if (isDate(c, 1))
            return c.setWhole(functions::serialFromDate(c.date(0)) - functions::serialFromDate(c.date(1)));
        return moveDate(c, 0, -operand(c, 1, "-").value());
    }
    arithmetic(c, false);
}

// * and unary minus where an operand may be a date or text: a date counts as its serial number.
void fnMul(Call& c) {
    if (c.anyNull()) return c.setNull();
    const Number a = operand(c, 0, "*"), b = operand(c, 1, "*");
    std::int64_t result = 0;
    if (a.isInteger && b.isInteger && !__builtin_mul_overflow(a.integer, b.integer, &result))
        return c.setInteger(result);
    c.setReal(a.value() * b.value());
}

void fnNeg(Call& c) {
    if (c.anyNull()) return c.setNull();
    const Number a = operand(c, 0, "-");
    if (a.isInteger && a.integer != std::numeric_limits<std::int64_t>::min()) return c.setInteger(-a.integer);
    c.setReal(-a.value());
}

const functions::Definition kOperators[] = {
    {"add", 2, 2, fnAdd, "+", functions::Result::Unknown, functions::kPure, false},
    {"sub", 2, 2, fnSub, "-", functions::Result::Unknown, functions::kPure, false},
    {"mul", 2, 2, fnMul, "*", functions::Result::Number, functions::kPure, false},
    {"neg", 1, 1, fnNeg, "-", functions::Result::Number, functions::kPure, false},
};

} // namespace

namespace functions {
std::span<const Definition> operatorFunctions() {
    return kOperators;
}
} // namespace functions

} // namespace engine
