#include "audio/DeckRenderer.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/DeckDecoder.h"
#include "audio/DspHook.h"
#include "audio/PitchRender.h"
#include "audio/RingCopy.h"
#include "audio/StudioStretch.h"

namespace spinlorex {
namespace {

// Source frames one pass reads at `pitch`.
int32_t renderSpanFor(int32_t pitch) {
    return std::max(3600, pitch * kRenderFrames / kNormalPitch) + 2246;
}

void copyFrames(int16_t* to, const int16_t* from, int32_t frames) {
    std::memcpy(to, from, static_cast<size_t>(frames) * kBytesPerFrame);
}

}  // namespace

// The scratch holds one source span at the highest pitch, and the frames before it that
// varispeed reads.
DeckRenderer::DeckRenderer(DeckDecoder& decoder, int32_t highestPitch)
    : decoder_(decoder),
      ring_(new int16_t[(kOutputFrames + kOverflowFrames) * 2]()),
      tail_(new int16_t[kCrossfadeFrames * 2]()),
      scratch_(
          new int16_t[static_cast<size_t>(kVarispeedHistory + renderSpanFor(highestPitch)) * 2]()),
      studio_(std::make_unique<StudioStretch>()) {}

DeckRenderer::~DeckRenderer() = default;

void DeckRenderer::setPitch(int32_t pitch) { span_ = renderSpanFor(pitch); }

void DeckRenderer::restart(bool playing) {
    if (playing)
        keepHeardTail();
    else
        std::memset(tail_.get(), 0, kCrossfadeFrames * kBytesPerFrame);
    readIndex_ = decoder_.heardIndex();
    writeIndex_ = playIndex_;
    unwrittenFrames_ = kOutputFrames;
    effectInputFrames_ = 0;
    varispeedPhase_ = 0;
    tempoPhase_ = 0;
    studioStyle_ = {};
    fadeFromTail_ = true;
}

void DeckRenderer::keepHeardTail() {
    const int32_t rendered = std::min(lead(), kCrossfadeFrames);
    copyFromRing(tail_.get(), ring_.get(), kOutputFrames, playIndex_, rendered);
    // Past what is rendered the ring holds older audio, which would click: the last frame
    // heard fades out instead.
    const int32_t lastAt = ringDistance(playIndex_ + rendered - 1, 0, kOutputFrames);
    const int32_t fade = kCrossfadeFrames - rendered;
    for (int32_t k = 0; k < fade; ++k) {
        for (int32_t c = 0; c < 2; ++c) {
            tail_[static_cast<size_t>(2 * (rendered + k) + c)] = static_cast<int16_t>(
                ring_[static_cast<size_t>(2 * lastAt + c)] * (fade - k) / (fade + 1));
        }
    }
}

bool DeckRenderer::renderPass(int32_t pitch, bool masterTempo, bool high, int32_t keyShift) {
    // Room: keep a quarter of the ring free, more when an effect may lengthen the chunk.
    int32_t free = ringDistance(playIndex_, writeIndex_, kOutputFrames);
    if (free == 0) free = kOutputFrames;
    if (free <= kOutputKeepFree + (effect_ != nullptr ? kRenderFrames : 0)) return false;

    int16_t* out = &ring_[static_cast<size_t>(writeIndex_) * 2];
    int32_t count = kRenderFrames;
    int32_t consumed = 0;
    if (keyShift != 0 || (masterTempo && high)) {
        if (!renderStudio(out, pitch, masterTempo, keyShift, consumed)) return false;
    } else {
        // Source: span decoded frames ahead of the read point.
        while (decoder_.framesAhead(readIndex_) < span_) {
            if (!decoder_.decodeAhead()) return false;
        }
        // Varispeed also reads a few frames before the read point: those the ring holds
        // there.
        const int16_t* src = decoder_.source(readIndex_, span_, kVarispeedHistory, scratch_.get());
        if (!masterTempo) {
            consumed = renderVarispeed(src, out, kRenderFrames, pitch, varispeedPhase_);
        } else {
            const MasterTempoChunk chunk =
                renderMasterTempo(tail_.get(), src, out, pitch, tempoPhase_);
            count = chunk.frames;
            consumed = chunk.consumed;
        }
        studioStyle_ = {};  // back in the studio, the stretcher starts afresh
    }
    fadeFromTail_ = false;

    commit(count);
    readIndex_ += consumed;
    if (readIndex_ >= DeckDecoder::kFrames) readIndex_ -= DeckDecoder::kFrames;
    return true;
}

void DeckRenderer::commit(int32_t count) {
    if (effect_ != nullptr) {
        effectInputFrames_ += count;
        // Every chunk goes through the effect: one skipped would be heard dry. An effect
        // being replaced is still safe to call here: its caller destroys it only after
        // this thread has served the switch, so after this pass.
        const int32_t returned = effect_->modifySamples(writePoint(), count);
        // Never past the overflow space, whatever the effect claims.
        count = std::clamp(returned, 0, kOutputFrames + kOverflowFrames - writeIndex_);
    }

    unwrittenFrames_ = std::max(0, unwrittenFrames_ - count);
    writeIndex_ += count;
    if (writeIndex_ >= kOutputFrames) {
        writeIndex_ -= kOutputFrames;
        copyFrames(ring_.get(), &ring_[static_cast<size_t>(kOutputFrames) * 2], writeIndex_);
    }
}

bool DeckRenderer::renderStudio(int16_t* out, int32_t pitch, bool keepKey, int32_t keyShift,
                                int32_t& consumed) {
    const StudioStyle style{pitch, keepKey, keyShift};
    const bool restyled = style != studioStyle_;
    if (restyled) {
        studio_->restart(pitch, keepKey, keyShift);
        studioStyle_ = style;
        studioStart_ = readIndex_;
    }
    // The first chunk after a restart or a change is heard at once: it is rendered whole.
    // Then one step in this deck's passes, so that a pass costs at most one channel's hop
    // (the steps run about three times faster than the deck plays).
    const bool whole = turns_ == nullptr || restyled || fadeFromTail_;
    if (whole || turns_->turnOf(deck_)) {
        while (studio_->ready() < kRenderFrames) {
            if (!stepStudio()) return false;
            if (!whole) break;
        }
    }
    if (studio_->ready() < kRenderFrames) return false;
    studio_->take(out, kRenderFrames);
    if (fadeFromTail_) {
        // After a restart: from what was heard into the new rendering, as master tempo does.
        for (int32_t k = 0; k < kCrossfadeFrames; ++k) {
            for (int32_t c = 0; c < 2; ++c) {
                const int32_t mixed =
                    tail_[static_cast<size_t>(2 * k + c)] * (kCrossfadeFrames - k) +
                    out[2 * k + c] * k;
                out[2 * k + c] = static_cast<int16_t>(mixed / kCrossfadeFrames);
            }
        }
    }
    // Every frame out stands for pitch / 4096 source frames.
    const int64_t acc = tempoPhase_ + static_cast<int64_t>(kRenderFrames) * pitch;
    tempoPhase_ = static_cast<int32_t>(acc % kNormalPitch);
    consumed = static_cast<int32_t>(acc / kNormalPitch);
    return true;
}

bool DeckRenderer::stepStudio() {
    const StudioStretch::Step step = studio_->nextStep();
    const auto from = static_cast<int32_t>((studioStart_ + step.offset) % DeckDecoder::kFrames);
    while (decoder_.framesAhead(from) < step.frames) {
        if (!decoder_.decodeAhead()) return false;
    }
    studio_->step(decoder_.source(from, step.frames, 0, scratch_.get()));
    return true;
}

int32_t DeckRenderer::lead() const { return ringDistance(writeIndex_, playIndex_, kOutputFrames); }

int32_t DeckRenderer::heardAt(int32_t newIndex, int32_t pitch) {
    int32_t lead = ringDistance(writeIndex_, newIndex, kOutputFrames);
    if (effect_ != nullptr) {
        // The lead is in the effect's output frames; turn it back into source frames.
        const int32_t heard = ringDistance(newIndex, playIndex_, kOutputFrames);
        const int32_t span = heard + lead;
        if (span >= 4) {
            lead = static_cast<int32_t>(static_cast<int64_t>(lead / 4) * effectInputFrames_ /
                                        (span / 4));
            effectInputFrames_ = lead;
        }
    }
    int32_t k = readIndex_ - static_cast<int32_t>((static_cast<int64_t>(pitch) * lead) >> 12);
    while (k < 0) k += DeckDecoder::kFrames;
    playIndex_ = newIndex;
    return k;
}

// Frames behind the heard point that the ring still holds, plus one.
int32_t DeckRenderer::roomBehind() const {
    const int32_t room = ringDistance(playIndex_, writeIndex_, kOutputFrames);
    return room == 0 ? kOutputFrames : room;
}

void DeckRenderer::moveBackward(int32_t frames, int32_t room, bool fillUnwritten) {
    frames = std::max(frames, -room);
    const int32_t from = ringDistance(playIndex_ + frames, 0, kOutputFrames);
    playIndex_ = from;
    if (fillUnwritten && room + frames < unwrittenFrames_) {
        // Frames never written since the last restart would replay stale audio: silence.
        int32_t count = unwrittenFrames_ - (room + frames);
        int32_t at = from;
        while (count > 0) {
            const int32_t run = std::min(count, kOutputFrames - at);
            std::memset(&ring_[static_cast<size_t>(at) * 2], 0,
                        static_cast<size_t>(run) * kBytesPerFrame);
            count -= run;
            at = 0;
        }
    }
}

void DeckRenderer::moveForward(int32_t frames) {
    frames = std::min(frames, ringDistance(writeIndex_, playIndex_, kOutputFrames));
    playIndex_ = (playIndex_ + frames) % kOutputFrames;
}

bool DeckRenderer::shift(int32_t frames) {
    if (frames < 0) {
        const int32_t room = roomBehind() - 1;
        if (room < 1) return false;
        moveBackward(frames, room, true);
    } else if (frames >= 1) {
        moveForward(frames);
    } else {
        return false;
    }
    return true;
}

bool DeckRenderer::nudge(int32_t frames) {
    const int32_t before = playIndex_;
    if (frames < 0) {
        const int32_t room = roomBehind() - (unwrittenFrames_ + 1);
        if (room < 1) return false;
        moveBackward(frames, room, false);
    } else if (frames >= 1) {
        moveForward(frames);
    }
    return playIndex_ != before;
}

}  // namespace spinlorex
