#include "midi/Mapping.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <type_traits>

#include "platform/core/AsciiText.h"

namespace spinlorex::midi {

namespace {

constexpr std::size_t kMaxFileBytes = 1 << 20;
constexpr std::size_t kMaxLineBytes = 1000;
constexpr std::size_t kMaxErrors = 50;

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > i) out.push_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

// Decimal or 0x-prefixed hex, within [low, high].
std::optional<int> number(std::string_view word, int low, int high) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (error != std::errc() || end != word.data() + word.size() || word.empty()) return {};
    if (value < low || value > high) return {};
    return value;
}

std::string quoted(std::string_view word) {
    std::string text = "'";
    for (const char c : word.substr(0, 40)) {
        const auto byte = static_cast<unsigned char>(c);
        text += (byte < 0x20 || byte == 0x7F) ? '?' : c;
    }
    return text + (word.size() > 40 ? "...'" : "'");
}

// The text after the first word, trimmed: names may hold spaces.
std::string rest(std::string_view line, std::string_view first) {
    std::string_view tail =
        line.substr(static_cast<std::size_t>(first.data() - line.data()) + first.size());
    while (!tail.empty() && (tail.front() == ' ' || tail.front() == '\t')) tail.remove_prefix(1);
    while (!tail.empty() && (tail.back() == ' ' || tail.back() == '\t')) tail.remove_suffix(1);
    return std::string(tail);
}

struct LineReader {
    const std::vector<std::string_view>& w;
    std::size_t at = 0;
    std::string error;

    bool more() const { return at < w.size(); }
    std::string_view next() { return more() ? w[at++] : std::string_view(); }
    bool fail(std::string message) {
        if (error.empty()) error = std::move(message);
        return false;
    }
    std::optional<int> value(const char* what, int low, int high) {
        if (!more()) {
            fail(std::string("missing ") + what);
            return {};
        }
        const std::string_view word = next();
        const auto parsed = number(word, low, high);
        if (!parsed) {
            char range[64];
            std::snprintf(range, sizeof range, " (%d to %d)", low, high);
            fail(std::string(what) + " " + quoted(word) + " is not a number" + range);
        }
        return parsed;
    }

    // note CH N | cc CH N | cc14 CH MSB LSB | pitchbend CH
    bool message(MessageSpec& spec, bool lightsOnly) {
        const std::string_view kind = next();
        if (kind == "note")
            spec.kind = MessageKind::Note;
        else if (kind == "cc")
            spec.kind = MessageKind::Control;
        else if (kind == "cc14" && !lightsOnly)
            spec.kind = MessageKind::Control14;
        else if (kind == "pitchbend" && !lightsOnly)
            spec.kind = MessageKind::PitchBend;
        else if (kind.empty())
            return fail("missing the message (note, cc, cc14 or pitchbend)");
        else
            return fail(
                "unknown message " + quoted(kind) +
                (lightsOnly ? " (a light is a note or a cc)" : " (note, cc, cc14 or pitchbend)"));
        const auto channel = value("channel", 1, 16);
        if (!channel) return false;
        spec.channel = *channel - 1;
        if (spec.kind == MessageKind::PitchBend) return true;
        const auto first = value(spec.kind == MessageKind::Note ? "note" : "controller", 0, 127);
        if (!first) return false;
        spec.number = *first;
        if (spec.kind != MessageKind::Control14) return true;
        const auto second = value("controller", 0, 127);
        if (!second) return false;
        if (*second == *first) return fail("a 14-bit pair needs two different controllers");
        spec.lsbNumber = *second;
        return true;
    }

    // decks | deck1 | deck2 | desk
    bool target(std::string_view word, bool perDeck, int& deck, bool& both) {
        if (word.empty()) return fail("missing the target (decks, deck1, deck2 or desk)");
        both = word == "decks";
        deck = word == "deck2" ? 1 : 0;
        if (word == "decks" || word == "deck1" || word == "deck2") {
            if (!perDeck)
                return fail("this action is the whole desk's: write 'desk', not " + quoted(word));
            return true;
        }
        if (word == "desk") {
            if (perDeck) return fail("this action is a deck's: write 'decks', 'deck1' or 'deck2'");
            return true;
        }
        return fail("unknown target " + quoted(word) + " (decks, deck1, deck2 or desk)");
    }
};

