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

std::unique_ptr<SoftMixOutput> SoftMixOutput::create(DeckPair& decks, const OutputPlan& plan,
                                                     std::unique_ptr<sound::SoundDevice> first,
                                                     std::unique_ptr<sound::SoundDevice> second,
                                                     sound::SoundError& error) {
    std::unique_ptr<SoftMixOutput> out(
        new SoftMixOutput(decks, std::move(first), std::move(second)));
    // The mix first: it is what is recorded and what tells the decks where they are heard.
    for (int o = 0; o < plan.outputCount; ++o) {
        const OutputRoute& route = plan.outputs[static_cast<size_t>(o)];
        sound::SoundDevice* device = out->devices_[static_cast<size_t>(route.card)].get();
        if (device == nullptr) continue;  // a second card that cannot be had is left out
        Programme& p = out->programmes_[static_cast<size_t>(out->programmeCount_++)];
        p.secondCard = route.card == 1;
        p.ring.reset(new (std::nothrow) int16_t[static_cast<size_t>(kBufferFrames) * 2]());
        p.buffer = device->createBuffer(kBufferFrames, error);
        if (!p.ring || !p.buffer) {
            if (!p.ring) error = sound::SoundError::OutOfMemory;
            return nullptr;
        }
        if (!p.buffer->setRoute(route.channels)) {
            error = sound::SoundError::Other;
            return nullptr;
        }
        if (route.feed == Feed::PreListen &&
            !out->previewLane_.create(*device, route.channels, error))
            return nullptr;
    }
    out->applyCrossfader(192);
    for (int i = 0; i < out->programmeCount_; ++i)
        out->programmes_[static_cast<size_t>(i)].buffer->play();
    error = sound::SoundError::None;
    return out;
}

SoftMixOutput::SoftMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> first,
                             std::unique_ptr<sound::SoundDevice> second)
    : OutputDevice(true), decks_(decks), devices_{std::move(first), std::move(second)} {
    for (auto& l : level_) l.store(256, relaxed);
}

SoftMixOutput::~SoftMixOutput() {
    for (Programme& p : programmes_)
        if (p.buffer) p.buffer->stop();
    for (Programme& p : programmes_) p.buffer.reset();
    previewLane_.release();
    for (auto& device : devices_) device.reset();
    releaseRecorders();
}

void SoftMixOutput::updateGain(int deck) {
    const auto d = static_cast<size_t>(deck);
    effectiveGain_[d].store(gain_[d].load(relaxed) * level_[d].load(relaxed), relaxed);
}

