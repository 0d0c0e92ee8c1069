#include "desk/display/InfoTemplate.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "audio/AudioFormat.h"
#include "platform/core/AsciiText.h"

namespace spinlorex::display {
namespace {

// The text of one run, on the stack of the interpreter.
class SegmentBuffer {
public:
    void append(std::string_view s) {
        if (cut_) return;
        const size_t room = data_.size() - size_;
        const size_t n = s.size() <= room ? s.size() : room;
        for (size_t i = 0; i < n; ++i) data_[size_ + i] = s[i];
        size_ += n;
        if (n < s.size()) {
            // Once cut, the run stays a clean prefix: no part of a character, nothing after.
            cut_ = true;
            dropPartialCharacter();
        }
    }
    void append(char c) { append(std::string_view(&c, 1)); }
    std::string_view view() const { return {data_.data(), size_}; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0, cut_ = false; }

private:
    void dropPartialCharacter() {
        size_t lead = size_;
        while (lead > 0 && (static_cast<unsigned char>(data_[lead - 1]) & 0xC0) == 0x80) --lead;
        if (lead == 0) return;
        const auto first = static_cast<unsigned char>(data_[lead - 1]);
        const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
        if (size_ - (lead - 1) < length) size_ = lead - 1;
    }

    std::array<char, kInfoSegmentCapacity> data_;
    size_t size_ = 0;
    bool cut_ = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads decimal digits from `at`; the value saturates instead of overflowing.
size_t readNumber(std::string_view t, size_t at, int32_t& value) {
    constexpr int32_t kLimit = 0x7FFFFF;
    value = 0;
    for (; at < t.size() && isDigit(t[at]); ++at)
        value = value >= kLimit ? kLimit : value * 10 + (t[at] - '0');
    return at;
}

void appendCodePoint(SegmentBuffer& out, int32_t code) {
    if (code <= 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return;
    const auto u = static_cast<uint32_t>(code);
    char bytes[4];
    size_t n;
    if (u < 0x80) {
        bytes[0] = static_cast<char>(u), n = 1;
    } else if (u < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | u >> 6),
        bytes[1] = static_cast<char>(0x80 | (u & 0x3F)), n = 2;
    } else if (u < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | u >> 12),
        bytes[1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (u & 0x3F)), n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | u >> 18),
        bytes[1] = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
        bytes[3] = static_cast<char>(0x80 | (u & 0x3F)), n = 4;
    }
    out.append(std::string_view(bytes, n));
}

// Float to int the way a C cast truncates, but defined for every input.
int64_t truncToInt(double v) {
    if (!(v == v)) return 0;
    constexpr double kMax = 9.0e15;
    if (v > kMax) return static_cast<int64_t>(kMax);
    if (v < -kMax) return static_cast<int64_t>(-kMax);
    return static_cast<int64_t>(v);
}

int32_t clampTenths(int64_t v) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v > kMax ? kMax : v < -kMax ? -kMax : v);
}

void appendFixed1(SegmentBuffer& out, double value) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.1f", value);
    if (n > 0)
        out.append(std::string_view(
            text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1));
}

void appendTime(SegmentBuffer& out, int32_t tenths, uint32_t flags, const DeckInfo& info) {
    char text[48];
    out.append(formatInfoValue(tenths, flags, info, text));
}

bool validBpm(float bpm) { return bpm > 1.0f && bpm < 999.0f; }

enum class Key { Time, Spent, Left, Cue, First, End, Bpm, Pitch, Level, Loop, HotCue, MusicalKey };

// Tried in this order; the first that matches wins.
constexpr std::array<std::pair<std::string_view, Key>, 12> kKeys = {{
    {"time", Key::Time},
    {"spent", Key::Spent},
    {"left", Key::Left},
    {"cue", Key::Cue},
    {"first", Key::First},
    {"end", Key::End},
    {"bpm", Key::Bpm},
    {"pitch", Key::Pitch},
    {"level", Key::Level},
    {"loop", Key::Loop},
    {"hotcue", Key::HotCue},
    {"key", Key::MusicalKey},
}};