bool parseBinding(LineReader& r, Binding& b) {
    const std::string_view targetWord = r.next();
    const std::string_view actionWord = r.next();
    const auto action = actionNamed(actionWord);
    if (!action)
        return r.fail(actionWord.empty() ? "missing the action"
                                         : "unknown action " + quoted(actionWord));
    const ActionInfo& info = actionInfo(*action);
    b.action = *action;
    if (!r.target(targetWord, info.perDeck, b.deck, b.bothDecks)) return false;
    if (info.maxArgument > 0) {
        const auto argument =
            r.value(info.action == Action::Panel ? "panel" : "slot", 1, info.maxArgument);
        if (!argument) return false;
        b.argument = *argument;
    }
    if (!r.message(b.message, false)) return false;
    b.mode = info.defaultMode;
    b.encoding = info.kind == ActionKind::Relative ? Encoding::TwosComplement : Encoding::Absolute;
    const bool wide =
        b.message.kind == MessageKind::Control14 || b.message.kind == MessageKind::PitchBend;
    if (info.kind == ActionKind::Absolute && b.message.kind == MessageKind::Note)
        return r.fail("a fader or knob sends cc, cc14 or pitchbend, not notes");
    if (info.kind != ActionKind::Absolute && wide)
        return r.fail("only faders and knobs (absolute actions) use cc14 or pitchbend");
    if (info.kind == ActionKind::Relative && b.message.kind == MessageKind::Note)
        return r.fail("an encoder sends cc, not notes");
    while (r.more()) {
        const std::string_view option = r.next();
        const bool button = info.kind == ActionKind::Button;
        const bool relative = info.kind == ActionKind::Relative;
        if (button && option == "press")
            b.mode = ButtonMode::Press;
        else if (button && option == "hold")
            b.mode = ButtonMode::Hold;
        else if (button && option == "toggle")
            b.mode = ButtonMode::Toggle;
        else if (relative && option == "twos")
            b.encoding = Encoding::TwosComplement;
        else if (relative && option == "offset64")
            b.encoding = Encoding::Offset64;
        else if (relative && option == "signbit")
            b.encoding = Encoding::SignBit;
        else if (!button && option == "invert")
            b.invert = true;
        else if (info.kind == ActionKind::Absolute && option == "no-takeover")
            b.takeover = false;
        else if (option == "shifted" && b.action != Action::Shift)
            b.shifted = true;
        else
            return r.fail("option " + quoted(option) + " does not apply to '" +
                          std::string(info.name) + "'");
    }
    return true;
}

bool parseLight(LineReader& r, LightBinding& light) {
    if (!r.target(r.next(), true, light.deck, light.bothDecks)) return false;
    const std::string_view stateWord = r.next();
    const auto state = lightStateNamed(stateWord);
    if (!state)
        return r.fail(stateWord.empty()
                          ? "missing what the light shows (play, cue, sync or selected)"
                          : "unknown light " + quoted(stateWord) +
                                " (play, cue, sync or selected)");
    light.state = *state;
    if (!r.message(light.message, true)) return false;
    while (r.more()) {
        const std::string_view option = r.next();
        if (option == "on" || option == "off") {
            const auto v = r.value(option == "on" ? "on value" : "off value", 0, 127);
            if (!v) return false;
            (option == "on" ? light.onValue : light.offValue) = *v;
        } else {
            return r.fail("option " + quoted(option) + " does not apply to a light (on V, off V)");
        }
    }
    return true;
}

// Deck 2's copy of a message written for both decks; false when the offset takes it out
// of range.
bool moved(MessageSpec& spec, int channelOffset, int numberOffset) {
    spec.channel += channelOffset;
    if (spec.kind != MessageKind::PitchBend) {
        spec.number += numberOffset;
        if (spec.kind == MessageKind::Control14) spec.lsbNumber += numberOffset;
    }
    return spec.channel >= 0 && spec.channel <= 15 && spec.number >= 0 && spec.number <= 127 &&
           spec.lsbNumber >= 0 && spec.lsbNumber <= 127;
}

std::string lineError(int line, const std::string& text) {
    return "line " + std::to_string(line) + ": " + text;
}

}  // namespace

