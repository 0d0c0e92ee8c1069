#include "midi/MidiMessage.h"

#include <cstdio>

namespace spinlorex::midi {

MidiMessage MidiMessage::fromBytes(const uint8_t* bytes, std::size_t count) {
    MidiMessage message;
    if (count == 0 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return message;
    const uint8_t type = bytes[0] & 0xF0;
    const std::size_t wanted = (type == 0xC0 || type == 0xD0) ? 2 : 3;
    if (count < wanted) return message;
    for (std::size_t i = 1; i < wanted; ++i)
        if (bytes[i] >= 0x80) return message;
    message.status = bytes[0];
    message.data1 = bytes[1];
    message.data2 = wanted == 3 ? bytes[2] : 0;
    message.size = static_cast<uint8_t>(wanted);
    return message;
}

std::string hexBytes(const MidiMessage& message) {
    const uint8_t bytes[3] = {message.status, message.data1, message.data2};
    std::string text;
    for (int i = 0; i < message.size; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x", bytes[i]);
        if (!text.empty()) text += ' ';
        text += part;
    }
    return text;
}

}  // namespace spinlorex::midi
