// The dialect's aggregates beyond SQLite's own: First, Last, StDev, StDevP, Var, VarP.
#include "engine/Error.h"
#include "engine/FunctionsSupport.h"

#include <cmath>
#include <string>

namespace engine::functions {

namespace {

// First and Last keep a copy of one row's value, Null included: they answer "the value of the
// first (last) record of the group", not the first non-Null one.
struct KeptValue {
    sqlite3_value* value;
    bool seen;
};

template <bool KeepLast> void keepStep(sqlite3_context* context, int, sqlite3_value** argv) {
    auto* kept = static_cast<KeptValue*>(sqlite3_aggregate_context(context, sizeof(KeptValue)));
    if (!kept) return sqlite3_result_error_nomem(context);
    if (kept->seen && !KeepLast) return;
    sqlite3_value* copy = sqlite3_value_dup(argv[0]);
    if (!copy) return sqlite3_result_error_nomem(context);
    sqlite3_value_free(kept->value);
    kept->value = copy;
    kept->seen = true;
}

void keepFinal(sqlite3_context* context) {
    auto* kept = static_cast<KeptValue*>(sqlite3_aggregate_context(context, 0));
    if (!kept || !kept->seen) return sqlite3_result_null(context);
    sqlite3_result_value(context, kept->value);
    sqlite3_value_free(kept->value);
    kept->value = nullptr;
}

// Running mean and sum of squared deviations (Welford), stable over long columns.
struct Spread {
    std::int64_t count;
    double mean;
    double squares;
};

template <const char* Name> void spreadStep(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(context, sizeof(Spread)));
    if (!s) return sqlite3_result_error_nomem(context);
    double x = 0;
    try {
        x = Call(context, argc, argv, Name).real(0);
    } catch (const FunctionError& e) {
        return sqlite3_result_error(context, e.message.c_str(), -1);
    }
    ++s->count;
    const double delta = x - s->mean;
    s->mean += delta / static_cast<double>(s->count);
    s->squares += delta * (x - s->mean);
}

template <bool Sample, bool Root> void spreadFinal(sqlite3_context* context) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(context, 0));
    const std::int64_t needed = Sample ? 2 : 1;
    if (!s || s->count < needed) return sqlite3_result_null(context);
    const double variance = s->squares / static_cast<double>(Sample ? s->count - 1 : s->count);
    sqlite3_result_double(context, Root ? std::sqrt(variance) : variance);
}

constexpr char kStDev[] = "StDev";
constexpr char kStDevP[] = "StDevP";
constexpr char kVar[] = "Var";
constexpr char kVarP[] = "VarP";

// Registered as dlg_<name>, one argument each.
struct Aggregate {
    const char* name;
    void (*step)(sqlite3_context*, int, sqlite3_value**);
    void (*final)(sqlite3_context*);
    Result result;
};

const Aggregate kAggregates[] = {
    {"first", keepStep<false>, keepFinal, Result::Unknown},
    {"last", keepStep<true>, keepFinal, Result::Unknown},
    {"stdev", spreadStep<kStDev>, spreadFinal<true, true>, Result::Number},
    {"stdevp", spreadStep<kStDevP>, spreadFinal<false, true>, Result::Number},
    {"var", spreadStep<kVar>, spreadFinal<true, false>, Result::Number},
    {"varp", spreadStep<kVarP>, spreadFinal<false, false>, Result::Number},
};

} // namespace

void registerAggregates(sqlite3* db) {
    for (const Aggregate& a : kAggregates) {
        // First and Last depend on the order rows arrive in, so they are not deterministic.
        const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
        const std::string name = std::string("dlg_") + a.name;
        const int rc = sqlite3_create_function_v2(db, name.c_str(), 1, flags, nullptr, nullptr, a.step,
                                                  a.final, nullptr);
        if (rc != SQLITE_OK)
            throw Error(InvalidOperation,
                        "Cannot install the SQL function " + name + ": " + sqlite3_errmsg(db));
    }
}

std::optional<Signature> findAggregate(std::string_view name) {
    for (const Aggregate& a : kAggregates)
        if (name == a.name) return Signature{std::string("dlg_") + a.name, 1, 1, a.result};
    return std::nullopt;
}

} // namespace engine::functions
