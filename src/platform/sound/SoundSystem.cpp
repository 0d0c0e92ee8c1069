#include "platform/sound/SoundSystem.h"

#include <cstdlib>

#include "platform/sound/SoundBackends.h"

namespace spinlorex::sound {

std::unique_ptr<SoundSystem> soundSystemFromChoice(std::string_view choice) {
    if (choice.empty() || choice == "portaudio") return createPortAudioSystem();
    if (choice == "null") return createNullSystem();
    if (choice.starts_with("wav:")) return createWavSystem(std::string(choice.substr(4)));
    return nullptr;
}

std::unique_ptr<SoundSystem> soundSystemFromEnvironment() {
    const char* choice = std::getenv("SPINLOREX_AUDIO");
    return soundSystemFromChoice(choice != nullptr ? choice : "");
}

std::string toHex(const DeviceId& id) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * id.size());
    for (const uint8_t byte : id) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::optional<DeviceId> deviceIdFromHex(std::string_view text) {
    DeviceId id{};
    if (text.size() != 2 * id.size()) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < id.size(); ++i) {
        const int high = digit(text[2 * i]);
        const int low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        id[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return id;
}

// 128-bit FNV-1a: simple, well known, and fixed for good, since identifiers are stored
// in the settings.
DeviceId deviceIdFor(std::string_view hostApi, std::string_view name) {
    uint64_t hi = 0x6c62272e07bb0142, lo = 0x62b821756295c58d;  // offset basis
    const auto mix = [&](uint8_t byte) {
        lo ^= byte;
        // Multiply by the prime 2^88 + 0x13b, modulo 2^128.
        const uint64_t a = (lo & 0xFFFFFFFF) * 0x13b;
        const uint64_t b = (lo >> 32) * 0x13b + (a >> 32);
        const uint64_t newLo = (b << 32) | (a & 0xFFFFFFFF);
        hi = hi * 0x13b + (b >> 32) + (lo << 24);
        lo = newLo;
    };
    for (const char c : hostApi) mix(static_cast<uint8_t>(c));
    mix(0);  // so that ("ab", "c") and ("a", "bc") differ
    for (const char c : name) mix(static_cast<uint8_t>(c));
    DeviceId id{};
    for (int i = 0; i < 8; ++i) {
        id[i] = static_cast<uint8_t>(hi >> (56 - 8 * i));
        id[8 + i] = static_cast<uint8_t>(lo >> (56 - 8 * i));
    }
    return id;
}

}  // namespace spinlorex::sound