MappingRead parseMapping(std::string_view text) {
    MappingRead read;
    if (text.size() > kMaxFileBytes) {
        read.errors.push_back("the file is larger than 1 MB: not a mapping");
        return read;
    }
    Mapping& m = read.mapping;
    std::vector<std::string> errors;
    auto addError = [&](int line, const std::string& message) {
        errors.push_back(lineError(line, message));
    };

    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLineBytes) {
            addError(lineNumber, "the line is longer than 1000 characters");
            continue;
        }
        const auto w = words(line);
        if (w.empty()) continue;
        LineReader r{w, 1, {}};
        const std::string_view key = w[0];
        if (key == "name") {
            m.name = rest(line, key);
        } else if (key == "port") {
            std::string port = rest(line, key);
            if (port.empty())
                r.fail("missing the port's name");
            else
                m.ports.push_back(std::move(port));
        } else if (key == "jog-ticks-per-turn") {
            if (const auto v = r.value("ticks per turn", 1, 100000)) m.jogTicksPerTurn = *v;
        } else if (key == "deck2-offset") {
            const std::string_view what = r.next();
            if (what != "channel" && what != "note")
                r.fail("deck2-offset is 'channel N' or 'note N', not " + quoted(what));
            else if (const auto v = r.value("offset", -127, 127))
                (what == "channel" ? m.deck2ChannelOffset : m.deck2NumberOffset) = *v;
        } else if (key == "bind") {
            Binding b;
            b.line = lineNumber;
            if (parseBinding(r, b)) m.bindings.push_back(b);
        } else if (key == "light") {
            LightBinding light;
            light.line = lineNumber;
            if (parseLight(r, light)) m.lights.push_back(light);
        } else {
            r.fail("unknown line " + quoted(key) +
                   " (name, port, jog-ticks-per-turn, deck2-offset, bind or light)");
        }
        if (!r.error.empty()) addError(lineNumber, r.error);
        if (r.error.empty() && r.more() && key != "name" && key != "port")
            addError(lineNumber, "unexpected " + quoted(r.next()));
    }

    // Bindings for both decks: deck 2 is deck 1 moved by the offsets (known only now).
    const auto withDeck2 = [&](const auto& list) {
        std::remove_cvref_t<decltype(list)> out;
        for (const auto& b : list) {
            out.push_back(b);
            if (!b.bothDecks) continue;
            auto second = b;
            second.deck = 1;
            if (moved(second.message, m.deck2ChannelOffset, m.deck2NumberOffset))
                out.push_back(second);
            else
                addError(b.line, "deck 2's message, moved by deck2-offset, is out of range");
        }
        return out;
    };
    const std::vector<Binding> bindings = withDeck2(m.bindings);
    std::vector<LightBinding> lights = withDeck2(m.lights);

    // One message, one binding (per shift state): the later line loses.
    std::map<std::array<int, 4>, int> used;  // kind, channel, number, shifted -> line
    m.bindings.clear();
    for (const Binding& b : bindings) {
        const int kind = b.message.kind == MessageKind::Control14
                             ? static_cast<int>(MessageKind::Control)
                             : static_cast<int>(b.message.kind);
        const int number = b.message.kind == MessageKind::PitchBend ? 0 : b.message.number;
        std::vector<std::array<int, 4>> keys{{kind, b.message.channel, number, b.shifted ? 1 : 0}};
        if (b.message.kind == MessageKind::Control14)
            keys.push_back({kind, b.message.channel, b.message.lsbNumber, b.shifted ? 1 : 0});
        int clash = 0;
        for (const auto& k : keys)
            if (const auto it = used.find(k); it != used.end()) clash = it->second;
        if (clash != 0) {
            addError(b.line, "the message is already bound on line " + std::to_string(clash));
            continue;
        }
        for (const auto& k : keys) used.emplace(k, b.line);
        m.bindings.push_back(b);
    }
    m.lights = std::move(lights);
    std::stable_sort(errors.begin(), errors.end(), [](const std::string& a, const std::string& b) {
        return std::stoi(a.substr(5)) < std::stoi(b.substr(5));
    });
    // A line written for both decks fails once.
    errors.erase(std::unique(errors.begin(), errors.end()), errors.end());
    if (errors.size() > kMaxErrors) {
        const std::size_t more = errors.size() - kMaxErrors;
        errors.resize(kMaxErrors);
        errors.push_back("... and " + std::to_string(more) + " more errors");
    }
    read.errors = std::move(errors);
    return read;
}

std::string bindingLine(const Binding& b) {
    const ActionInfo& info = actionInfo(b.action);
    std::string line = "bind ";
    line += !info.perDeck ? "desk" : b.bothDecks ? "decks" : b.deck == 1 ? "deck2" : "deck1";
    line += ' ';
    line += info.name;
    if (info.maxArgument > 0) line += ' ' + std::to_string(b.argument);
    char message[48];
    const int ch = b.message.channel + 1;
    switch (b.message.kind) {
        case MessageKind::Note:
            std::snprintf(message, sizeof message, " note %d 0x%02X", ch, b.message.number);
            break;
        case MessageKind::Control:
            std::snprintf(message, sizeof message, " cc %d 0x%02X", ch, b.message.number);
            break;
        case MessageKind::Control14:
            std::snprintf(message, sizeof message, " cc14 %d 0x%02X 0x%02X", ch, b.message.number,
                          b.message.lsbNumber);
            break;
        case MessageKind::PitchBend:
            std::snprintf(message, sizeof message, " pitchbend %d", ch);
            break;
    }
    line += message;
    if (info.kind == ActionKind::Button && b.mode != info.defaultMode)
        line += b.mode == ButtonMode::Press  ? " press"
                : b.mode == ButtonMode::Hold ? " hold"
                                             : " toggle";
    if (info.kind == ActionKind::Relative && b.encoding != Encoding::TwosComplement)
        line += b.encoding == Encoding::Offset64 ? " offset64" : " signbit";
    if (b.invert) line += " invert";
    if (info.kind == ActionKind::Absolute && !b.takeover) line += " no-takeover";
    if (b.shifted) line += " shifted";
    return line;
}

bool matchesPort(const Mapping& mapping, std::string_view portName) {
    const std::string name = ascii::toLower(portName);
    for (const std::string& port : mapping.ports) {
        const std::string wanted = ascii::toLower(port);
        if (!wanted.empty() && name.find(wanted) != std::string::npos) return true;
    }
    return false;
}

}  // namespace spinlorex::midi
