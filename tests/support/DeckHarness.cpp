#include "support/DeckHarness.h"

#include <thread>
#include <utility>

namespace spinlorex::test {

void RecordingDesk::setDeckPitch(int deck, int32_t pitch) {
    lastPitchAsked[deck] = pitch;
    (*decks)[deck].setPitch(std::clamp(pitch, pitchMin(), pitchMax()));
}

void RecordingDesk::setDeckLevel(int deck, int32_t level) {
    lastLevelAsked[deck] = level;
    (*decks)[deck].setLevel(level);
}

namespace {

DeckStream::Readers fakeReaders(FakeReader::Script script, FakeReader*& fake) {
    auto reader = std::make_unique<FakeReader>(script);
    fake = reader.get();
    DeckStream::Readers readers;
    readers.mp3 = std::move(reader);
    readers.wav = std::make_unique<FakeReader>(script);
    return readers;
}

}  // namespace

DeckHarness::DeckHarness(FakeReader::Script deck1, FakeReader::Script deck2)
    : decks_(database, desk, notifier, fakeReaders(deck1, fake_[0]), fakeReaders(deck2, fake_[1])),
      output_(decks_, *this),
      sound_(output_, decks_) {
    desk.decks = &decks_;
    decks_.setOutput(&output_);
}

DeckHarness::DeckHarness(RealReaders)
    : decks_(database, desk, notifier), output_(decks_, *this), sound_(output_, decks_) {
    desk.decks = &decks_;
    decks_.setOutput(&output_);
}

DeckHarness::~DeckHarness() {
    sound_.stop();
    database.close();
}

void DeckHarness::call(const std::function<void()>& operation) {
    std::atomic<bool> done{false};
    std::thread caller([&] {
        operation();
        done = true;
    });
    while (!done) {
        if (decks_[0].requestPending() || decks_[1].requestPending())
            sound_.runPass();
        else
            std::this_thread::yield();
    }
    caller.join();
}

bool DeckHarness::load(int d, const std::string& path) {
    TrackEntry entry;
    entry.path = path;
    return decks_[d].loadTrack(entry);
}

std::vector<int16_t> DeckHarness::takeCaptured(int d) {
    std::lock_guard lock(captureMutex_);
    return std::exchange(captured_[static_cast<size_t>(d)], {});
}

size_t DeckHarness::capturedFrames(int d) {
    std::lock_guard lock(captureMutex_);
    return captured_[static_cast<size_t>(d)].size() / 2;
}

void DeckHarness::captured(int deck, const int16_t* frames, int32_t count) {
    std::lock_guard lock(captureMutex_);
    captured_[static_cast<size_t>(deck)].insert(captured_[static_cast<size_t>(deck)].end(), frames,
                                                frames + 2 * count);
}

}  // namespace spinlorex::test
