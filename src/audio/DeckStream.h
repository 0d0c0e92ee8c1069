#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string_view>

#include "analysis/BeatAnalyser.h"
#include "analysis/DecodeTimeline.h"
#include "audio/DeckLinks.h"
#include "audio/DspHook.h"
#include "audio/OutputDevice.h"
#include "audio/TrackReader.h"
#include "library/TrackMeasures.h"
#include "library/TrackRecord.h"

namespace spinlorex {

class TrackDatabase;

// The audio side of one deck: a reader for the loaded file, a ring of decoded audio ahead
// of the listener, a ring of rendered (pitched) audio that the output device consumes, and
// a beat analyser that watches every decoded block.
//
// Only the sound thread touches the buffers. Any other thread changes the deck through the
// operations marked "caller thread": each stores a request and blocks until the sound thread
// has served it at the start of its next pass for this deck. Requests from several caller
// threads are serialised. While no sound thread runs, the audio engine has the requests
// served on the calling thread (setServedInline), so no caller waits for ever.
class DeckStream {
public:
    static constexpr int32_t kOutputFrames = 88200;   // 2 s of rendered audio
    static constexpr int32_t kOverflowFrames = 6176;  // two passes past the end
    static constexpr int32_t kDecodedFrames = DecodeTimeline::kRingFrames;
    static constexpr int32_t kDecodedBlocks = DecodeTimeline::kRingBlocks;
    static constexpr int32_t kMinFreeBlocksToDecode = 65;
    static constexpr int32_t kOutputKeepFree = 25138;  // frames left free in the output ring
    static constexpr int32_t kInitialRenderSpan = 5846;
    // Pitch accepted by the deck; the desk narrows it further to its own range.
    static constexpr int32_t kLowestPitch = 256;
    static constexpr int32_t kHighestPitch = 8192;

    enum Request : int32_t {
        kNoRequest = 0,
        kOpenAt = 1,
        kClose = 2,
        kPlay = 3,
        kPause = 4,
        kSeek = 6,
        kShift = 7,
        kNudge = 8,
        kSetPitch = 9,
        kSetDsp = 10,
        kRefresh = 11,
        kAdoptMeasures = 12,
    };

    struct Readers {
        std::unique_ptr<TrackReader> wav;
        std::unique_ptr<TrackReader> mp3;
        std::unique_ptr<TrackReader> sndfile;  // FLAC, Ogg Vorbis, Opus

        // The reader for a file, by its extension (MP3 for any other); null when absent.
        // Any thread, for readers of its own.
        TrackReader* forPath(std::string_view path) const;
    };
    // A WavReader, an Mp3Reader and a SndfileReader.
    static Readers standardReaders();

    // Main thread, at start-up. The deck keeps references to the database, the desk and the
    // notifier for its whole life.
    DeckStream(int deckIndex, TrackDatabase& database, DeskControl& desk, DeskNotifier& notifier,
               Readers readers = standardReaders());
    ~DeckStream();
    DeckStream(const DeckStream&) = delete;
    DeckStream& operator=(const DeckStream&) = delete;

    // Main thread, at start-up: the other deck of the pair (tempo matching, automatic start).
    void setOtherDeck(DeckStream* other) { other_ = other; }
    // Main thread, while the sound thread is stopped: the current output device (or null).
    void setOutput(OutputDevice* output) { output_.store(output, std::memory_order_relaxed); }
    // Main thread, while the sound thread is stopped: released with every request, so a
    // sound thread resting while nothing plays wakes at once (or null).
    void setWake(std::binary_semaphore* wake) { wake_.store(wake, std::memory_order_relaxed); }
    // Main thread, while no sound thread runs: when set, requests are served at once on
    // the calling thread, since no sound thread will (an engine that could not start).
    void setServedInline(bool inline_) { servedInline_.store(inline_, std::memory_order_release); }

    // ---- Caller thread (main or rhythm window); these may block on the sound thread ----

