#pragma once

#include <cstdint>
#include <string>

namespace spinlorex::midi {

// One channel message as it came off the wire: a status byte and up to two data bytes.
// System messages (clock, sysex) are not kept: controllers' controls never use them.
struct MidiMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t size = 0;  // 0 (none), 2 or 3 bytes

    // A channel message built from raw bytes; size 0 when they are not one.
    static MidiMessage fromBytes(const uint8_t* bytes, std::size_t count);

    uint8_t type() const { return static_cast<uint8_t>(status & 0xF0); }
    int channel() const { return status & 0x0F; }
    // A note-on with velocity 0 is a note-off, as running status makes it.
    bool isNoteOff() const { return type() == 0x80 || (type() == 0x90 && data2 == 0); }
};

// "90 3c 7f": the bytes in hex, lower case, space-separated.
std::string hexBytes(const MidiMessage& message);

}  // namespace spinlorex::midi
