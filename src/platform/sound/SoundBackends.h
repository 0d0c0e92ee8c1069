#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sound/SoundSystem.h"

// The concrete sound systems, for code that wants one backend in particular (tests, tools)
// rather than the one the environment chooses.
//
// Cursors per backend:
//  - portaudio: the write cursor runs 768 frames (17 ms) ahead of the first frame not
//    yet handed to the hardware, so that what is written there never meets what the
//    stream's callback is reading; the play cursor trails the frames handed over by the
//    stream's reported output latency (less while fewer frames than that have been
//    handed over since the buffer was created).
//  - null and wav: the play cursor is the clock: it moves by exactly the frames the clock
//    advanced while the buffer plays; the write cursor leads it by kNullWriteLatency
//    frames (half the buffer for buffers shorter than twice that). The frames between
//    the two are committed and mixed as the clock reaches them.

namespace spinlorex::sound {

class ClockHub;

// How far the PortAudio backend's write cursor runs ahead of the frames its callback is
// mixing: 17 ms.
inline constexpr int32_t kPortAudioWriteLead = 768;

// Distance from the play cursor to the write cursor on the null and WAV backends: 10 ms.
inline constexpr int32_t kNullWriteLatency = 441;

// A clock that is moved by hand instead of by wall time. Devices opened on a system built
// with it play only while advance() runs, which makes tests deterministic.
class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // Plays `frames` more frames on every open device of the systems built on this clock:
    // mixes them, and writes them to a WAV system's file, on the calling thread before it
    // returns. One thread at a time; it never waits on the thread that creates buffers.
    void advance(int64_t frames);
    int64_t elapsedFrames() const;

private:
    friend class ClockHub;
    struct State;
    std::unique_ptr<State> state_;
};

std::unique_ptr<SoundSystem> createPortAudioSystem();
// No sound. Without a clock the play cursor follows wall time, mixed every few
// milliseconds on a thread of the system.
std::unique_ptr<SoundSystem> createNullSystem(std::shared_ptr<ManualClock> clock = nullptr);
// The null system that also writes everything it plays, after volume and mixing, to a
// 44100 Hz 16-bit WAV file at `path`, with the channels of the first device opened on it.
// The file is created when that device is opened (open() fails with Other when it cannot
// be) and completed when the system and every device opened on it are gone; devices
// opened one after another continue the file, devices open at once are summed into it.
// A second device in the list, "wav: PATH-2" ("mix.wav" gives "mix-2.wav"), stands for a
// second sound card: it writes a file of its own on the same clock.
std::unique_ptr<SoundSystem> createWavSystem(const std::string& path,
                                             std::shared_ptr<ManualClock> clock = nullptr);

}  // namespace spinlorex::sound