    // Closes the old track, opens the entry's file, takes its analysis block, chooses the
    // starting point and matches pitch and level to the other deck when the settings say
    // so. False when the file cannot be opened (the deck is then empty, status 156).
    bool loadTrack(const TrackEntry& entry);
    void play();
    void pause();
    // Pauses and goes to the cue point, then the start, then the first strong beat.
    void cycleCue();
    // Remembers the heard position as the cue point (no request).
    void storeCue();
    void goToCue();
    void seekAndPlay(float position);
    // Stops at once, leaving no position.
    void finish();
    void setPitch(int32_t pitch);
    // Applies the level through the output device (no request).
    void setLevel(int32_t level);
    // Moves the heard point by `frames` output frames (beat correction).
    void shift(int32_t frames);
    // Moves the heard point through rendered audio only (scrubbing).
    void nudge(int32_t frames);
    // Takes ownership; the previous effect is destroyed once the sound thread let it go
    // (it is called on every chunk rendered until then, never after).
    void setDspPlugin(std::unique_ptr<DspHook> plugin);
    // Main thread (the thread that sets it): the deck's effect, or null. Valid until the
    // next setDspPlugin.
    DspHook* dspPlugin() const { return ownedDsp_.get(); }
    void refresh();

    // Main thread: tempo matching against the other deck (they call the desk).
    bool matchPitchToOtherDeck();
    bool matchLevelToOtherDeck();
    // Main thread: "Auto-Pitch" and "Auto-Level" as a load applies them: the pitch matched
    // to the other deck, else normal speed; the level matched, else full. A switched-off
    // "Auto-Pitch" sets normal speed only when `atLoad`.
    void applyAutomaticMatching(bool atLoad);
    // Measures of the whole track go into the held analysis block on the sound thread,
    // which alone writes it while the deck analyses (adoptMeasures: a tempo set by hand
    // stays). Nothing without a block. Caller thread.
    void adoptMeasures(const TrackMeasures& measures);

    // ---- Any thread: reads ----

    // 0 without a track; the stored BPM when it lies outside 1..999; else BPM x pitch.
    double effectiveBpm() const;
    // 0 without a track or analysis; else loudness peak x level.
    int32_t effectiveLoudness() const;
    int32_t beatPhase() const { return analyser_.beatPhase(); }
    int32_t nearestBeat(int32_t ref) const { return analyser_.nearestBeat(ref); }

    int deckIndex() const { return deckIndex_; }
    bool playing() const { return playing_.load(std::memory_order_relaxed); }
    float position() const { return position_.load(std::memory_order_relaxed); }
    int32_t pitch() const { return pitch_.load(std::memory_order_relaxed); }
    int32_t level() const { return level_.load(std::memory_order_relaxed); }
    int32_t duration() const { return duration_.load(std::memory_order_relaxed); }
    bool mixedOut() const { return mixedOut_.load(std::memory_order_relaxed); }
    void setMixedOut(bool value) { mixedOut_.store(value, std::memory_order_relaxed); }
    bool awaitingStart() const { return awaitingStart_.load(std::memory_order_relaxed); }
    int32_t cueCycle() const { return cueCycle_.load(std::memory_order_relaxed); }
    // Main thread: the held track, or null.
    // A caller is waiting for the sound thread to serve a request on this deck.
    bool requestPending() const { return request_.load(std::memory_order_relaxed) != kNoRequest; }
    const TrackEntry* track() const { return track_ ? &*track_ : nullptr; }
    TrackAnalysis* analysis() const { return analyser_.analysis(); }
    // Main thread: the held track's record had a tempo (a confidence above 0) when it was
    // loaded, before the deck's own analysis heard anything of it.
    bool tempoKnownAtLoad() const { return tempoKnownAtLoad_; }
    const BeatAnalyser& analyser() const { return analyser_; }

    // ---- Sound thread ----

    // Serves a waiting request, or renders (decoding ahead when nothing was rendered).
    // True when it did any of that: false means the deck had nothing to do.
    bool serviceDeck();
    // The output device reports the output-ring index at its write cursor.
    void updateHeardPosition(int32_t newIndex);

