#include "plugins/effects/EffectSettings.h"

#include <unistd.h>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace spinlorex::effects {
namespace {

constexpr const char* kFileName = "dsp_spinlorex.conf";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::vector<std::string> readLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The setting a line names for this effect ("echo.mix=40" -> "mix"), or empty.
std::string_view settingOf(std::string_view line, std::string_view effect,
                           std::string_view* value) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || !line.starts_with(effect) ||
        line.size() <= effect.size() || line[effect.size()] != '.')
        return {};
    if (value != nullptr) *value = line.substr(equals + 1);
    return line.substr(effect.size() + 1, equals - effect.size() - 1);
}

}  // namespace

fs::path effectSettingsPath() {
    // The same folder as the desk's own settings file.
    if (const std::string dir = env("SPINLOREX_CONFIG_DIR"); !dir.empty())
        return fs::path(dir) / kFileName;
    if (const std::string xdg = env("XDG_CONFIG_HOME"); xdg.starts_with('/'))
        return fs::path(xdg) / "spinlorex" / kFileName;
    if (const std::string home = env("HOME"); !home.empty())
        return fs::path(home) / ".config" / "spinlorex" / kFileName;
    return {};
}

void loadEffectSettings(Effect& effect, const fs::path& file) {
    if (file.empty()) return;
    const std::span<const ParamSpec> specs = effect.params();
    for (const std::string& line : readLines(file)) {
        std::string_view value;
        const std::string_view name = settingOf(line, effect.key(), &value);
        for (size_t i = 0; i < specs.size(); ++i) {
            if (name != specs[i].key) continue;
            int32_t number = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), number);
            if (error == std::errc() && end == value.data() + value.size())
                effect.setParam(static_cast<int>(i), number);
        }
    }
}

bool saveEffectSettings(const Effect& effect, const fs::path& file) {
    if (file.empty()) return false;
    std::vector<std::string> lines = readLines(file);
    if (lines.empty())
        lines.emplace_back(
            "# Settings of the Spinlorex effects (dsp_spinlorex.so): effect.setting=value");
    std::erase_if(lines, [&](const std::string& line) {
        return !settingOf(line, effect.key(), nullptr).empty();
    });
    const std::span<const ParamSpec> specs = effect.params();
    for (size_t i = 0; i < specs.size(); ++i)
        lines.push_back(std::string(effect.key()) + "." + specs[i].key + "=" +
                        std::to_string(effect.param(static_cast<int>(i))));

    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    const fs::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string& line : lines) out << line << '\n';
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, file, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

}  // namespace spinlorex::effects
