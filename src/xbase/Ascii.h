// Case folding of ASCII letters, the same in every locale: for names of fields, tables and files, and
// for keywords. Other bytes are left as they are.
#pragma once

#include <string>
#include <string_view>

namespace xbase::ascii {

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lower(c);
    return out;
}

inline std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = upper(c);
    return out;
}

constexpr bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

} // namespace xbase::ascii
