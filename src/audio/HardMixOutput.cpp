#include "audio/HardMixOutput.h"

#include <algorithm>

#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "audio/RingCopy.h"

namespace spinlorex {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int32_t kDeckRing = DeckStream::kOutputFrames;

int32_t wrapToRing(int64_t frame) {
    const auto r = static_cast<int32_t>(frame % kDeckRing);
    return r < 0 ? r + kDeckRing : r;
}
}  // namespace

std::unique_ptr<HardMixOutput> HardMixOutput::create(DeckPair& decks, const OutputPlan& plan,
                                                     std::unique_ptr<sound::SoundDevice> first,
                                                     std::unique_ptr<sound::SoundDevice> second,
                                                     sound::SoundError& error) {
    std::unique_ptr<HardMixOutput> out(
        new HardMixOutput(decks, std::move(first), std::move(second)));
    std::array<bool, 2> reported{};
    for (int o = 0; o < plan.outputCount; ++o) {
        const OutputRoute& route = plan.outputs[static_cast<size_t>(o)];
        sound::SoundDevice* device = out->devices_[static_cast<size_t>(route.card)].get();
        if (device == nullptr) continue;  // a second card that cannot be had is left out
        for (int d = 0; d < 2; ++d) {
            if ((route.feed == Feed::Deck1 && d != 0) || (route.feed == Feed::Deck2 && d != 1))
                continue;
            Lane& lane = out->lanes_[static_cast<size_t>(out->laneCount_++)];
            lane.feed = route.feed;
            lane.deck = d;
            lane.secondCard = route.card == 1;
            lane.reports = !reported[static_cast<size_t>(d)];
            reported[static_cast<size_t>(d)] = true;
            lane.buffer = device->createBuffer(kBufferFrames, error);
            if (!lane.buffer) return nullptr;
            if (!lane.buffer->setRoute(route.channels)) {
                error = sound::SoundError::Other;
                return nullptr;
            }
            int& clockLane = lane.secondCard ? out->secondClockLane_ : out->firstClockLane_;
            if (clockLane < 0) clockLane = out->laneCount_ - 1;
        }
        if (route.feed == Feed::PreListen &&
            !out->previewLane_.create(*device, route.channels, error))
            return nullptr;
    }
    out->applyCrossfader(192);
    for (int i = 0; i < out->laneCount_; ++i) out->lanes_[static_cast<size_t>(i)].buffer->play();
    error = sound::SoundError::None;
    return out;
}

HardMixOutput::HardMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> first,
                             std::unique_ptr<sound::SoundDevice> second)
    : OutputDevice(false), decks_(decks), devices_{std::move(first), std::move(second)} {
    for (auto& level : level_) level.store(256, relaxed);
}

HardMixOutput::~HardMixOutput() {
    for (Lane& lane : lanes_)
        if (lane.buffer) lane.buffer->stop();
    for (Lane& lane : lanes_) lane.buffer.reset();
    previewLane_.release();
    for (auto& device : devices_) device.reset();
    releaseRecorders();
}

int32_t HardMixOutput::gainOf(const Lane& lane) const {
    const auto d = static_cast<size_t>(lane.deck);
    switch (lane.feed) {
        case Feed::Mix:
            return gain_[d].load(relaxed);
        case Feed::PreListen:
            return selected_.load(relaxed) == lane.deck && !previewSounding_.load(relaxed) ? 256
                                                                                           : 0;
        default:
            return 256;
    }
}

void HardMixOutput::applyVolume(Lane& lane) {
    lane.buffer->setVolume(
        toHundredthsDb(gainOf(lane) * level_[static_cast<size_t>(lane.deck)].load(relaxed)));
}

int32_t HardMixOutput::volumeOf(Feed feed, int deck) const {
    for (int i = 0; i < laneCount_; ++i) {
        const Lane& lane = lanes_[static_cast<size_t>(i)];
        if (lane.feed == feed && lane.deck == deck) return lane.buffer->volume();
    }
    return sound::kMinVolume;
}

void HardMixOutput::applyDeckLevel(int deck, int32_t level) {
    level_[static_cast<size_t>(deck)].store(level, relaxed);
    for (int i = 0; i < laneCount_; ++i)
        if (lanes_[static_cast<size_t>(i)].deck == deck)
            applyVolume(lanes_[static_cast<size_t>(i)]);
}

