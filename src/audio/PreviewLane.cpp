#include "audio/PreviewLane.h"

#include <algorithm>
#include <cstring>

#include "audio/PreviewPlayer.h"
#include "audio/RingCopy.h"

namespace spinlorex {

bool PreviewLane::create(sound::SoundDevice& device, const sound::ChannelRoute& channels,
                         sound::SoundError& error) {
    buffer_ = device.createBuffer(kBufferFrames, error);
    if (!buffer_) return false;
    if (!buffer_->setRoute(channels)) {
        buffer_.reset();
        error = sound::SoundError::Other;
        return false;
    }
    buffer_->play();
    return true;
}

void PreviewLane::release() {
    if (buffer_) buffer_->stop();
    buffer_.reset();
}

void PreviewLane::fill(PreviewPlayer& player) {
    if (!buffer_) return;
    int32_t play = 0;
    int32_t write = 0;
    if (!buffer_->cursors(play, write)) return;
    const uint32_t generation = player.generation();
    // A new preview or a stop starts over at the write cursor, as does a lane that fell
    // behind it (the worker could not keep up).
    if (generation != generation_ ||
        ringDistance(write_, play, kBufferFrames) < ringDistance(write, play, kBufferFrames)) {
        generation_ = generation;
        write_ = write;
        silenceLeft_ = kBufferFrames;
    }
    int32_t room = ringDistance(play, write_, kBufferFrames);
    if (room == 0) room = kBufferFrames;
    const bool sounding = player.sounding();
    bool silence = !sounding;
    int32_t frames = sounding ? player.available() : silenceLeft_;
    if (sounding && frames == 0) {
        // Starved (a new preview still seeking, a slow disk): a little silence ahead of the
        // write cursor, so that nothing written before is heard again.
        frames = std::max(0, kStarvedLead - ringDistance(write_, write, kBufferFrames));
        silence = true;
    }
    const int32_t n = std::min(room - 1, frames);
    if (n <= 0) return;
    sound::SoundBuffer::Region region;
    if (!buffer_->lock(write_, n, region)) return;
    if (silence) {
        std::memset(region.first, 0, static_cast<size_t>(region.firstFrames) * 4);
        if (region.second != nullptr)
            std::memset(region.second, 0, static_cast<size_t>(region.secondFrames) * 4);
        if (!sounding) silenceLeft_ -= n;
    } else {
        player.take(region.first, region.firstFrames);
        if (region.second != nullptr) player.take(region.second, region.secondFrames);
        silenceLeft_ = kBufferFrames;
    }
    buffer_->unlock(region);
    write_ = (write_ + n) % kBufferFrames;
}

}  // namespace spinlorex
