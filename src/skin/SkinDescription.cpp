#include "skin/SkinDescription.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <memory>

#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view skipBlanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

// A decimal integer after blanks and tabs, with an optional sign, read up to the first
// character that is not a digit. Out-of-range values stop at the int32 limits; no digits
// reads as 0. `at` moves past what was read.
int32_t readInteger(std::string_view s, size_t& at) {
    while (at < s.size() && isBlank(s[at])) ++at;
    bool negative = false;
    if (at < s.size() && (s[at] == '-' || s[at] == '+')) negative = s[at++] == '-';
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at) {
        value = std::min(value * 10 + (s[at] - '0'), kLimit);
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min(value, kLimit - 1));
}

int32_t readInteger(std::string_view s) {
    size_t at = 0;
    return readInteger(s, at);
}

// A comma-separated list of integers: each value is read where the previous comma left
// off, and the list ends where no further comma follows.
struct IntegerList {
    std::array<int32_t, 4> values{};
    int count = 0;
};

IntegerList readList(std::string_view s) {
    IntegerList list;
    size_t at = 0;
    while (list.count < static_cast<int>(list.values.size())) {
        list.values[static_cast<size_t>(list.count++)] = readInteger(s, at);
        const size_t comma = s.find(',', at);
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return list;
}

// Cuts `s` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cut(std::string_view s, size_t limit) {
    if (s.size() <= limit) return std::string(s);
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return std::string(s.substr(0, end));
}

bool readSwitch(std::string_view value) {
    const std::string_view v = skipBlanks(value);
    return ascii::equalsNoCase(v, "yes") || ascii::equalsNoCase(v, "true") || v == "1";
}

// "#RRGGBB" (hexadecimal, read up to the first other character) or "red, green, blue",
// where a missing green or blue is 255 and each component keeps its low 8 bits.
SkinColour readColour(std::string_view value) {
    const std::string_view v = skipBlanks(value);
    if (!v.empty() && v[0] == '#') {
        uint64_t rgb = 0;
        for (size_t i = 1; i < v.size(); ++i) {
            const char c = ascii::lower(v[i]);
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) break;
            rgb = std::min<uint64_t>(rgb * 16 + static_cast<uint64_t>(digit), 0xFFFFFFFFu);
        }
        return skinRgb(static_cast<uint32_t>(rgb >> 16), static_cast<uint32_t>(rgb >> 8),
                       static_cast<uint32_t>(rgb));
    }
    const IntegerList list = readList(v);
    const auto component = [&](int i) {
        return static_cast<uint32_t>(i < list.count ? list.values[static_cast<size_t>(i)] : -1);
    };
    return skinRgb(component(0), component(1), component(2));
}

void resetModel(SkinModel& model) {
    model.values = SkinValues{};
    for (int32_t id = 0; id < kControlCount; ++id) {
        model.controls[static_cast<size_t>(id)] = SkinControl::absent(controlPanelMask(id));
    }
}

}  // namespace

SkinDescriptionParser::SkinDescriptionParser(SkinModel& model) : model_(model) {
    resetModel(model_);
}

void SkinDescriptionParser::line(std::string_view text) {
    // Text after a NUL byte is invisible to a reader of C strings; so it is here.
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close != std::string_view::npos) {
            const ControlId id = findControl(text.substr(1, close - 1));
            current_ = id;  // ctl::None (-1): no current control
        }
        return;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = text.substr(0, equals);
    const std::string_view value = text.substr(equals + 1);
    if (current_ >= 0)
        controlKey(key, value);
    else
        skinKey(key, value);
}

void SkinDescriptionParser::controlKey(std::string_view key, std::string_view value) {
    SkinControl& c = model_.controls[static_cast<size_t>(current_)];
    const IntegerList list = readList(value);
    const auto at = [&](int i) {
        return i < list.count ? list.values[static_cast<size_t>(i)] : -1;
    };

    if (ascii::equalsNoCase(key, "Pos")) {
        if (list.count < 4 || list.values[3] < 0) return;
        const int32_t x = list.values[0], y = list.values[1], w = list.values[2],
                      h = list.values[3];
        // The look is where the numbers say; the placement folds them onto the desk
        // (C remainders keep the sign).
        c.x = c.left = x % 800;
        c.y = c.top = y % 600;
        c.width = w;
        c.height = h;
        c.right = static_cast<int32_t>(int64_t{c.left} + w);
        c.bottom = static_cast<int32_t>(int64_t{c.top} + h);
        if (c.offX == -1) c.offX = x, c.offY = y;
        if (c.onX == -1) c.onX = x, c.onY = y;
        if (c.hitLeft == -1)
            c.hitLeft = c.left, c.hitTop = c.top, c.hitRight = c.right, c.hitBottom = c.bottom;
    } else if (ascii::equalsNoCase(key, "Up")) {
        c.offX = at(0);
        c.offY = at(1);
        if (c.onX == -1) c.onX = c.offX, c.onY = c.offY;
    } else if (ascii::equalsNoCase(key, "Down")) {
        c.onX = at(0);
        c.onY = at(1);
    } else if (ascii::equalsNoCase(key, "Mouse")) {
        c.hitLeft = at(0);
        c.hitTop = at(1);
        if (at(3) > 0) {
            c.hitRight = static_cast<int32_t>(int64_t{c.hitLeft} + at(2));
            c.hitBottom = static_cast<int32_t>(int64_t{c.hitTop} + at(3));
            c.radius = -1;
        } else {
            c.radius = at(2);  // hit right and bottom stay as they were: a circle ignores them
        }
    }
}