void HardMixOutput::applyCrossfader(int32_t position) {
    const CrossfaderGains gains = crossfaderGains(position);
    gain_[0].store(gains.left, relaxed);
    gain_[1].store(gains.right, relaxed);
    for (int i = 0; i < laneCount_; ++i) applyVolume(lanes_[static_cast<size_t>(i)]);
}

void HardMixOutput::deckSelected(int deck) {
    if (deck != 0 && deck != 1) return;
    OutputDevice::deckSelected(deck);
    selected_.store(deck, relaxed);
    for (int i = 0; i < laneCount_; ++i)
        if (lanes_[static_cast<size_t>(i)].feed == Feed::PreListen)
            applyVolume(lanes_[static_cast<size_t>(i)]);
}

void HardMixOutput::beginPass() {
    for (int i = 0; i < laneCount_; ++i) {
        Lane& lane = lanes_[static_cast<size_t>(i)];
        int32_t play = 0;
        int32_t write = 0;
        lane.cursorsRead = lane.buffer->cursors(play, write);  // a lane that fails skips the pass
        if (!lane.cursorsRead) continue;
        lane.playCursor = play;
        lane.writeCursor = write;
    }
    bool clockRead = false;
    if (secondClockLane_ >= 0) {
        const Lane& first = lanes_[static_cast<size_t>(firstClockLane_)];
        const Lane& second = lanes_[static_cast<size_t>(secondClockLane_)];
        clockRead = first.cursorsRead && second.cursorsRead;
        if (clockRead)
            clock_.update({first.playCursor, first.writeCursor, kBufferFrames},
                          {second.playCursor, second.writeCursor, kBufferFrames});
    }
    for (int i = 0; i < laneCount_; ++i) {
        Lane& lane = lanes_[static_cast<size_t>(i)];
        if (!lane.cursorsRead || !running_[static_cast<size_t>(lane.deck)].load(relaxed)) continue;
        if (lane.secondCard) {
            if (!clockRead) continue;
            const int64_t drift = clock_.offset() - lane.placedOffset;
            if (drift > SecondCardClock::kRealignFrames || drift < -SecondCardClock::kRealignFrames)
                lane.realign = true;
        }
        if (!lane.reports) continue;
        if (lane.secondCard) {
            decks_[lane.deck].updateHeardPosition(
                wrapToRing(lane.heardBase + clock_.firstWritten()));
        } else {
            // What sits in the buffer between the write cursor and bufferWrite is queued.
            decks_[lane.deck].updateHeardPosition(
                ringDistance(lane.copiedTo - lane.bufferWrite + lane.writeCursor, 0, kDeckRing));
        }
    }
}

void HardMixOutput::copyToBuffer(Lane& lane, const int16_t* ring, int32_t from, int32_t at,
                                 int32_t frames) {
    sound::SoundBuffer::Region region;
    if (!lane.buffer->lock(at, frames, region)) return;  // a failed lock skips the copy
    copyFromRing(region.first, ring, kDeckRing, from, region.firstFrames);
    if (region.second != nullptr)
        copyFromRing(region.second, ring, kDeckRing, (from + region.firstFrames) % kDeckRing,
                     region.secondFrames);
    lane.buffer->unlock(region);
}

void HardMixOutput::copyPending(Lane& lane) {
    const DeckStream& stream = decks_[lane.deck];
    if (running_[static_cast<size_t>(lane.deck)].load(relaxed)) {
        const int32_t n = ringDistance(stream.renderer().writeIndex(), lane.copiedTo, kDeckRing);
        if (n > 0) {
            copyToBuffer(lane, stream.renderer().ring(), lane.copiedTo, lane.bufferWrite, n);
            lane.copiedTo = stream.renderer().writeIndex();
            lane.bufferWrite = (lane.bufferWrite + n) % kBufferFrames;
        }
    } else if (lane.silenceLeft > 0) {
        const int32_t n = std::min(ringDistance(lane.playCursor, lane.bufferWrite, kBufferFrames),
                                   lane.silenceLeft);
        if (n > 0) {
            copyToBuffer(lane, nullptr, 0, lane.bufferWrite, n);
            lane.bufferWrite = (lane.bufferWrite + n) % kBufferFrames;
            lane.silenceLeft -= n;
        }
    }
}

