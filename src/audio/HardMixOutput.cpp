#include "audio/HardMixOutput.h"

#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "audio/RingCopy.h"

namespace spinlorex {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr int32_t kDeckRing = DeckStream::kOutputFrames;
}  // namespace

std::unique_ptr<HardMixOutput> HardMixOutput::create(DeckPair& decks,
                                                     std::unique_ptr<sound::SoundDevice> device,
                                                     sound::SoundError& error) {
    std::unique_ptr<HardMixOutput> out(new HardMixOutput(decks, std::move(device)));
    for (Channel& c : out->channels_) {
        c.buffer = out->device_->createBuffer(kBufferFrames, error);
        if (!c.buffer) return nullptr;
    }
    out->applyCrossfader(192);
    for (Channel& c : out->channels_) c.buffer->play();
    error = sound::SoundError::None;
    return out;
}

HardMixOutput::HardMixOutput(DeckPair& decks, std::unique_ptr<sound::SoundDevice> device)
    : OutputDevice(false), decks_(decks), device_(std::move(device)) {}

HardMixOutput::~HardMixOutput() {
    for (Channel& c : channels_)
        if (c.buffer) c.buffer->stop();
    for (Channel& c : channels_) c.buffer.reset();
    device_.reset();
    releaseRecorders();
}

void HardMixOutput::applyVolume(int deck) {
    Channel& c = channels_[static_cast<size_t>(deck)];
    if (c.buffer) c.buffer->setVolume(toHundredthsDb(c.gain.load(relaxed) * c.level.load(relaxed)));
}

void HardMixOutput::applyDeckLevel(int deck, int32_t level) {
    channels_[static_cast<size_t>(deck)].level.store(level, relaxed);
    applyVolume(deck);
}

void HardMixOutput::applyCrossfader(int32_t position) {
    const CrossfaderGains gains = crossfaderGains(position);
    channels_[0].gain.store(gains.left, relaxed);
    channels_[1].gain.store(gains.right, relaxed);
    applyVolume(0);
    applyVolume(1);
}

void HardMixOutput::beginPass() {
    for (int d = 0; d < 2; ++d) {
        Channel& c = channels_[static_cast<size_t>(d)];
        int32_t play = 0;
        int32_t write = 0;
        if (!c.buffer->cursors(play, write)) continue;  // this deck skips the pass
        c.playCursor = play;
        c.writeCursor = write;
        if (c.running.load(relaxed)) {
            // What sits in the buffer between the write cursor and bufferWrite is queued.
            const int32_t heard = ringDistance(c.copiedTo - c.bufferWrite + c.writeCursor, 0, kDeckRing);
            decks_[d].updateHeardPosition(heard);
        }
    }
}

void HardMixOutput::copyToBuffer(int deck, const int16_t* ring, int32_t from, int32_t at, int32_t frames) {
    sound::SoundBuffer::Region region;
    Channel& c = channels_[static_cast<size_t>(deck)];
    if (!c.buffer->lock(at, frames, region)) return;  // a failed lock skips the copy
    copyFromRing(region.first, ring, kDeckRing, from, region.firstFrames);
    if (region.second != nullptr)
        copyFromRing(region.second, ring, kDeckRing, (from + region.firstFrames) % kDeckRing,
                     region.secondFrames);
    c.buffer->unlock(region);
}

void HardMixOutput::copyPending(int deck) {
    Channel& c = channels_[static_cast<size_t>(deck)];
    const DeckStream& stream = decks_[deck];
    if (c.running.load(relaxed)) {
        const int32_t n = ringDistance(stream.outputWriteIndex(), c.copiedTo, kDeckRing);
        if (n > 0) {
            copyToBuffer(deck, stream.outputRing(), c.copiedTo, c.bufferWrite, n);
            c.copiedTo = stream.outputWriteIndex();
            c.bufferWrite = (c.bufferWrite + n) % kBufferFrames;
        }
    } else if (c.silenceLeft > 0) {
        const int32_t n = std::min(ringDistance(c.playCursor, c.bufferWrite, kBufferFrames), c.silenceLeft);
        if (n > 0) {
            copyToBuffer(deck, nullptr, 0, c.bufferWrite, n);
            c.bufferWrite = (c.bufferWrite + n) % kBufferFrames;
            c.silenceLeft -= n;
        }
    }
}

void HardMixOutput::endPass() {
    copyPending(0);
    copyPending(1);
}

void HardMixOutput::resyncDeck(int deck) {
    // Called with -1 after the engine was rebuilt: every deck restarts.
    if (deck < 0) {
        resyncDeck(0);
        resyncDeck(1);
        return;
    }
    Channel& c = channels_[static_cast<size_t>(deck)];
    c.bufferWrite = c.writeCursor;
    c.copiedTo = decks_[deck].outputPlayIndex();
    endPass();
}

void HardMixOutput::deckStarted(int deck) {
    channels_[static_cast<size_t>(deck)].running.store(true, relaxed);
    resyncDeck(deck);
}

void HardMixOutput::deckStopped(int deck) {
    Channel& c = channels_[static_cast<size_t>(deck)];
    c.running.store(false, relaxed);
    c.silenceLeft = kBufferFrames;
    resyncDeck(deck);
}

bool HardMixOutput::preview(int deck, int32_t index, int32_t frames) {
    Channel& c = channels_[static_cast<size_t>(deck)];
    if (c.running.load(relaxed)) return false;
    const DeckStream& stream = decks_[deck];
    const int32_t n = std::min(frames, ringDistance(stream.outputWriteIndex(), c.copiedTo, kDeckRing));
    if (n == 0) return true;
    c.bufferWrite = c.writeCursor;
    copyToBuffer(deck, stream.outputRing(), index, c.bufferWrite, n);
    c.bufferWrite = (c.bufferWrite + n) % kBufferFrames;
    c.silenceLeft = kBufferFrames;
    return true;
}

bool HardMixOutput::isAudible(int deck) const {
    if (deck != 0 && deck != 1) return false;
    const Channel& c = channels_[static_cast<size_t>(deck)];
    return c.running.load(relaxed) && c.level.load(relaxed) * c.gain.load(relaxed) >= 100;
}

}  // namespace spinlorex
