#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Sound output as the audio engine needs it: output devices, each offering looping buffers
// of stereo 16-bit frames at 44100 Hz with a play cursor and a write cursor, lockable
// regions and a volume in hundredths of a decibel. The backend mixes every playing buffer
// of a device at its volume and moves the cursors as the hardware consumes the audio.
//
// Threads: devices and buffers are created and destroyed on the main thread. The sound
// thread queries cursors, locks, writes and unlocks; the main thread sets volumes and
// starts and stops buffers. None of these allocate, block or wait once a buffer exists.
// The backend's own mixing runs on its own thread (or, for the manual clock, on the
// thread that advances the clock) and touches only the buffers.

namespace spinlorex::sound {

using DeviceId = std::array<uint8_t, 16>;

struct DeviceInfo {
    std::string description;
    std::optional<DeviceId> id;  // none: the system's default device
    bool isDefault = false;
};

// Why an operation failed, as the engine reports it to the user.
enum class SoundError {
    None,
    OutOfMemory,  // "not enough memory"
    Busy,         // the device is used exclusively by another program
    Other,        // anything else
};

inline constexpr int32_t kSampleRate = 44100;
inline constexpr int32_t kMinVolume = -10000;  // hundredths of a decibel: silence
inline constexpr int32_t kMaxVolume = 0;

// A looping buffer of stereo 16-bit frames.
class SoundBuffer {
public:
    // The locked part of the buffer: one piece, or two when the region wraps.
    struct Region {
        int16_t* first = nullptr;
        int32_t firstFrames = 0;
        int16_t* second = nullptr;
        int32_t secondFrames = 0;
    };

    virtual ~SoundBuffer() = default;

    virtual int32_t frames() const = 0;
    // play: the frame being heard; write: the first frame not yet handed to the hardware
    // (the region from play to write must not be changed). False when they cannot be read
    // (for example the device was lost).
    virtual bool cursors(int32_t& play, int32_t& write) = 0;
    // Makes `frames` frames from `offset` writable (0 < frames <= size).
    virtual bool lock(int32_t offset, int32_t frames, Region& region) = 0;
    virtual void unlock(const Region& region) = 0;
    // -10000 (silence) .. 0 (full).
    virtual bool setVolume(int32_t hundredthsOfDb) = 0;
    // Starts looping playback from the current play cursor / stops it (cursors stay).
    virtual bool play() = 0;
    virtual bool stop() = 0;
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // Sets the device's format to 44100 Hz, 2 channels, 16 bits and starts its output.
    virtual SoundError setPrimaryFormat() = 0;
    // A new looping buffer of `frames` frames, silent, stopped, at full volume.
    virtual std::unique_ptr<SoundBuffer> createBuffer(int32_t frames, SoundError& error) = 0;
};

// One way of making sound (PortAudio, none, a WAV file).
class SoundSystem {
public:
    virtual ~SoundSystem() = default;

    // Output devices, the default one marked.
    virtual std::vector<DeviceInfo> devices() = 0;
    // The device with this identifier, or the default device for none. `exclusive`: use
    // it alone (another program then finds it busy) rather than share it.
    virtual std::unique_ptr<SoundDevice> open(const std::optional<DeviceId>& id, bool exclusive,
                                              SoundError& error) = 0;
};

// The sound system the environment asks for: SPINLOREX_AUDIO=portaudio (default), null,
// or wav:PATH. Null when the request names no known backend.
std::unique_ptr<SoundSystem> soundSystemFromEnvironment();

// Hex text of an identifier (32 lowercase digits).
std::string toHex(const DeviceId& id);

}  // namespace spinlorex::sound