void HardMixOutput::place(Lane& lane) {
    const int32_t heard = decks_[lane.deck].renderer().playIndex();
    lane.bufferWrite = lane.writeCursor;
    lane.realign = false;
    if (!lane.secondCard || !clock_.running()) {
        lane.copiedTo = heard;
        if (lane.secondCard) lane.heardBase = heard;  // the clocks start together
        return;
    }
    // Never past what the deck has rendered, nor back into what its renderer may reuse.
    const int32_t rendered =
        ringDistance(decks_[lane.deck].renderer().writeIndex(), heard, kDeckRing);
    const int32_t shift =
        std::clamp(clock_.placement(), -DeckStream::kOutputKeepFree / 2, rendered);
    lane.copiedTo = wrapToRing(int64_t{heard} + shift);
    lane.placedOffset = clock_.offset();
    lane.heardBase = heard - clock_.firstWritten();
}

void HardMixOutput::realign(Lane& lane) {
    splice_.keep(*lane.buffer, lane.writeCursor,
                 ringDistance(lane.bufferWrite, lane.writeCursor, kBufferFrames));
    place(lane);
    copyPending(lane);
    splice_.blend(*lane.buffer, lane.writeCursor,
                  ringDistance(lane.bufferWrite, lane.writeCursor, kBufferFrames));
}

void HardMixOutput::endPass() {
    // The pre-listen's volumes are set every pass: a selection made on the main thread just
    // as a preview starts or ends cannot leave the wrong deck heard.
    previewSounding_.store(decks_.preview().sounding(), relaxed);
    for (int i = 0; i < laneCount_; ++i)
        if (lanes_[static_cast<size_t>(i)].feed == Feed::PreListen)
            applyVolume(lanes_[static_cast<size_t>(i)]);
    previewLane_.fill(decks_.preview());
    for (int i = 0; i < laneCount_; ++i) {
        Lane& lane = lanes_[static_cast<size_t>(i)];
        if (lane.realign && lane.cursorsRead &&
            running_[static_cast<size_t>(lane.deck)].load(relaxed))
            realign(lane);
        lane.realign = false;
        copyPending(lane);
    }
}

void HardMixOutput::resyncDeck(int deck) {
    // Called with -1 after the engine was rebuilt: every deck restarts.
    for (int i = 0; i < laneCount_; ++i) {
        Lane& lane = lanes_[static_cast<size_t>(i)];
        if (deck < 0 || lane.deck == deck) place(lane);
    }
    endPass();
}

void HardMixOutput::deckStarted(int deck) {
    running_[static_cast<size_t>(deck)].store(true, relaxed);
    resyncDeck(deck);
}

void HardMixOutput::deckStopped(int deck) {
    running_[static_cast<size_t>(deck)].store(false, relaxed);
    for (int i = 0; i < laneCount_; ++i)
        if (lanes_[static_cast<size_t>(i)].deck == deck)
            lanes_[static_cast<size_t>(i)].silenceLeft = kBufferFrames;
    resyncDeck(deck);
}

bool HardMixOutput::preview(int deck, int32_t index, int32_t frames) {
    if (running_[static_cast<size_t>(deck)].load(relaxed)) return false;
    const DeckStream& stream = decks_[deck];
    // Every output that carries the deck plays the stretch, at its own volume.
    for (int i = 0; i < laneCount_; ++i) {
        Lane& lane = lanes_[static_cast<size_t>(i)];
        if (lane.deck != deck) continue;
        const int32_t n = std::min(
            frames, ringDistance(stream.renderer().writeIndex(), lane.copiedTo, kDeckRing));
        if (n == 0) continue;
        lane.bufferWrite = lane.writeCursor;
        copyToBuffer(lane, stream.renderer().ring(), index, lane.bufferWrite, n);
        lane.bufferWrite = (lane.bufferWrite + n) % kBufferFrames;
        lane.silenceLeft = kBufferFrames;
    }
    return true;
}

bool HardMixOutput::isAudible(int deck) const {
    if (deck != 0 && deck != 1) return false;
    // The deck's first output is what the audience hears of it.
    for (int i = 0; i < laneCount_; ++i) {
        const Lane& lane = lanes_[static_cast<size_t>(i)];
        if (lane.deck == deck)
            return running_[static_cast<size_t>(deck)].load(relaxed) &&
                   level_[static_cast<size_t>(deck)].load(relaxed) * gainOf(lane) >= 100;
    }
    return false;
}

}  // namespace spinlorex
