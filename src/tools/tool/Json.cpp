#include "tools/tool/Json.h"

#include <cmath>
#include <cstdio>

namespace spinlorex::tool {
namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8Length(const std::string& s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (const size_t n = utf8Length(text, i); n > 0) {
            out.append(text, i, n);
            i += n;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

void JsonLine::addKey(const char* key) {
    if (!body_.empty()) body_ += ',';
    body_ += jsonString(key);
    body_ += ':';
}

void JsonLine::add(const char* key, const std::string& value) {
    addKey(key);
    body_ += jsonString(value);
}

void JsonLine::add(const char* key, int64_t value) {
    addKey(key);
    body_ += std::to_string(value);
}

void JsonLine::add(const char* key, double value) {
    addKey(key);
    if (!std::isfinite(value)) {
        body_ += "null";
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    body_ += buf;
}

void JsonLine::add(const char* key, const JsonLine& object) {
    addKey(key);
    body_ += object.text();
}

}  // namespace spinlorex::tool
