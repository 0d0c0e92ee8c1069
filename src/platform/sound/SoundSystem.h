#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Sound output as the audio engine needs it: output devices of two or four channels, each
// offering looping buffers of stereo 16-bit frames at 44100 Hz with a play cursor and a
// write cursor, lockable regions, a volume in hundredths of a decibel and a route to the
// device's channels. The backend mixes every playing buffer of a device at its volume into
// the channels of its route and moves the cursors as the hardware consumes the audio.
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
    int32_t channels = 2;  // output channels the device offers at most
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
// Channels a device may be opened with.
inline constexpr int32_t kMaxChannels = 4;

// Where a buffer's stereo frames are heard among its device's channels (counted from 0):
// left on `first` and right on the next one, or, when `mono`, both at half level on `first`
// alone (one side of a stereo card for each of two programmes).
struct ChannelRoute {
    int32_t first = 0;
    bool mono = false;
    bool operator==(const ChannelRoute&) const = default;
};

// A looping buffer of stereo 16-bit frames. A buffer may outlive its device: it then
// reports the device as lost (cursors() and lock() fail) and can still be destroyed.
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
    // Makes `frames` frames from `offset` writable (0 <= offset < size, 0 < frames <= size).
    // False for a region outside the buffer or a lost device.
    virtual bool lock(int32_t offset, int32_t frames, Region& region) = 0;
    // Hands what was written in the region to the mixer.
    virtual void unlock(const Region& region) = 0;
    // -10000 (silence) .. 0 (full); false, and the volume unchanged, outside that range.
    virtual bool setVolume(int32_t hundredthsOfDb) = 0;
    virtual int32_t volume() const = 0;
    // Starts looping playback from the current play cursor / stops it (cursors stay).
    virtual bool play() = 0;
    virtual bool stop() = 0;
    // Sends the buffer to other channels of its device (left and right on 0 and 1 until
    // then); false, and the route unchanged, when the device lacks those channels.
    virtual bool setRoute(ChannelRoute route) = 0;
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // Sets the device's format to 44100 Hz, 16 bits on the channels it was opened with and
    // starts its output. Every backend already runs in that format from open() on; this
    // reports a lost device.
    virtual SoundError setPrimaryFormat() = 0;
    // The channels the device was opened with (2 or 4).
    virtual int32_t channels() const = 0;
    // A new looping buffer of `frames` frames (1 .. kMaxBufferFrames), silent, stopped, at
    // full volume; at most kMaxBuffersPerDevice exist at once on a device.
    virtual std::unique_ptr<SoundBuffer> createBuffer(int32_t frames, SoundError& error) = 0;
};

inline constexpr int32_t kMaxBufferFrames = 1 << 24;  // about six minutes
inline constexpr int kMaxBuffersPerDevice = 16;

// One way of making sound (PortAudio, none, a WAV file).
class SoundSystem {
public:
    virtual ~SoundSystem() = default;

    // "portaudio", "null" or "wav".
    virtual const char* backendName() const = 0;
    // Output devices, the default one marked. When there is any device, the first entry has
    // no identifier and stands for the system's default device, whichever that is at open().
    virtual std::vector<DeviceInfo> devices() = 0;
    // The device with this identifier, or the default device for none, with `channels`
    // output channels (2 or 4; a device that offers fewer fails with Other). `exclusive`:
    // use it alone (another program then finds it busy) rather than share it.
    virtual std::unique_ptr<SoundDevice> open(const std::optional<DeviceId>& id, int32_t channels,
                                              bool exclusive, SoundError& error) = 0;
};

// The sound system the environment asks for: SPINLOREX_AUDIO=portaudio (default), null,
// or wav:PATH. Null when the request names no known backend.
std::unique_ptr<SoundSystem> soundSystemFromEnvironment();
// The same for a choice given as text ("" = portaudio).
std::unique_ptr<SoundSystem> soundSystemFromChoice(std::string_view choice);

// Hex text of an identifier (32 lowercase digits), and back (none for anything else).
std::string toHex(const DeviceId& id);
std::optional<DeviceId> deviceIdFromHex(std::string_view text);
// The identifier of a device: a hash of its host API's name and its own name, stable
// across runs and machines, so that a stored identifier finds the same device again.
DeviceId deviceIdFor(std::string_view hostApi, std::string_view name);

}  // namespace spinlorex::sound