// A loop's length in beats as a DJ names it: "4", "1/2", "1/8"; other lengths with one
// decimal.
void appendBeats(SegmentBuffer& out, float beats) {
    for (int divisor : {2, 4, 8})
        if (beats < 1.0f && std::fabs(beats * static_cast<float>(divisor) - 1.0f) < 1e-3f) {
            char text[8];
            std::snprintf(text, sizeof text, "1/%d", divisor);
            return out.append(text);
        }
    if (std::fabs(beats - std::round(beats)) < 1e-3f) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(std::lround(beats)));
        return out.append(text);
    }
    appendFixed1(out, beats);
}

bool matchesKey(std::string_view t, size_t at, std::string_view key) {
    return ascii::startsWithNoCase(t.substr(at), key);
}

// A value that needs a position: trunc(T x fraction) in the float arithmetic the panel has
// always used.
int32_t tenthsOf(float fraction, int64_t total) {
    return clampTenths(truncToInt(static_cast<double>(fraction * static_cast<float>(total))));
}

void appendKey(SegmentBuffer& out, Key key, uint32_t flags, const DeckInfo& info) {
    const int64_t total = int64_t{10} * info.duration;
    const float p = info.position;
    const bool positioned = p >= 0.0f;
    switch (key) {
        case Key::Time:
            return appendTime(out, clampTenths(total), flags, info);
        case Key::Spent:
            return positioned ? appendTime(out, tenthsOf(p, total), flags, info) : out.append("--");
        case Key::Left:
            return positioned ? appendTime(out, clampTenths(int64_t{tenthsOf(1.0f - p, total)} + 1),
                                           flags, info)
                              : out.append("--");
        case Key::Cue:
            return positioned ? appendTime(out, tenthsOf(p - info.cuePoint, total), flags, info)
                              : out.append("--");
        case Key::First:
            return positioned
                       ? appendTime(out, tenthsOf(p - info.firstStrongBeat, total), flags, info)
                       : out.append("--");
        case Key::End:
            return positioned
                       ? appendTime(out, tenthsOf(p - info.lastStrongBeat, total), flags, info)
                       : out.append("--");
        case Key::Bpm: {
            const float bpm = (flags & kFlagL) != 0 ? info.localBpm : info.trackBpm;
            if (!validBpm(bpm)) return out.append("--");
            const float shown = (flags & kFlagP) != 0 ? bpm
                                                      : bpm * static_cast<float>(info.pitch) /
                                                            static_cast<float>(kNormalPitch);
            return appendFixed1(out, shown);
        }
        case Key::Pitch:
            return appendFixed1(out, info.pitch * 100.0 / static_cast<double>(kNormalPitch));
        case Key::Level: {
            const int64_t base = (flags & kFlagL) != 0 ? info.localLevel : info.loudnessPeak;
            const int64_t x = (flags & kFlagP) != 0 ? base * 256 : int64_t{info.level} * base;
            // Only 0 can occur with real levels; a negative one has no logarithm either.
            if (x <= 0) return out.append("--");
            return appendFixed1(out,
                                20.0 * std::log10(static_cast<double>(x) * 2.249046225915903e-9));
        }
        case Key::Loop:
            if (info.loopSeconds <= 0.0f) return out.append("--");
            if (info.loopBeats > 0.0f) return appendBeats(out, info.loopBeats);
            appendFixed1(out, info.loopSeconds);
            return out.append("s");
        case Key::HotCue:
            return positioned && info.nextHotCue >= 0.0f
                       ? appendTime(out, tenthsOf(p - info.nextHotCue, total), flags, info)
                       : out.append("--");
        case Key::MusicalKey:
            return info.key[0] != '\0' ? out.append(info.key.data()) : out.append("--");
    }
}

class Interpreter {
public:
    Interpreter(std::string_view t, const DeckInfo& info, InfoSink& sink)
        : t_(t), info_(info), sink_(sink) {}