    // The output ring as the output device reads it (sound thread).
    const int16_t* outputRing() const { return outputRing_.get(); }
    int32_t outputWriteIndex() const { return outputWriteIndex_; }
    int32_t outputPlayIndex() const { return outputPlayIndex_; }
    int32_t unwrittenFrames() const { return unwrittenFrames_; }
    const DecodeTimeline& timeline() const { return timeline_; }

    // One render pass; true when a chunk was rendered.
    bool renderPass();
    // Decodes one block when enough of the decoded ring is free; true when a block was added.
    bool decodeAhead();

private:
    void issue(Request code, int32_t intArg = 0, float floatArg = 0.0f);
    void serveRequest(int32_t code);
    void seekTo(float fraction);
    void rerender();
    void shiftNow(int32_t frames);
    void nudgeNow(int32_t frames);
    void moveBackward(int32_t frames, int32_t room, bool fillUnwritten);
    void moveForward(int32_t frames);
    void afterMove();
    void stopAtEnd();
    void zeroDecodedRing(float blockPosition);
    void advanceDecodeWrite();
    void checkAutomaticStart(float heard);

    OutputDevice* output() const { return output_.load(std::memory_order_relaxed); }
    float cuePoint() const;
    float firstStrongBeat() const;

    const int deckIndex_;
    TrackDatabase& database_;
    DeskControl& desk_;
    DeskNotifier& notifier_;
    DeckStream* other_ = nullptr;
    std::atomic<OutputDevice*> output_{nullptr};
    std::atomic<std::binary_semaphore*> wake_{nullptr};
    std::atomic<bool> servedInline_{false};

    // State read by other threads.
    std::atomic<bool> playing_{false};
    std::atomic<int32_t> pitch_{4096};
    std::atomic<int32_t> level_{256};
    std::atomic<float> position_{-1.0f};
    std::atomic<bool> mixedOut_{false};
    std::atomic<bool> awaitingStart_{false};
    std::atomic<int32_t> duration_{-1};
    std::atomic<int32_t> cueCycle_{0};

    // The request slot.
    std::mutex requestSerial_;  // caller side only: one outstanding request per deck
    std::atomic<int32_t> request_{kNoRequest};
    std::atomic<int32_t> requestInt_{0};
    std::atomic<float> requestFloat_{0.0f};
    std::atomic<DspHook*> pendingDsp_{nullptr};
    std::atomic<const TrackMeasures*> pendingMeasures_{nullptr};
    std::binary_semaphore requestDone_{0};

    // The loaded track (changed by the caller thread while the deck is closed).
    Readers readers_;
    TrackReader* reader_ = nullptr;
    int64_t trackFrames_ = 0;  // the reader's totalFrames: what positions are fractions of
    std::optional<TrackEntry> track_;
    bool tempoKnownAtLoad_ = false;
    std::unique_ptr<DspHook> ownedDsp_;  // caller side: destroyed only after the switch

    // Sound thread state.
    bool closed_ = true;
    DspHook* dsp_ = nullptr;
    DecodeTimeline timeline_;
    BeatAnalyser analyser_;
    int32_t blockCursor_ = 0;
    int32_t outputPlayIndex_ = 0;
    int32_t outputWriteIndex_ = 0;
    int32_t unwrittenFrames_ = kOutputFrames;
    int32_t renderRead_ = 0;
    int32_t renderSpan_ = kInitialRenderSpan;
    int32_t dspInputFrames_ = 0;
    int32_t varispeedPhase_ = 0;
    int32_t tempoPhase_ = 0;
    std::unique_ptr<int16_t[]> outputRing_;
    std::unique_ptr<int16_t[]> decodedRing_;
    std::unique_ptr<int16_t[]> tailBuffer_;
    std::unique_ptr<int16_t[]> scratch_;
};

}  // namespace spinlorex
