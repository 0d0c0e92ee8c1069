#include "midi/MappingEngine.h"

#include <cmath>

namespace spinlorex::midi {

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControl = 0xB0;

int kindIndex(MessageKind kind) {
    switch (kind) {
        case MessageKind::Note:
            return 0;
        case MessageKind::Control:
        case MessageKind::Control14:
            return 1;
        case MessageKind::PitchBend:
            return 2;
    }
    return 0;
}

int key(int kind, int channel, int number) { return (kind * 16 + channel) * 128 + number; }

double decode(Encoding encoding, int value) {
    switch (encoding) {
        case Encoding::TwosComplement:
            return value < 64 ? value : value - 128;
        case Encoding::Offset64:
            return value - 64;
        case Encoding::SignBit:
            return (value & 0x40) ? -(value & 0x3F) : (value & 0x3F);
        case Encoding::Absolute:
            break;
    }
    return 0;
}

}  // namespace

MappingEngine::MappingEngine(Mapping mapping, ControlTarget& target)
    : mapping_(std::move(mapping)),
      target_(target),
      state_(mapping_.bindings.size()),
      lightsSent_(mapping_.lights.size(), -1) {
    plain_.fill(-1);
    shifted_.fill(-1);
    held_.fill(-1);
    for (std::size_t i = 0; i < mapping_.bindings.size() && i < 0x7FFF; ++i) {
        const Binding& b = mapping_.bindings[i];
        auto& table = b.shifted ? shifted_ : plain_;
        const int kind = kindIndex(b.message.kind);
        const int number = b.message.kind == MessageKind::PitchBend ? 0 : b.message.number;
        table[static_cast<std::size_t>(key(kind, b.message.channel, number))] =
            static_cast<int16_t>(i);
        if (b.message.kind == MessageKind::Control14)
            table[static_cast<std::size_t>(key(kind, b.message.channel, b.message.lsbNumber))] =
                static_cast<int16_t>(i);
    }
}

int MappingEngine::keyOf(const MidiMessage& m) {
    if (m.size != 3) return -1;
    switch (m.type()) {
        case 0x80:
        case kNoteOn:
            return key(0, m.channel(), m.data1);
        case kControl:
            return key(1, m.channel(), m.data1);
        case 0xE0:
            return key(2, m.channel(), 0);
        default:
            return -1;
    }
}

int MappingEngine::pick(int k) const {
    const auto at = static_cast<std::size_t>(k);
    if (shiftsDown_ > 0 && shifted_[at] >= 0) return shifted_[at];
    return plain_[at];
}

const Binding* MappingEngine::bindingFor(const MidiMessage& message) const {
    const int k = keyOf(message);
    if (k < 0) return nullptr;
    const int index = pick(k);
    return index < 0 ? nullptr : &mapping_.bindings[static_cast<std::size_t>(index)];
}

const Binding* MappingEngine::handle(const MidiMessage& message) {
    const int k = keyOf(message);
    if (k < 0) return nullptr;
    int index = pick(k);
    if (index < 0) {
        // A button pressed with shift whose shift was let go first still releases.
        index = held_[static_cast<std::size_t>(k)];
        if (index < 0) return nullptr;
    }
    const Binding& b = mapping_.bindings[static_cast<std::size_t>(index)];
    const bool button = actionInfo(b.action).kind == ActionKind::Button;
    const bool release = message.isNoteOff() || (message.type() == kControl && message.data2 == 0);
    if (button) {
        int16_t& held = held_[static_cast<std::size_t>(k)];
        if (release) {
            if (held >= 0) index = held;
            held = -1;
        } else {
            held = static_cast<int16_t>(index);
        }
    }
    act(index, message, button && release);
    return &mapping_.bindings[static_cast<std::size_t>(index)];
}

void MappingEngine::act(int index, const MidiMessage& m, bool release) {
    const Binding& b = mapping_.bindings[static_cast<std::size_t>(index)];
    State& s = state_[static_cast<std::size_t>(index)];
    const ActionInfo& info = actionInfo(b.action);
    switch (info.kind) {
        case ActionKind::Button:
            if (b.action == Action::Shift) {
                shiftsDown_ += release ? (shiftsDown_ > 0 ? -1 : 0) : 1;
                return;
            }
            switch (b.mode) {
                case ButtonMode::Press:
                    if (!release) target_.button(b.action, b.deck, b.argument, true);
                    return;
                case ButtonMode::Hold:
                    target_.button(b.action, b.deck, b.argument, !release);
                    return;
                case ButtonMode::Toggle:
                    if (release) return;
                    s.toggled = !s.toggled;
                    target_.button(b.action, b.deck, b.argument, s.toggled);
                    return;
            }
            return;
        case ActionKind::Relative: {
            if (m.type() != kControl) return;
            double steps = decode(b.encoding, m.data2);
            if (b.invert) steps = -steps;
            if (steps == 0) return;
            if (b.action == Action::Jog) steps /= mapping_.jogTicksPerTurn;
            target_.step(b.action, b.deck, steps);
            return;
        }
        case ActionKind::Absolute:
            if (b.message.kind == MessageKind::PitchBend) {
                if (m.type() == 0xE0) absolute(index, ((m.data2 << 7) | m.data1) / 16383.0);
            } else if (b.message.kind == MessageKind::Control14) {
                if (m.type() != kControl) return;
                // The most significant half comes first; it moves the fader at once (a
                // controller that sends only it still works) and the other half refines it.
                if (m.data1 == b.message.number) s.msb = m.data2;
                absolute(index,
                         ((s.msb << 7) | (m.data1 == b.message.number ? 0 : m.data2)) / 16383.0);
            } else if (m.type() == kControl) {
                absolute(index, m.data2 / 127.0);
            }
            return;
    }
}