    void run() {
        size_t at = 0;
        while (at < t_.size()) {
            if (t_[at] == '\\') {
                at = escape(at + 1);
            } else if (t_[at] == '%') {
                at = percent(at + 1);
            } else {
                size_t end = t_.find_first_of("%\\", at);
                if (end == std::string_view::npos) end = t_.size();
                out_.append(t_.substr(at, end - at));
                at = end;
            }
        }
        flush();
    }

private:
    void flush() {
        if (!out_.empty()) sink_.segment(x_, y_, out_.view());
        out_.clear();
    }

    // After a backslash; returns where reading goes on.
    size_t escape(size_t at) {
        if (at >= t_.size()) return out_.append('\\'), at;
        switch (t_[at]) {
            case '\\':
                return out_.append('\\'), at + 1;
            case 't':
                return out_.append('\t'), at + 1;
            case 'n':
                return out_.append("\r\n"), at + 1;
            case 'r':
                return out_.append('\r'), at + 1;
            default:
                break;
        }
        if (isDigit(t_[at])) {
            int32_t code = 0;
            at = readNumber(t_, at, code);
            appendCodePoint(out_, code);
            return at;
        }
        out_.append('\\');  // the next character is read normally
        return at;
    }

    // After a '%'.
    size_t percent(size_t at) {
        if (at >= t_.size()) return out_.append('%'), at;
        if (t_[at] == '%') return out_.append('%'), at + 1;
        if (isDigit(t_[at])) {
            int32_t first = 0;
            size_t next = readNumber(t_, at, first);
            flush();
            if (next < t_.size() && t_[next] == ',') {
                int32_t second = 0;
                next = readNumber(t_, next + 1, second);
                x_ = first, y_ = second;
            } else {
                x_ = 0, y_ = first;
            }
            return next;
        }
        uint32_t flags = 0;
        for (size_t k = at; k < t_.size(); ++k) {
            // The key itself is tried before its first letter is taken for a flag.
            for (const auto& [name, key] : kKeys)
                if (matchesKey(t_, k, name))
                    return appendKey(out_, key, flags, info_), k + name.size();
            const char c = t_[k];
            if (c == 'P')
                flags |= kFlagP;
            else if (c == 'L')
                flags |= kFlagL;
            else if (c == 'B')
                flags |= kFlagB;
            else
                break;
        }
        out_.append('%');  // no key: what followed is read as text
        return at;
    }

    std::string_view t_;
    const DeckInfo& info_;
    InfoSink& sink_;
    SegmentBuffer out_;
    int32_t x_ = 0, y_ = 0;
};

}  // namespace

void interpretInfoTemplate(std::string_view templ, const DeckInfo& info, InfoSink& sink) {
    Interpreter(templ, info, sink).run();
}

std::string_view formatInfoValue(int32_t tenths, uint32_t flags, const DeckInfo& info,
                                 std::span<char> out) {
    if (out.empty()) return {};
    int64_t v = tenths;
    // The time as heard at the current pitch, unless P asks for track time.
    if ((flags & kFlagP) == 0 && info.pitch > 0) v = v * kNormalPitch / info.pitch;

    int n;
    if ((flags & kFlagB) != 0) {
        if (validBpm(info.trackBpm))
            n = std::snprintf(
                out.data(), out.size(), "%.1f",
                static_cast<double>(static_cast<float>(v) * info.trackBpm * 0.0016666667f));
        else
            n = std::snprintf(out.data(), out.size(), "--");
    } else {
        const char* sign = v < 0 ? "-" : "";
        if (v < 0) v = -v;
        n = std::snprintf(out.data(), out.size(), "%s%.2lld:%.2d.%.1d", sign,
                          static_cast<long long>(v / 600), static_cast<int>((v / 10) % 60),
                          static_cast<int>(v % 10));
    }
    if (n < 0) return {};
    return {out.data(),
            static_cast<size_t>(n) < out.size() ? static_cast<size_t>(n) : out.size() - 1};
}

std::string_view statusMessage(uint32_t status) {
    switch (status) {
        case 153:
            return "ERROR\nin the\nMP3 file";
        case 156:
            return "Impossible\nto open\nthe file";
        case 157:
            return "Drag a file\non the disc\nto load it";
        case 158:
            return "Loading\nthe file...";
        default:
            return {};
    }
}

}  // namespace spinlorex::display
