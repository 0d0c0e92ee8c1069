#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <semaphore>
#include <string_view>

#include "analysis/BeatAnalyser.h"
#include "analysis/DecodeTimeline.h"
#include "audio/DeckDecoder.h"
#include "audio/DeckJog.h"
#include "audio/DeckLinks.h"
#include "audio/DeckOptions.h"
#include "audio/DeckRenderer.h"
#include "audio/DeckRequests.h"
#include "audio/DeckState.h"
#include "audio/DspHook.h"
#include "audio/OutputDevice.h"
#include "audio/TrackReader.h"
#include "library/TrackMeasures.h"
#include "library/TrackRecord.h"

namespace spinlorex {

class TrackDatabase;

// The audio side of one deck: the loaded track and its transport (play, cue, seek, pitch,
// level, tempo matching). It is made of parts that each stand alone: DeckState holds what
// the deck publishes to every thread, DeckRequests carries the caller threads' requests to the
// sound thread, DeckDecoder fills the ring of decoded audio ahead of the listener (with the beat
// analyser), DeckRenderer renders the pitched audio that the output device consumes, and
// automaticStartDue decides when the other deck should start.
//
// Only the sound thread touches the buffers. Any other thread changes the deck through the
// operations marked "caller thread": each stores a request and blocks until the sound thread
// has served it at the start of its next pass for this deck. Requests from several caller
// threads are serialised. While no sound thread runs, the audio engine has the requests
// served on the calling thread (setServedInline), so no caller waits for ever.
class DeckStream : public DeckState, private DeckRequestServer {
public:
    static constexpr int32_t kOutputFrames = DeckRenderer::kOutputFrames;
    static constexpr int32_t kOverflowFrames = DeckRenderer::kOverflowFrames;
    static constexpr int32_t kDecodedFrames = DeckDecoder::kFrames;
    static constexpr int32_t kDecodedBlocks = DeckDecoder::kBlocks;
    static constexpr int32_t kMinFreeBlocksToDecode = DeckDecoder::kMinFreeBlocksToDecode;
    static constexpr int32_t kOutputKeepFree = DeckRenderer::kOutputKeepFree;
    static constexpr int32_t kInitialRenderSpan = DeckRenderer::kInitialRenderSpan;
    // Pitch accepted by the deck; the desk narrows it further to its own range.
    static constexpr int32_t kLowestPitch = 256;
    static constexpr int32_t kHighestPitch = 8192;

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
    // Main thread, at start-up: the passes in which this deck's studio stretcher steps.
    void setStretchTurns(const StretchTurns* turns) {
        renderer_.setStretchTurns(turns, deckIndex_);
    }
    // Main thread, while the sound thread is stopped: the current output device (or null).
    void setOutput(OutputDevice* output) { output_.store(output, std::memory_order_relaxed); }
    // Main thread, while the sound thread is stopped: released with every request, so a
    // sound thread resting while nothing plays wakes at once (or null).
    void setWake(std::binary_semaphore* wake) { requests_.setWake(wake); }
    // Main thread, while no sound thread runs: when set, requests are served at once on
    // the calling thread, since no sound thread will (an engine that could not start).
    void setServedInline(bool inline_) { requests_.setServedInline(inline_); }
    // Main thread, when the deck is made and whenever one of them changes: the settings the
    // deck follows on the sound thread (master tempo, automatic start). The settings read
    // at a load stay the main thread's own.
    void setOptions(const DeckOptions& options) { options_.store(options); }
    // Any thread: the options the deck follows now.
    const SharedDeckOptions& options() const { return options_; }

    // ---- Caller thread (main or rhythm window); these may block on the sound thread ----