void MappingEngine::absolute(int index, double position) {
    const Binding& b = mapping_.bindings[static_cast<std::size_t>(index)];
    State& s = state_[static_cast<std::size_t>(index)];
    if (b.invert) position = 1.0 - position;
    const double previous = s.lastControl;
    s.lastControl = position;
    if (b.takeover) {
        if (const auto desk = target_.deskPosition(b.action, b.deck)) {
            // Moved by the keyboard or the mouse since: the control must meet it again.
            if (s.caught && std::abs(*desk - s.lastSent) > kTakeoverWindow) s.caught = false;
            if (!s.caught) {
                const bool near = std::abs(position - *desk) <= kTakeoverWindow;
                const bool crossed = previous >= 0 && (previous - *desk) * (position - *desk) <= 0;
                if (!near && !crossed) return;
                s.caught = true;
            }
        }
    }
    s.lastSent = position;
    target_.position(b.action, b.deck, position);
}

void MappingEngine::updateLights(const std::array<DeckLights, 2>& decks, LightOutput& out) {
    for (std::size_t i = 0; i < mapping_.lights.size(); ++i) {
        const LightBinding& light = mapping_.lights[i];
        const DeckLights& deck = decks[light.deck == 1 ? 1 : 0];
        bool on = false;
        switch (light.state) {
            case LightState::Play:
                on = deck.play;
                break;
            case LightState::Cue:
                on = deck.cue;
                break;
            case LightState::Sync:
                on = deck.sync;
                break;
            case LightState::Selected:
                on = deck.selected;
                break;
        }
        const int value = on ? light.onValue : light.offValue;
        if (lightsSent_[i] == value) continue;
        lightsSent_[i] = value;
        MidiMessage m;
        m.status = static_cast<uint8_t>(
            (light.message.kind == MessageKind::Note ? kNoteOn : kControl) | light.message.channel);
        m.data1 = static_cast<uint8_t>(light.message.number);
        m.data2 = static_cast<uint8_t>(value);
        m.size = 3;
        out.send(m);
    }
}

void MappingEngine::forgetLights() {
    for (int& sent : lightsSent_) sent = -1;
}

std::optional<Binding> learnedBinding(const MidiMessage& message, Action action, int deck,
                                      int argument, bool bothDecks) {
    const ActionInfo& info = actionInfo(action);
    Binding b;
    b.action = action;
    b.deck = info.perDeck ? deck : 0;
    b.argument = argument;
    b.bothDecks = info.perDeck && bothDecks;
    b.mode = info.defaultMode;
    b.message.channel = message.channel();
    b.message.number = message.data1;
    if (message.size != 3) return std::nullopt;
    switch (message.type()) {
        case 0x80:
        case kNoteOn:
            if (info.kind != ActionKind::Button) return std::nullopt;
            b.message.kind = MessageKind::Note;
            break;
        case kControl:
            b.message.kind = MessageKind::Control;
            if (info.kind == ActionKind::Relative)
                b.encoding = std::abs(message.data2 - 64) < 16 ? Encoding::Offset64
                                                               : Encoding::TwosComplement;
            break;
        case 0xE0:
            if (info.kind != ActionKind::Absolute) return std::nullopt;
            b.message.kind = MessageKind::PitchBend;
            b.message.number = 0;
            break;
        default:
            return std::nullopt;
    }
    return b;
}

std::string describeBinding(const Binding& b) {
    const ActionInfo& info = actionInfo(b.action);
    std::string text = info.perDeck ? (b.deck == 1 ? "deck 2 " : "deck 1 ") : "desk ";
    text += info.name;
    if (info.maxArgument > 0) text += ' ' + std::to_string(b.argument);
    if (b.shifted) text += " (shifted)";
    return text;
}

}  // namespace spinlorex::midi