void SkinDescriptionParser::skinKey(std::string_view key, std::string_view value) {
    // Skin-wide values end at a comment slash or the line's end, without trailing blanks.
    value = value.substr(0, std::min(value.find_first_of("/\r\n"), value.size()));
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);

    SkinValues& v = model_.values;
    struct Switch {
        std::string_view key;
        bool SkinValues::*field;
    };
    static constexpr Switch kSwitches[] = {
        {"PlayPause", &SkinValues::playPause},
        {"CueStop", &SkinValues::cueStop},
        {"PitchLevel", &SkinValues::pitchLevel},
        {"MixNowAlwaysVisible", &SkinValues::mixNowAlwaysVisible},
    };
    struct Colour {
        std::string_view key;
        SkinColour SkinValues::*field;
    };
    static constexpr Colour kColours[] = {
        {"FontColor", &SkinValues::fontColor},
        {"FontBackColor", &SkinValues::fontBackColor},
        {"FontColorTitle", &SkinValues::fontColorTitle},
        {"FontColorAuthor", &SkinValues::fontColorAuthor},
        {"FontColorSimpleInfos", &SkinValues::fontColorSimpleInfos},
        {"FontColorExtendedInfos", &SkinValues::fontColorExtendedInfos},
        {"FontColorOptions", &SkinValues::fontColorOptions},
        {"FontColorRecord", &SkinValues::fontColorRecord},
        {"CueColor", &SkinValues::cueColor},
    };
    struct Integer {
        std::string_view key;
        int32_t SkinValues::*field;
    };
    static constexpr Integer kIntegers[] = {
        {"FontSizeTitle", &SkinValues::fontSizeTitle},
        {"FontSizeSimpleInfos", &SkinValues::fontSizeSimpleInfos},
        {"FontSizeExtendedInfos", &SkinValues::fontSizeExtendedInfos},
        {"FontSizeAuthor", &SkinValues::fontSizeAuthor},
        {"FontSizeText", &SkinValues::fontSizeText},
        {"RhythmBackColor", &SkinValues::rhythmBackColor},
        {"RhythmColor1", &SkinValues::rhythmColor1},
        {"RhythmColor2", &SkinValues::rhythmColor2},
        {"RhythmColor3", &SkinValues::rhythmColor3},
    };

    if (ascii::equalsNoCase(key, "Version")) {
        versionSeen_ = true;
        version_ = readInteger(value);
        return;
    }
    for (const Switch& s : kSwitches) {
        if (ascii::equalsNoCase(key, s.key)) return void(v.*s.field = readSwitch(value));
    }
    for (const Colour& c : kColours) {
        if (ascii::equalsNoCase(key, c.key)) return void(v.*c.field = readColour(value));
    }
    for (const Integer& i : kIntegers) {
        if (ascii::equalsNoCase(key, i.key)) return void(v.*i.field = readInteger(value));
    }
    if (ascii::equalsNoCase(key, "FontName")) {
        v.fontName = cut(skipBlanks(value), kMaxFontName);
    } else if (ascii::equalsNoCase(key, "SimpleInfos")) {
        v.simpleInfos = cut(value, kMaxTemplate);
    } else if (ascii::equalsNoCase(key, "ExtendedInfos")) {
        v.extendedInfos = cut(value, kMaxTemplate);
    }
}

DescriptionVerdict SkinDescriptionParser::finish() {
    model_.controls[ctl::Mix].panelMask =
        model_.values.mixNowAlwaysVisible ? kMaskAlways : kMaskMixPlaylistOnly;
    if (!versionSeen_ || version_ < 1) return DescriptionVerdict::NoVersion;
    if (model_.controls[ctl::FilesWindow].x == -1) return DescriptionVerdict::NoFilesWindow;
    return DescriptionVerdict::Accepted;
}

DescriptionVerdict readSkinDescription(std::string_view text, SkinModel& model) {
    SkinDescriptionParser parser(model);
    while (!text.empty()) {
        // A line ends after its line feed or when the reader's buffer is full.
        const size_t feed = text.find('\n');
        const size_t length =
            std::min(feed == std::string_view::npos ? text.size() : feed + 1, kMaxDescriptionLine);
        parser.line(text.substr(0, length));
        text.remove_prefix(length);
    }
    return parser.finish();
}

DescriptionVerdict readSkinDescriptionFile(const std::string& path, SkinModel& model) {
    SkinDescriptionParser parser(model);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (file == nullptr) return DescriptionVerdict::CannotOpen;
    std::array<char, kMaxDescriptionLine + 1> buffer;
    // fgets stops after a line feed or with the buffer full, exactly the split above; a
    // NUL inside a line ends it either way.
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), file.get()) != nullptr) {
        parser.line(std::string_view(buffer.data()));
    }
    return parser.finish();
}

}  // namespace spinlorex
