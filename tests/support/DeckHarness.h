#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/DeckLinks.h"
#include "audio/DeckPair.h"
#include "audio/SoundThread.h"
#include "audio/TrackReader.h"
#include "library/TrackDatabase.h"

namespace spinlorex::test {

// Runs `operation` on a helper thread while this thread serves each request it makes
// with one `pass` (no sound thread may run): the decks move only where a test plays.
template <typename Pass>
void callServingRequests(DeckPair& decks, Pass pass, const std::function<void()>& operation) {
    std::atomic<bool> done{false};
    std::thread caller([&] {
        operation();
        done = true;
    });
    while (!done) {
        if (decks[0].requestPending() || decks[1].requestPending())
            pass();
        else
            std::this_thread::yield();
    }
    caller.join();
}

// A reader of a made-up track whose every frame tells its own index: left holds the low
// 15 bits, right the next 15. Lets tests see exactly which source frame a deck rendered.
class FakeReader : public TrackReader {
public:
    struct Script {
        int32_t frames = 44100 * 20;  // track length (a multiple of 44100 keeps positions exact)
        int32_t errorAtBlock = -1;    // decodeBlock returns -1 when delivering this block
    };

    explicit FakeReader(Script script) : script_(script) {}

    int32_t open(const std::string&) override {
        next_ = 0, position_ = 0.0f, fileSize_ = 123456;
        return duration_ = script_.frames / 44100;
    }
    void close() override {}
    int32_t decodeBlock(int16_t* dest) override {
        if (script_.errorAtBlock >= 0 && next_ / 1152 == script_.errorAtBlock) return kError;
        if (next_ + 1152 > script_.frames) return kEnd;
        for (int32_t i = 0; i < 1152; ++i) encode(dest + 2 * i, next_ + i);
        next_ += 1152;
        position_ = static_cast<float>(next_) / static_cast<float>(script_.frames);
        return kDone;
    }
    int32_t seek(float fraction) override {
        next_ = static_cast<int32_t>(fraction * static_cast<float>(script_.frames)) / 1152 * 1152;
        position_ = fraction;
        return 1;
    }

    static void encode(int16_t* frame, int32_t index) {
        frame[0] = static_cast<int16_t>(index & 0x7FFF);
        frame[1] = static_cast<int16_t>((index >> 15) & 0x7FFF);
    }
    static int32_t decode(const int16_t* frame) { return frame[0] | (frame[1] << 15); }

private:
    Script script_;
    int32_t next_ = 0;
};

// The index of the source frame a FakeReader track held at captured frame i.
inline int32_t sourceFrame(const std::vector<int16_t>& captured, size_t i) {
    return FakeReader::decode(&captured[2 * i]);
}

// Polls `condition` until it holds or about `seconds` pass; returns whether it held.
template <typename Condition>
bool waitFor(Condition condition, double seconds = 20.0) {
    for (int i = 0; i < seconds * 5000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    return condition();
}

// Two decks on fake (or real) readers, the desk and main window they report to (recording
// what they asked), a capture output collecting what each deck renders, and the sound
// loop, stepped by hand or run on its own thread.
class DeckHarness : DeskControl, DeskNotifier, CaptureSink {
public:
    // Decks read through FakeReaders with these scripts.
    explicit DeckHarness(FakeReader::Script deck1 = {}, FakeReader::Script deck2 = {})
        : DeckHarness(fakeReaders(deck1), fakeReaders(deck2)) {}
    // Decks read through the real readers.
    struct RealReaders {};
    explicit DeckHarness(RealReaders)
        : DeckHarness(DeckStream::standardReaders(), DeckStream::standardReaders()) {}
    ~DeckHarness() override {
        sound_.stop();
        database.close();
    }

    DeckStream& deck(int d) { return decks_[d]; }
    DeckPair& decks() { return decks_; }
    void startSoundThread() { sound_.start(std::chrono::microseconds(0), false); }
    void runPasses(int n) {
        for (int i = 0; i < n; ++i) sound_.runPass();
    }
    // Runs a caller operation on its own thread while this thread serves its requests, one
    // pass per request (the sound thread must not be running): no other pass runs, so the
    // test decides exactly how far the decks play.
    void call(const std::function<void()>& operation) {
        callServingRequests(
            decks_, [this] { sound_.runPass(); }, operation);
    }
    bool load(int d, const std::string& path = "track.mp3") {
        return decks_[d].loadTrack({"", "", path});
    }
    // Frames the deck rendered since the last take.
    std::vector<int16_t> takeCaptured(int d) {
        std::lock_guard lock(captureMutex_);
        return std::exchange(captured_[static_cast<size_t>(d)], {});
    }
    // Room for `frames` captured frames of each deck, so that capturing allocates nothing
    // before then (tests that count a pass's allocations).
    void reserveCapture(size_t frames) {
        std::lock_guard lock(captureMutex_);
        for (auto& c : captured_) c.reserve(2 * frames);
    }
    size_t capturedFrames(int d) {
        std::lock_guard lock(captureMutex_);
        return captured_[static_cast<size_t>(d)].size() / 2;
    }

    TrackDatabase database;
    bool limitPitch = false;  // the desk's narrow pitch range instead of the wide one
    std::array<std::atomic<uint32_t>, 2> status{kStatusEmpty, kStatusEmpty};
    std::array<std::atomic<int>, 2> ended{0, 0}, startDeck{0, 0};  // messages posted

private:
    void setDeckPitch(int deck, int32_t pitch) override {
        decks_[deck].setPitch(std::clamp(pitch, pitchMin(), pitchMax()));
    }
    void setDeckLevel(int deck, int32_t level) override { decks_[deck].setLevel(level); }
    void setDeckStatus(int deck, uint32_t code) override { status[deck].store(code); }
    int32_t pitchMin() const override { return limitPitch ? 3768 : 2730; }
    int32_t pitchMax() const override { return limitPitch ? 4424 : 5462; }
    void post(int message, int deck) override {
        if (message == kMessageTrackEnded) ended[deck].fetch_add(1);
        if (message == kMessageStartDeck) startDeck[deck].fetch_add(1);
    }
    static DeckStream::Readers fakeReaders(FakeReader::Script script) {
        return {std::make_unique<FakeReader>(script), std::make_unique<FakeReader>(script),
                std::make_unique<FakeReader>(script)};
    }
    DeckHarness(DeckStream::Readers deck1, DeckStream::Readers deck2)
        : decks_(database, *this, *this, std::move(deck1), std::move(deck2)),
          output_(decks_, *this),
          sound_(output_, decks_) {
        decks_.setOutput(&output_);
    }
    void captured(int deck, const int16_t* frames, int32_t count) override {
        std::lock_guard lock(captureMutex_);
        auto& into = captured_[static_cast<size_t>(deck)];
        into.insert(into.end(), frames, frames + 2 * count);
    }

    DeckPair decks_;
    CaptureOutput output_;
    SoundThread sound_;
    std::mutex captureMutex_;
    std::array<std::vector<int16_t>, 2> captured_;
};

}  // namespace spinlorex::test
