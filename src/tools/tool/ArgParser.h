#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spinlorex::tool {

// Splits "--name value" options and "--flag" switches from positional arguments and
// reports malformed ones on stderr.
class ArgParser {
public:
    ArgParser(std::vector<std::string> args, std::vector<std::string> valueOptions,
              std::vector<std::string> flagOptions);

    bool ok() const { return ok_; }
    const std::vector<std::string>& positional() const { return positional_; }
    bool flag(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;

    // A numeric option: `fallback` when absent; sets !ok() and reports when malformed or
    // outside min..max.
    double number(const std::string& name, double fallback, double min, double max);
    int64_t integer(const std::string& name, int64_t fallback, int64_t min, int64_t max);

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> positional_;
    bool ok_ = true;
};

}  // namespace spinlorex::tool
