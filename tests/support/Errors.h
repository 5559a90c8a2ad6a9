// Errors caught from what a test runs, and the parts their messages must hold.
#pragma once

#include "engine/Error.h"
#include "xbase/Error.h"

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace testsupport {

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The error of type E an action throws. When it throws none: an engine error numbered -1, or a file
// error of kind Format saying "no error".
template <class E = engine::Error, class F> E errorOf(F&& action) {
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    if constexpr (std::is_same_v<E, xbase::Error>)
        return E(xbase::ErrorKind::Format, "no error");
    else
        return E(-1, "(no error)");
}

// Runs an action that must fail with a file error of this kind, or an engine error of this number,
// whose message holds every part.
void expectError(xbase::ErrorKind kind, const std::vector<std::string>& parts,
                 const std::function<void()>& action);
void expectError(int number, const std::vector<std::string>& parts, const std::function<void()>& action);

} // namespace testsupport
