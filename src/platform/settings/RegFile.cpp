#include "platform/settings/RegFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "platform/core/AsciiText.h"

namespace spinlorex::reg {
namespace {

constexpr size_t kLineWidth = 76;  // where a long hex value breaks, as regedit does

std::string_view trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// Parses a hexadecimal number of 1..maxDigits digits that makes up all of `s`.
std::optional<uint32_t> parseHex(std::string_view s, size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
    if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Reads a quoted string at the start of `s` (which begins with '"'), undoing the escapes
// \\ and \". Returns what follows the closing quote; none when the string is malformed.
std::optional<std::string_view> parseQuoted(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '"') return s.substr(i + 1);
        if (s[i] == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
            ++i;
        }
        out += s[i];
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> parseBytes(std::string_view list) {
    std::vector<uint8_t> bytes;
    list = trim(list);
    while (!list.empty()) {
        const size_t comma = std::min(list.find(','), list.size());
        const auto byte = parseHex(trim(list.substr(0, comma)), 2);
        if (!byte) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(*byte));
        list.remove_prefix(std::min(comma + 1, list.size()));
        list = trim(list);
    }
    return bytes;
}

// The data part of a value line, after the "=". Sets `remove` for "=-".
std::optional<Value> parseData(std::string_view data, bool& remove) {
    Value value;
    remove = false;
    if (data == "-") {
        remove = true;
        return value;
    }
    if (data.starts_with('"')) {
        std::string text;
        const auto rest = parseQuoted(data, text);
        if (!rest || !trim(*rest).empty()) return std::nullopt;
        return stringValue({}, text);
    }
    if (ascii::startsWithNoCase(data, "dword:")) {
        const auto number = parseHex(trim(data.substr(6)), 8);
        if (!number) return std::nullopt;
        return dwordValue({}, *number);
    }
    if (ascii::startsWithNoCase(data, "hex:")) {
        value.type = kBinary;
        data.remove_prefix(4);
    } else if (ascii::startsWithNoCase(data, "hex(")) {
        const size_t close = data.find("):");
        if (close == std::string_view::npos) return std::nullopt;
        const auto type = parseHex(data.substr(4, close - 4), 8);
        if (!type) return std::nullopt;
        value.type = *type;
        data.remove_prefix(close + 2);
    } else {
        return std::nullopt;
    }
    auto bytes = parseBytes(data);
    if (!bytes) return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

// A string fits between quotes when it has its one terminator and no control characters
// (a line break would end the line).
bool quotable(const Value& value) {
    if (value.data.empty() || value.data.back() != 0) return false;
    return std::none_of(value.data.begin(), value.data.end() - 1,
                        [](uint8_t b) { return b < 0x20 || b == 0x7F; });
}

void appendValue(std::string& out, const Value& value) {
    const size_t lineStart = out.size();
    out += value.name.empty() ? std::string("@") : quote(value.name);
    out += '=';
    char number[16];
    if (value.type == kString && quotable(value)) {
        out += quote(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size() - 1));
    } else if (value.type == kDword && value.data.size() == 4) {
        const uint32_t v = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                           static_cast<uint32_t>(value.data[3]) << 24;
        std::snprintf(number, sizeof number, "%08x", v);
        out += "dword:";
        out += number;
    } else {
        if (value.type == kBinary) {
            out += "hex:";
        } else {
            std::snprintf(number, sizeof number, "hex(%x):", value.type);
            out += number;
        }
        size_t lineLength = out.size() - lineStart;
        for (size_t i = 0; i < value.data.size(); ++i) {
            std::snprintf(number, sizeof number, "%02x", value.data[i]);
            out += number;
            lineLength += 2;
            if (i + 1 == value.data.size()) break;
            out += ',';
            ++lineLength;
            if (lineLength >= kLineWidth) {
                out += "\\\n  ";
                lineLength = 2;
            }
        }
    }
    out += '\n';
}

}  // namespace

bool equalNoCase(std::string_view a, std::string_view b) { return ascii::equalsNoCase(a, b); }

const Value* Key::find(std::string_view name) const {
    for (const Value& value : values) {
        if (equalNoCase(value.name, name)) return &value;
    }
    return nullptr;
}

void Key::set(Value value) {
    for (Value& held : values) {
        if (equalNoCase(held.name, value.name)) {
            held = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

void Key::remove(std::string_view name) {
    std::erase_if(values, [&](const Value& value) { return equalNoCase(value.name, name); });
}

Key* File::find(std::string_view path) {
    for (Key& key : keys) {
        if (equalNoCase(key.path, path)) return &key;
    }
    return nullptr;
}

const Key* File::find(std::string_view path) const { return const_cast<File*>(this)->find(path); }

Key& File::findOrAdd(std::string_view path) {
    if (Key* key = find(path)) return *key;
    keys.push_back(Key{std::string(path), {}});
    return keys.back();
}

Value stringValue(std::string name, std::string_view text) {
    Value value{std::move(name), kString, std::vector<uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    return value;
}

Value dwordValue(std::string name, uint32_t v) {
    return Value{
        std::move(name), kDword, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
}

Value binaryValue(std::string name, std::vector<uint8_t> data) {
    return Value{std::move(name), kBinary, std::move(data)};
}

File parse(std::string_view text, std::string_view defaultKey) {
    File file;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        lines.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }

    Key* current = nullptr;
    bool beforeFirstKey = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = trim(lines[i]);
        if (line.empty() || line.starts_with(';') || line == "REGEDIT4") continue;
        if (line.starts_with('[')) {
            beforeFirstKey = false;
            current = nullptr;
            if (line.size() < 2 || !line.ends_with(']')) continue;  // its values go nowhere
            current = &file.findOrAdd(line.substr(1, line.size() - 2));
            continue;
        }
        if (!line.starts_with('"') && !line.starts_with('@')) continue;

        std::string name;
        std::optional<std::string_view> rest = line.substr(1);
        if (line.starts_with('"')) rest = parseQuoted(line, name);
        if (!rest) continue;
        rest = trim(*rest);
        if (!rest->starts_with('=')) continue;
        std::string_view data = trim(rest->substr(1));

        // A hex list goes on over the following lines while a line ends in a backslash. A
        // continuation that never comes (end of file, or a new entry instead) spoils it.
        std::string joined;
        bool broken = false;
        if (ascii::startsWithNoCase(data, "hex") && data.ends_with('\\')) {
            joined = data.substr(0, data.size() - 1);
            while (true) {
                const std::string_view next = i + 1 < lines.size() ? trim(lines[i + 1]) : "";
                if (next.empty() || next.starts_with('"') || next.starts_with('@') ||
                    next.starts_with('[')) {
                    broken = true;
                    break;
                }
                ++i;
                if (!next.ends_with('\\')) {
                    joined += next;
                    break;
                }
                joined += next.substr(0, next.size() - 1);
            }
            data = joined;
        }
        if (broken || (current == nullptr && !beforeFirstKey)) continue;

        bool remove = false;
        std::optional<Value> value = parseData(data, remove);
        if (!value) continue;
        Key& key = current != nullptr ? *current : file.findOrAdd(defaultKey);
        if (remove) {
            key.remove(name);
        } else {
            value->name = std::move(name);
            key.set(std::move(*value));
        }
    }
    return file;
}

std::string format(const File& file) {
    std::string out = "REGEDIT4\n\n";
    for (const Key& key : file.keys) {
        out += "[" + key.path + "]\n";
        for (const Value& value : key.values) appendValue(out, value);
        out += "\n";
    }
    return out;
}

}  // namespace spinlorex::reg
