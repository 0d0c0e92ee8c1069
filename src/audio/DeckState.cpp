#include "audio/DeckState.h"

#include "audio/AudioFormat.h"

namespace spinlorex {

DeckState::DeckState(int deckIndex)
    : deckIndex_(deckIndex), pitch_(kNormalPitch), level_(kFullLevel) {}

}  // namespace spinlorex