    // Closes the old track, opens the entry's file, takes its analysis block, chooses the
    // starting point and matches pitch and level to the other deck when the settings say
    // so. False when the file cannot be opened (the deck is then empty, status 156).
    // Opens the file on the calling thread: beginLoad and completeLoad do the same with the
    // file opened elsewhere.
    bool loadTrack(const TrackEntry& entry);
    // The first half of a load whose file another thread opens: closes the old track and
    // holds the entry, loading (status 158, no position). play() meanwhile starts the
    // track as soon as it is loaded.
    void beginLoad(const TrackEntry& entry);
    // The second half: the reader opened for the held entry (its open() returned
    // `seconds`; null or 0 when it failed) becomes the deck's, and the load ends as
    // loadTrack's does. False, the deck empty with status 156, when the open failed or no
    // load is under way.
    bool completeLoad(std::unique_ptr<TrackReader> reader, int32_t seconds);
    void play();
    void pause();
    // Pauses and goes to the cue point, then the start, then the first strong beat.
    void cycleCue();
    // Remembers the heard position as the cue point (no request).
    void storeCue();
    void goToCue();
    void seekAndPlay(float position);
    // Goes to engine frame `frame` at once; a playing deck plays on from there, a paused
    // one waits there (a hot cue).
    void seekToFrame(int64_t frame);
    // How the heard point moves when a loop is set (see setLoop).
    enum class LoopEntry : int32_t {
        Keep = 0,     // stays; one past the loop's end wraps into it by whole rounds
        Carry = 1,    // moves with the loop's start (a loop moved by its length)
        Restart = 2,  // goes to the loop's start
    };
    // Plays round `loop` from now on (its audio joined without a click; the decoded ring
    // and what is rendered follow at once). A heard point before the loop plays on into it.
    // Nothing when the loop is shorter than LoopSpan::kShortest or the deck has no track.
    void setLoop(const LoopSpan& loop, LoopEntry entry);
    // Plays straight on from the heard point.
    void endLoop();
    // Goes to `position` (a fraction of the track), playing or not as before.
    void seek(float position);
    // Stops at once, leaving no position.
    void finish();
    void setPitch(int32_t pitch);
    // The phase lock's trim on top of the pitch, at most kMaxPitchTrim units either way.
    void setPitchTrim(int32_t trim);
    static constexpr int32_t kMaxPitchTrim = 8;
    // Shifts the key by `semitones` (clamped to -6..+6), heard at once, with or without
    // master tempo; a load sets it back to 0.
    void setKeyShift(int32_t semitones);
    // Applies the level through the output device (no request).
    void setLevel(int32_t level);
    // Moves the heard point by `frames` output frames (beat correction).
    void shift(int32_t frames);
    // Moves the heard point through rendered audio only (scrubbing).
    void nudge(int32_t frames);
    // Takes ownership; the previous effect is destroyed once the sound thread let it go
    // (it is called on every chunk rendered until then, never after). A new effect is on.
    void setDspPlugin(std::unique_ptr<DspHook> plugin);
    // Main thread: switches the deck's effect off (kept, the deck heard without it) or on
    // again; nothing without an effect.
    void setEffectOn(bool on);
    // Main thread: the deck has an effect and it is on.
    bool effectOn() const { return ownedDsp_ != nullptr && !effectOff_; }
    // Main thread (the thread that sets it): the deck's effect, or null. Valid until the
    // next setDspPlugin.
    DspHook* dspPlugin() const { return ownedDsp_.get(); }
    void refresh();

    // ---- The jog wheel ----
    // Caller thread: the top of the wheel touched (the deck follows the wheel from where it
    // is heard: a scratch) or released (a playing deck returns to its tempo from where the
    // wheel left it, a paused one stays there). While touched, a loop does not wrap: on
    // release inside it the loop goes on from there, outside it ends.
    void touchWheel(bool touched);
    // Any one thread at a time (the wheel's): the wheel turned by `turns` turns (+ forwards).
    // The sound thread reads the running total each pass: touched, the deck follows it; a
    // playing deck bends its tempo by it (a nudge); a paused one does not move.
    void turnWheel(double turns) {
        wheelTurns_.store(wheelTurns_.load(std::memory_order_relaxed) + turns,
                          std::memory_order_relaxed);
    }
    // Caller thread: moves the heard point by exactly `frames` frames (a paused deck's fine
    // move), within the track. Nothing while a hand holds the wheel.
    void moveFinely(int64_t frames);

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
    // A tempo the user typed goes into the held record and analysis block on the sound
    // thread, so the deck's own analysis cannot overwrite it half-way (0, or a tempo
    // outside 1..999, clears it). False without a block. Caller thread.
    bool setTempoByHand(float bpm);

