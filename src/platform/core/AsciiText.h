#pragma once

// ASCII case folding: only the letters A..Z and a..z change case; every other byte (UTF-8
// included) stays as it is, whatever the locale. Names, extensions, keys and search terms
// are matched this way. Any thread.

#include <string>
#include <string_view>

namespace spinlorex::ascii {

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool isLetter(char c) { return lower(c) >= 'a' && lower(c) <= 'z'; }

inline std::string toLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

inline std::string toUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

constexpr bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Below zero, zero or above zero as `a` sorts before, with or after `b` once both are
// lower-cased; bytes compare unsigned, so UTF-8 letters come after all ASCII.
constexpr int compareNoCase(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lower(a[i]));
        const auto cb = static_cast<unsigned char>(lower(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace spinlorex::ascii
