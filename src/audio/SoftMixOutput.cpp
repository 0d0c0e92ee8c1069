#include "audio/SoftMixOutput.h"

#include <algorithm>
#include <cstring>

#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "audio/RingCopy.h"

namespace spinlorex {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int32_t kDeckRing = DeckStream::kOutputFrames;

int16_t saturate(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }
}  // namespace

std::unique_ptr<SoftMixOutput> SoftMixOutput::create(DeckPair& decks,
                                                     std::unique_ptr<sound::SoundDevice> device,
                                                     sound::SoundError& error) {
    std::unique_ptr<SoftMixOutput> out(new SoftMixOutput(decks, std::move(device)));
    out->buffer_ = out->device_->createBuffer(kBufferFrames, error);
    if (!out->buffer_) return nullptr;
    out->applyCrossfader(192);
    out->buffer_->play();
    error = sound::SoundError::None;
    return out;
}

SoftMixOutput::SoftMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> device)
    : OutputDevice(true),
      decks_(decks),
      device_(std::move(device)),
      mix_(new int16_t[static_cast<size_t>(kBufferFrames) * 2]()) {
    for (auto& l : level_) l.store(256, relaxed);
}

SoftMixOutput::~SoftMixOutput() {
    if (buffer_) buffer_->stop();
    buffer_.reset();
    device_.reset();
    releaseRecorders();
}

void SoftMixOutput::updateGain(int deck) {
    const auto d = static_cast<size_t>(deck);
    effectiveGain_[d].store(gain_[d].load(relaxed) * level_[d].load(relaxed), relaxed);
}

void SoftMixOutput::applyDeckLevel(int deck, int32_t level) {
    level_[static_cast<size_t>(deck)].store(level, relaxed);
    updateGain(deck);
    resync_.store(true, relaxed);
}

void SoftMixOutput::applyCrossfader(int32_t position) {
    const CrossfaderGains gains = crossfaderGains(position);
    gain_[0].store(gains.left, relaxed);
    gain_[1].store(gains.right, relaxed);
    updateGain(0);
    updateGain(1);
    resync_.store(true, relaxed);
}

void SoftMixOutput::resyncDeck(int) { resync_.store(true, relaxed); }

void SoftMixOutput::deckStarted(int deck) {
    running_[static_cast<size_t>(deck)].store(true, relaxed);
    resync_.store(true, relaxed);
}

void SoftMixOutput::deckStopped(int deck) {
    running_[static_cast<size_t>(deck)].store(false, relaxed);
    resync_.store(true, relaxed);
}

bool SoftMixOutput::isAudible(int deck) const {
    if (deck != 0 && deck != 1) return false;
    const auto d = static_cast<size_t>(deck);
    return running_[d].load(relaxed) && effectiveGain_[d].load(relaxed) >= 100;
}

void SoftMixOutput::beginPass() {
    int32_t play = 0;
    int32_t write = 0;
    if (!buffer_->cursors(play, write)) return;  // the whole pass is skipped
    writeCursor_ = write;

    // The recorder gets exactly what the device played since the last pass.
    if (SampleSink* recorder = recorderForPass()) {
        if (play > playCursor_) {
            recorder->write(&mix_[static_cast<size_t>(playCursor_) * 2], play - playCursor_);
        } else if (play < playCursor_) {
            recorder->write(&mix_[static_cast<size_t>(playCursor_) * 2], kBufferFrames - playCursor_);
            recorder->write(mix_.get(), play);
        }
    }
    playCursor_ = play;

    // Until a pending resync has taken the decks' play indexes, the mix ring's read points
    // say nothing about what is heard (a fresh device has never read them): reporting
    // them would move the decks to a wrong place.
    if (resync_.load(relaxed)) return;
    const int32_t queued = ringDistance(mixWrite_, writeCursor_, kBufferFrames);
    for (int d = 0; d < 2; ++d)
        if (running_[static_cast<size_t>(d)].load(relaxed))
            decks_[d].updateHeardPosition(ringDistance(deckRead_[static_cast<size_t>(d)] - queued, 0, kDeckRing));
}

void SoftMixOutput::mixFrames(int32_t n, bool deck1, bool deck2) {
    const int32_t g1 = effectiveGain_[0].load(relaxed);
    const int32_t g2 = effectiveGain_[1].load(relaxed);
    const int16_t* ring1 = decks_[0].outputRing();
    const int16_t* ring2 = decks_[1].outputRing();
    while (n > 0) {
        // Chunks that cross neither deck ring's end nor the mix ring's end.
        const int32_t run = std::min({n, kBufferFrames - mixWrite_, kDeckRing - deckRead_[0],
                                      kDeckRing - deckRead_[1]});
        int16_t* out = &mix_[static_cast<size_t>(mixWrite_) * 2];
        const int16_t* a = ring1 + static_cast<size_t>(deckRead_[0]) * 2;
        const int16_t* b = ring2 + static_cast<size_t>(deckRead_[1]) * 2;
        const int32_t samples = run * 2;
        if (deck1 && deck2) {
            const int32_t h1 = g1 >> 1;
            const int32_t h2 = g2 >> 1;
            for (int32_t i = 0; i < samples; ++i) out[i] = saturate((b[i] * h2 + a[i] * h1) >> 15);
        } else if (deck1 || deck2) {
            const int16_t* s = deck1 ? a : b;
            const int32_t g = deck1 ? g1 : g2;
            for (int32_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>((s[i] * g) >> 16);
        } else {
            std::memset(out, 0, static_cast<size_t>(samples) * 2);
        }
        // A silent or muted deck skips in step with the other.
        deckRead_[0] = (deckRead_[0] + run) % kDeckRing;
        deckRead_[1] = (deckRead_[1] + run) % kDeckRing;
        mixWrite_ = (mixWrite_ + run) % kBufferFrames;
        n -= run;
    }
}

void SoftMixOutput::endPass() {
    if (resync_.exchange(false, relaxed)) {
        deckRead_[0] = decks_[0].outputPlayIndex();
        deckRead_[1] = decks_[1].outputPlayIndex();
        mixWrite_ = writeCursor_;
    }
    int32_t room = ringDistance(playCursor_, mixWrite_, kBufferFrames);
    if (room == 0) room = kBufferFrames;
    room -= 1;
    if (room < 1) return;
    const int32_t start = mixWrite_;

    const bool live1 = running_[0].load(relaxed) && effectiveGain_[0].load(relaxed) != 0;
    const bool live2 = running_[1].load(relaxed) && effectiveGain_[1].load(relaxed) != 0;
    int32_t n = room;
    if (live1 || live2) {
        const int32_t available1 = ringDistance(decks_[0].outputWriteIndex(), deckRead_[0], kDeckRing);
        const int32_t available2 = ringDistance(decks_[1].outputWriteIndex(), deckRead_[1], kDeckRing);
        if (live1) n = std::min(n, available1);
        if (live2) n = std::min(n, available2);
        if (n == 0) return;
    }
    mixFrames(n, live1, live2);

    sound::SoundBuffer::Region region;
    if (!buffer_->lock(start, n, region)) return;  // a failed lock skips the copy
    copyFromRing(region.first, mix_.get(), kBufferFrames, start, region.firstFrames);
    if (region.second != nullptr)
        copyFromRing(region.second, mix_.get(), kBufferFrames, (start + region.firstFrames) % kBufferFrames,
                     region.secondFrames);
    buffer_->unlock(region);
}

}  // namespace spinlorex