    // ---- Any thread: reads ----

    // 0 without a track; the stored BPM when it lies outside 1..999; else BPM x pitch.
    double effectiveBpm() const;
    // 0 without a track or analysis; else loudness peak x level.
    int32_t effectiveLoudness() const;
    int32_t beatPhase() const { return analyser().beatPhase(); }
    int32_t nearestBeat(int32_t ref) const { return analyser().nearestBeat(ref); }

    // A caller is waiting for the sound thread to serve a request on this deck.
    bool requestPending() const { return requests_.pending(); }
    // Main thread: the held track, or null.
    const TrackEntry* track() const { return track_ ? &*track_ : nullptr; }
    TrackAnalysis* analysis() const { return analyser().analysis(); }
    // Main thread: the held track's record had a tempo (a confidence above 0) when it was
    // loaded, before the deck's own analysis heard anything of it.
    bool tempoKnownAtLoad() const { return tempoKnownAtLoad_; }
    const BeatAnalyser& analyser() const { return decoder_.analyser(); }

    // ---- Sound thread ----

    // Serves a waiting request, or renders (decoding ahead when nothing was rendered).
    // True when it did any of that: false means the deck had nothing to do.
    bool serviceDeck();
    // The output device reports the output-ring index at its write cursor.
    void updateHeardPosition(int32_t newIndex);
    // One render pass; true when a chunk was rendered.
    bool renderPass();

    // The output ring as the output device reads it (sound thread).
    const DeckRenderer& renderer() const { return renderer_; }
    const DecodeTimeline& timeline() const { return decoder_.timeline(); }

private:
    void issue(DeckRequest::Code code, int32_t intArg = 0, float floatArg = 0.0f);
    // The end of every load: the open reader (or a failure) takes the held entry's place.
    bool finishLoad(TrackReader* reader, int32_t seconds);
    void serveRequest(const DeckRequest& request) override;
    void seekTo(float fraction);
    void seekToFrameNow(int64_t frame);
    void loopNow(const LoopSpan& loop, LoopEntry entry);
    // The heard point moved to track frame `heard`: published, and rendering restarts.
    void moved(int64_t heard);
    // A move that found nothing to decode: the deck stops without a position.
    void stopNoPosition();
    void publishLoop();
    void rerender();
    // The pitch the deck renders at: the pitch and the trim.
    int32_t renderPitch() const;
    void afterMove(bool preview);
    void stopAtEnd();
    // One pass while the wheel leads the deck; true when a chunk was rendered.
    bool jogPass();
    // The wheel takes the deck over in `mode` (from where it is heard, or from where the
    // wheel already had it).
    void enterJog(DeckJog::Mode mode);
    // The deck goes on by itself from where the wheel left it.
    void leaveJog();
    // The wheel lets go without moving the deck (a close, a load, a seek that follows).
    void dropJog();
    double wheel() const { return wheelTurns_.load(std::memory_order_relaxed); }
    double ownRate() const;

    OutputDevice* output() const { return output_.load(std::memory_order_relaxed); }

    TrackDatabase& database_;
    DeskControl& desk_;
    DeskNotifier& notifier_;
    DeckStream* other_ = nullptr;
    std::atomic<OutputDevice*> output_{nullptr};
    SharedDeckOptions options_;

    DeckRequests requests_{*this};

    // The loaded track (changed by the caller thread while the deck is closed).
    Readers readers_;
    std::unique_ptr<TrackReader> openedElsewhere_;  // the reader of a completeLoad
    std::optional<TrackEntry> track_;
    bool tempoKnownAtLoad_ = false;
    bool playWhenLoaded_ = false;        // play() came while loading
    std::unique_ptr<DspHook> ownedDsp_;  // caller side: destroyed only after the switch
    bool effectOff_ = false;             // caller side: the effect is kept but not run

    // Sound thread state.
    bool closed_ = true;
    DeckDecoder decoder_;
    DeckRenderer renderer_;
    DeckJog jog_;
    std::atomic<double> wheelTurns_{0.0};  // the wheel's running total of turns
    double seenTurns_ = 0.0;               // the total the sound thread last saw
};

}  // namespace spinlorex
