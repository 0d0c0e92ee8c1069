#pragma once

// Case-blind comparison of ASCII letters, the way skin names and keys are matched (bytes
// outside A..Z compare as they are, whatever the locale).

#include <string_view>

namespace spinlorex::ascii {

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace spinlorex::ascii
