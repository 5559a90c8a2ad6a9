// The text form of a scan plan, written by xBestIndex and read back, checked, by xFilter.
#include "engine/ScanPlan.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace engine::dbf {

namespace {

// Reads one number and the separator after it (a blank, or a colon inside a comparison).
template <typename T> bool take(std::string_view& text, T& value, char separator) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data() + text.size() || *end != separator) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
    return true;
}

} // namespace

std::string ScanPlan::encode() const {
    std::string text = std::to_string(orderColumn) + " " + (descending ? "1" : "0") + " " +
                       std::to_string(limitArgument) + " ";
    for (const auto& c : comparisons)
        text += std::to_string(c.column) + ":" + std::to_string(c.op) + " ";
    return text;
}

std::optional<ScanPlan> ScanPlan::decode(int idxNum, const char* idxStr, int columns, int arguments) {
    ScanPlan plan;
    if (idxNum < AllRecords || idxNum > FirstInOrder) return std::nullopt;
    plan.kind = static_cast<Kind>(idxNum);
    if (plan.kind == OneRecord) return arguments == 1 ? std::optional(plan) : std::nullopt;
    if (!idxStr) return plan.kind == AllRecords && arguments == 0 ? std::optional(plan) : std::nullopt;
    std::string_view text(idxStr, std::strlen(idxStr));
    int descending = 0;
    if (!take(text, plan.orderColumn, ' ') || !take(text, descending, ' ') ||
        !take(text, plan.limitArgument, ' '))
        return std::nullopt;
    plan.descending = descending != 0;
    while (!text.empty()) {
        Comparison c;
        int op = 0;
        if (!take(text, c.column, ':') || !take(text, op, ' ') || c.column < 0 || c.column >= columns ||
            op < 0 || op > 255)
            return std::nullopt;
        c.op = static_cast<unsigned char>(op);
        plan.comparisons.push_back(c);
    }
    const bool ordered = plan.kind == Grouped || plan.kind == FirstInOrder;
    if (ordered != (plan.orderColumn >= 0) || plan.orderColumn >= columns) return std::nullopt;
    const int needed = static_cast<int>(plan.comparisons.size()) + (plan.kind == FirstInOrder ? 1 : 0);
    if (needed != arguments) return std::nullopt;
    if (plan.kind == FirstInOrder && plan.limitArgument != arguments) return std::nullopt;
    return plan;
}

} // namespace engine::dbf
