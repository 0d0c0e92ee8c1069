#include "audio/CaptureOutput.h"

#include <algorithm>

#include "audio/DeckPair.h"

namespace spinlorex {

CaptureOutput::CaptureOutput(DeckPair& decks, CaptureSink& sink)
    : OutputDevice(false), decks_(decks), sink_(sink) {
    for (auto& level : level_) level.store(256, std::memory_order_relaxed);
}

void CaptureOutput::applyDeckLevel(int deck, int32_t level) {
    level_[static_cast<size_t>(deck)].store(level, std::memory_order_relaxed);
}

void CaptureOutput::applyCrossfader(int32_t) {}

void CaptureOutput::resyncDeck(int deck) {
    copiedTo_[static_cast<size_t>(deck)] = decks_[deck].renderer().playIndex();
}

void CaptureOutput::beginPass() {
    // Everything handed out so far has been heard.
    for (int d = 0; d < 2; ++d)
        if (running_[static_cast<size_t>(d)].load(std::memory_order_relaxed))
            decks_[d].updateHeardPosition(copiedTo_[static_cast<size_t>(d)]);
}

void CaptureOutput::endPass() {
    for (int d = 0; d < 2; ++d) {
        if (!running_[static_cast<size_t>(d)].load(std::memory_order_relaxed)) continue;
        const DeckStream& deck = decks_[d];
        int32_t& from = copiedTo_[static_cast<size_t>(d)];
        const int32_t to = deck.renderer().writeIndex();
        while (from != to) {
            const int32_t end = to > from ? to : DeckStream::kOutputFrames;
            sink_.captured(d, deck.renderer().ring() + static_cast<size_t>(from) * 2, end - from);
            from = end == DeckStream::kOutputFrames ? 0 : end;
        }
    }
}

bool CaptureOutput::preview(int, int32_t, int32_t) { return true; }

void CaptureOutput::deckStarted(int deck) {
    running_[static_cast<size_t>(deck)].store(true, std::memory_order_relaxed);
    resyncDeck(deck);
}

void CaptureOutput::deckStopped(int deck) {
    running_[static_cast<size_t>(deck)].store(false, std::memory_order_relaxed);
    resyncDeck(deck);
}

bool CaptureOutput::isAudible(int deck) const {
    return running_[static_cast<size_t>(deck)].load(std::memory_order_relaxed) &&
           level_[static_cast<size_t>(deck)].load(std::memory_order_relaxed) * 256 >= 100;
}

}  // namespace spinlorex
