#pragma once

#include <cstdint>
#include <string>

namespace spinlorex::tool {

// Builds one JSON object on one line, keys in the order they are added.
class JsonLine {
public:
    void add(const char* key, const std::string& value);
    void add(const char* key, int64_t value);
    void add(const char* key, int32_t value) { add(key, static_cast<int64_t>(value)); }
    void add(const char* key, double value);
    // `object`'s members as the value of `key`.
    void add(const char* key, const JsonLine& object);
    std::string text() const { return "{" + body_ + "}"; }

private:
    void addKey(const char* key);
    std::string body_;
};

// The text as a JSON string literal, quotes included; bytes that are not valid UTF-8 are
// replaced so the line always parses.
std::string jsonString(const std::string& text);

}  // namespace spinlorex::tool
