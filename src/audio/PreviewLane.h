#pragma once

#include <cstdint>
#include <memory>

#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class PreviewPlayer;

// The preview's own looping buffer on the pre-listen's channels, beside whatever the
// output plays there. It carries the preview player's frames while a preview sounds and
// silence otherwise; a new preview, or its stop, starts over at the write cursor so that it
// is heard (or gone) within the device's latency.
class PreviewLane {
public:
    static constexpr int32_t kBufferFrames = 22050;
    // Silence kept ahead of the write cursor while the preview has nothing yet (~23 ms).
    static constexpr int32_t kStarvedLead = 1024;

    // Main thread: the buffer on `device`'s `channels`, playing silence. False (with
    // `error` set) when it cannot be made.
    bool create(sound::SoundDevice& device, const sound::ChannelRoute& channels,
                sound::SoundError& error);
    // Main thread, before the device goes.
    void release();

    // Sound thread, once a pass: writes what the player has (or silence) ahead of the
    // write cursor. No allocation, lock or wait.
    void fill(PreviewPlayer& player);

private:
    std::unique_ptr<sound::SoundBuffer> buffer_;
    int32_t write_ = 0;
    uint32_t generation_ = 0;
    int32_t silenceLeft_ = 0;  // silent frames still to write over an ended preview
};

}  // namespace spinlorex
