#include "audio/DeckPair.h"

#include "platform/settings/Settings.h"

namespace spinlorex {

DeckPair::DeckPair(TrackDatabase& database, DeskControl& desk, DeskNotifier& notifier)
    : DeckPair(database, desk, notifier, DeckStream::standardReaders(),
               DeckStream::standardReaders()) {}

DeckPair::DeckPair(TrackDatabase& database, DeskControl& desk, DeskNotifier& notifier,
                   DeckStream::Readers deck1Readers, DeckStream::Readers deck2Readers)
    : decks_{std::make_unique<DeckStream>(0, database, desk, notifier, std::move(deck1Readers)),
             std::make_unique<DeckStream>(1, database, desk, notifier, std::move(deck2Readers))} {
    decks_[0]->setOtherDeck(decks_[1].get());
    decks_[1]->setOtherDeck(decks_[0].get());
    decks_[0]->setStretchTurns(&stretchTurns_);
    decks_[1]->setStretchTurns(&stretchTurns_);
    setOptions(DeckOptions::fromSettings(settings()));
}

void DeckPair::setOptions(const DeckOptions& options) {
    decks_[0]->setOptions(options);
    decks_[1]->setOptions(options);
}

void DeckPair::setOutput(OutputDevice* output) {
    decks_[0]->setOutput(output);
    decks_[1]->setOutput(output);
}

}  // namespace spinlorex

namespace spinlorex {

void DeckPair::setWake(std::binary_semaphore* wake) {
    decks_[0]->setWake(wake);
    decks_[1]->setWake(wake);
    preview_.setWake(wake);
}

void DeckPair::setServedInline(bool inline_) {
    decks_[0]->setServedInline(inline_);
    decks_[1]->setServedInline(inline_);
}

}  // namespace spinlorex