std::array<int32_t, 2> SoftMixOutput::gainsOf(int programme) const {
    if (programme == 0) return {effectiveGain_[0].load(relaxed), effectiveGain_[1].load(relaxed)};
    // The pre-listen: the selected deck at its own level, as if the crossfader were on it;
    // nothing while a preview takes its place.
    std::array<int32_t, 2> gains{};
    if (previewSounding_) return gains;
    const int s = selected_.load(relaxed);
    gains[static_cast<size_t>(s)] = 256 * level_[static_cast<size_t>(s)].load(relaxed);
    return gains;
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

void SoftMixOutput::deckSelected(int deck) {
    if (deck != 0 && deck != 1) return;
    OutputDevice::deckSelected(deck);
    selected_.store(deck, relaxed);
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
    for (int i = 0; i < programmeCount_; ++i) {
        Programme& p = programmes_[static_cast<size_t>(i)];
        int32_t play = 0;
        int32_t write = 0;
        p.cursorsRead = p.buffer->cursors(play, write);
        if (!p.cursorsRead) continue;
        p.writeCursor = write;
        // The recorder gets exactly what the device played of the mix since the last pass.
        if (i == 0) {
            if (SampleSink* recorder = recorderForPass()) {
                if (play > p.playCursor) {
                    recorder->write(&p.ring[static_cast<size_t>(p.playCursor) * 2],
                                    play - p.playCursor);
                } else if (play < p.playCursor) {
                    recorder->write(&p.ring[static_cast<size_t>(p.playCursor) * 2],
                                    kBufferFrames - p.playCursor);
                    recorder->write(p.ring.get(), play);
                }
            }
        }
        p.playCursor = play;
    }
    Programme& mix = programmes_[0];
    if (programmeCount_ > 1 && programmes_[1].secondCard && mix.cursorsRead &&
        programmes_[1].cursorsRead)
        clock_.update({mix.playCursor, mix.writeCursor, kBufferFrames},
                      {programmes_[1].playCursor, programmes_[1].writeCursor, kBufferFrames});

    // A failed query of the mix skips the whole pass. Until a pending resync has taken the
    // decks' play indexes, the mix ring's read points say nothing about what is heard (a
    // fresh device has never read them): reporting them would move the decks to a wrong place.
    if (!mix.cursorsRead || resync_.load(relaxed)) return;
    const int32_t queued = ringDistance(mix.mixWrite, mix.writeCursor, kBufferFrames);
    for (int d = 0; d < 2; ++d)
        if (running_[static_cast<size_t>(d)].load(relaxed))
            decks_[d].updateHeardPosition(
                ringDistance(mix.deckRead[static_cast<size_t>(d)] - queued, 0, kDeckRing));
}

void SoftMixOutput::mixFrames(Programme& p, const DeckPair& decks, int32_t n,
                              std::array<int32_t, 2> gains, bool deck1, bool deck2) {
    const int16_t* ring1 = decks[0].renderer().ring();
    const int16_t* ring2 = decks[1].renderer().ring();
    while (n > 0) {
        // Chunks that cross neither deck ring's end nor the mix ring's end.
        const int32_t run = std::min(
            {n, kBufferFrames - p.mixWrite, kDeckRing - p.deckRead[0], kDeckRing - p.deckRead[1]});
        int16_t* out = &p.ring[static_cast<size_t>(p.mixWrite) * 2];
        const int16_t* a = ring1 + static_cast<size_t>(p.deckRead[0]) * 2;
        const int16_t* b = ring2 + static_cast<size_t>(p.deckRead[1]) * 2;
        const int32_t samples = run * 2;
        if (deck1 && deck2) {
            const int32_t h1 = gains[0] >> 1;
            const int32_t h2 = gains[1] >> 1;
            for (int32_t i = 0; i < samples; ++i) out[i] = saturate((b[i] * h2 + a[i] * h1) >> 15);
        } else if (deck1 || deck2) {
            const int16_t* s = deck1 ? a : b;
            const int32_t g = deck1 ? gains[0] : gains[1];
            for (int32_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>((s[i] * g) >> 16);
        } else {
            std::memset(out, 0, static_cast<size_t>(samples) * 2);
        }
        // A silent or muted deck skips in step with the other.
        p.deckRead[0] = (p.deckRead[0] + run) % kDeckRing;
        p.deckRead[1] = (p.deckRead[1] + run) % kDeckRing;
        p.mixWrite = (p.mixWrite + run) % kBufferFrames;
        n -= run;
    }
}

void SoftMixOutput::place(Programme& p) {
    p.mixWrite = p.writeCursor;
    int32_t shift = 0;
    if (p.secondCard && clock_.running()) {
        shift = clock_.placement();
        p.placedOffset = clock_.offset();
    }
    for (int d = 0; d < 2; ++d) {
        // Never past what the deck has rendered, nor back into what its renderer may reuse.
        const int32_t heard = decks_[d].renderer().playIndex();
        const int32_t rendered = ringDistance(decks_[d].renderer().writeIndex(), heard, kDeckRing);
        p.deckRead[static_cast<size_t>(d)] = ringDistance(
            heard + std::clamp(shift, -DeckStream::kOutputKeepFree / 2, rendered), 0, kDeckRing);
    }
}

void SoftMixOutput::fill(Programme& p, int programme) {
    int32_t room = ringDistance(p.playCursor, p.mixWrite, kBufferFrames);
    if (room == 0) room = kBufferFrames;
    room -= 1;
    if (room < 1) return;
    const int32_t start = p.mixWrite;

    const std::array<int32_t, 2> gains = gainsOf(programme);
    const bool live1 = running_[0].load(relaxed) && gains[0] != 0;
    const bool live2 = running_[1].load(relaxed) && gains[1] != 0;
    int32_t n = room;
    if (live1 || live2) {
        const int32_t available1 =
            ringDistance(decks_[0].renderer().writeIndex(), p.deckRead[0], kDeckRing);
        const int32_t available2 =
            ringDistance(decks_[1].renderer().writeIndex(), p.deckRead[1], kDeckRing);
        if (live1) n = std::min(n, available1);
        if (live2) n = std::min(n, available2);
        if (n == 0) return;
    }
    mixFrames(p, decks_, n, gains, live1, live2);

    sound::SoundBuffer::Region region;
    if (!p.buffer->lock(start, n, region)) return;  // a failed lock skips the copy
    copyFromRing(region.first, p.ring.get(), kBufferFrames, start, region.firstFrames);
    if (region.second != nullptr)
        copyFromRing(region.second, p.ring.get(), kBufferFrames,
                     (start + region.firstFrames) % kBufferFrames, region.secondFrames);
    p.buffer->unlock(region);
}

void SoftMixOutput::endPass() {
    // A preview starting or ending switches the pre-listen at once, not half a second on.
    const bool sounding = decks_.preview().sounding();
    if (sounding != previewSounding_) {
        previewSounding_ = sounding;
        resync_.store(true, relaxed);
    }
    previewLane_.fill(decks_.preview());
    const bool resync = resync_.exchange(false, relaxed);
    for (int i = 0; i < programmeCount_; ++i) {
        Programme& p = programmes_[static_cast<size_t>(i)];
        if (resync) {
            place(p);
        } else if (p.secondCard && p.cursorsRead && clock_.running()) {
            // Drifted too far from the first card: placed again, the new audio fading in.
            const int64_t drift = clock_.offset() - p.placedOffset;
            if (drift > SecondCardClock::kRealignFrames ||
                drift < -SecondCardClock::kRealignFrames) {
                const int32_t queued = ringDistance(p.mixWrite, p.writeCursor, kBufferFrames);
                splice_.keep(*p.buffer, p.writeCursor, queued);
                place(p);
                fill(p, i);
                splice_.blend(*p.buffer, p.writeCursor,
                              ringDistance(p.mixWrite, p.writeCursor, kBufferFrames));
                continue;
            }
        }
        fill(p, i);
    }
}

}  // namespace spinlorex
