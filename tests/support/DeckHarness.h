#pragma once

#include <array>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/DeckLinks.h"
#include "audio/DeckPair.h"
#include "audio/SoundThread.h"
#include "library/TrackDatabase.h"
#include "support/FakeReader.h"

namespace spinlorex::test {

// The desk's part as the decks see it, recording what they asked.
class RecordingDesk : public DeskControl {
public:
    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t code) override { status[deck].store(code); }
    int32_t pitchMin() const override { return limitPitch ? 3768 : 2730; }
    int32_t pitchMax() const override { return limitPitch ? 4424 : 5462; }

    DeckPair* decks = nullptr;
    bool limitPitch = false;
    std::array<std::atomic<uint32_t>, 2> status{kStatusEmpty, kStatusEmpty};
    std::array<int32_t, 2> lastPitchAsked{0, 0};
    std::array<int32_t, 2> lastLevelAsked{-1, -1};
};

class RecordingNotifier : public DeskNotifier {
public:
    void post(int message, int deck) override {
        if (message == kMessageTrackEnded) ended[deck].fetch_add(1);
        if (message == kMessageStartDeck) startDeck[deck].fetch_add(1);
    }
    std::array<std::atomic<int>, 2> ended{0, 0};
    std::array<std::atomic<int>, 2> startDeck{0, 0};
};

// Two decks on fake (or real) readers, a capture output collecting what each deck renders,
// and the sound loop, stepped by hand or run on its own thread.
class DeckHarness : private CaptureSink {
public:
    // Decks read through FakeReaders with these scripts.
    explicit DeckHarness(FakeReader::Script deck1 = {}, FakeReader::Script deck2 = {});
    // Decks read through the real WAV and MP3 readers.
    struct RealReaders {};
    explicit DeckHarness(RealReaders);
    ~DeckHarness() override;

    DeckStream& deck(int d) { return decks_[d]; }
    FakeReader& reader(int d) { return *fake_[static_cast<size_t>(d)]; }
    void startSoundThread() { sound_.start(std::chrono::microseconds(0), false); }
    void stopSoundThread() { sound_.stop(); }
    void runPasses(int n) {
        for (int i = 0; i < n; ++i) sound_.runPass();
    }
    // Runs a caller operation on its own thread while this thread serves its requests, one
    // pass per request (the sound thread must not be running): no other pass runs, so the
    // test decides exactly how far the decks play.
    void call(const std::function<void()>& operation);
    // Loads a track on a deck while the sound thread runs.
    bool load(int d, const std::string& path = "track.mp3");
    // Frames the deck rendered and were taken since the last clear.
    std::vector<int16_t> takeCaptured(int d);
    size_t capturedFrames(int d);

    TrackDatabase database;
    RecordingDesk desk;
    RecordingNotifier notifier;

private:
    void captured(int deck, const int16_t* frames, int32_t count) override;

    std::array<FakeReader*, 2> fake_{};
    DeckPair decks_;
    CaptureOutput output_;
    SoundThread sound_;
    std::mutex captureMutex_;
    std::array<std::vector<int16_t>, 2> captured_;
};

}  // namespace spinlorex::test
