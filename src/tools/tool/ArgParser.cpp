#include "tools/tool/ArgParser.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace spinlorex::tool {

ArgParser::ArgParser(std::vector<std::string> args, std::vector<std::string> valueOptions,
                     std::vector<std::string> flagOptions) {
    auto known = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 3 || a.rfind("--", 0) != 0) {
            if (a == "--") {
                optionsEnded = true;
                continue;
            }
            positional_.push_back(a);
        } else if (known(flagOptions, a)) {
            flags_.push_back(a);
        } else if (known(valueOptions, a)) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "spinlorex-tool: %s needs a value\n", a.c_str());
                ok_ = false;
            } else {
                values_.emplace_back(a, args[++i]);
            }
        } else {
            std::fprintf(stderr, "spinlorex-tool: unknown option %s\n", a.c_str());
            ok_ = false;
        }
    }
}

bool ArgParser::flag(const std::string& name) const {
    return std::find(flags_.begin(), flags_.end(), name) != flags_.end();
}

std::optional<std::string> ArgParser::value(const std::string& name) const {
    std::optional<std::string> found;
    for (const auto& [n, v] : values_)
        if (n == name) found = v;  // the last one wins
    return found;
}

double ArgParser::number(const std::string& name, double fallback, double min, double max) {
    const auto text = value(name);
    if (!text) return fallback;
    char* end = nullptr;
    const double v = std::strtod(text->c_str(), &end);
    if (text->empty() || end == nullptr || *end != '\0' || !(v >= min && v <= max)) {
        std::fprintf(stderr, "spinlorex-tool: %s wants a number from %g to %g, not '%s'\n",
                     name.c_str(), min, max, text->c_str());
        ok_ = false;
        return fallback;
    }
    return v;
}

int64_t ArgParser::integer(const std::string& name, int64_t fallback, int64_t min, int64_t max) {
    const auto text = value(name);
    if (!text) return fallback;
    int64_t v = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (text->empty() || ec != std::errc() || ptr != last || v < min || v > max) {
        std::fprintf(
            stderr, "spinlorex-tool: %s wants a whole number from %lld to %lld, not '%s'\n",
            name.c_str(), static_cast<long long>(min), static_cast<long long>(max), text->c_str());
        ok_ = false;
        return fallback;
    }
    return v;
}

}  // namespace spinlorex::tool
