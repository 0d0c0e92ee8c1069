#pragma once

#include <cstdint>
#include <memory>

namespace spinlorex {

class DeckDecoder;
class DspHook;
class StudioStretch;
class StretchTurns;

// The rendering side of a deck: turns the decoded ring into pitched audio (varispeed or
// master tempo, then the deck's effect) in the output ring that the output device consumes,
// and moves the heard point within what is rendered. Sound thread only (or the caller's
// thread while no sound thread runs), except the reads marked otherwise.
class DeckRenderer {
public:
    static constexpr int32_t kOutputFrames = 88200;    // 2 s of rendered audio
    static constexpr int32_t kOverflowFrames = 6176;   // two passes past the end
    static constexpr int32_t kOutputKeepFree = 25138;  // frames left free in the output ring
    static constexpr int32_t kInitialRenderSpan = 5846;

    // Main thread, at start-up: renders from `decoder`'s ring. Pitches up to `highestPitch`.
    DeckRenderer(DeckDecoder& decoder, int32_t highestPitch);
    ~DeckRenderer();

    // The effect every chunk goes through from now on (or null).
    void setEffect(DspHook* effect) { effect_ = effect; }
    // The studio stretcher steps in the passes `turns` gives deck `deck`; without turns it
    // renders a whole chunk in one pass.
    void setStretchTurns(const StretchTurns* turns, int deck) {
        turns_ = turns;
        deck_ = deck;
    }
    // The pitch the next passes render at decides how much source they read.
    void setPitch(int32_t pitch);
    // Starts rendering afresh from the heard frame of the decoded ring. A playing deck keeps
    // what is being heard as the tail, so master tempo fades from it.
    void restart(bool playing);
    // One render pass; true when a chunk was rendered. With `high` (master tempo in
    // quality High) or a key shift, the studio stretcher renders instead of PitchRender.
    bool renderPass(int32_t pitch, bool masterTempo, bool high = false, int32_t keyShift = 0);

    // The output device reports the output-ring index at its write cursor: the decoded-ring
    // index heard there at `pitch`.
    int32_t heardAt(int32_t newIndex, int32_t pitch);
    // Moves the heard point by `frames` (beat correction): backwards as far as the ring
    // holds, silencing what was never written. False when it cannot move at all.
    bool shift(int32_t frames);
    // Moves the heard point through rendered audio only (scrubbing); true when it moved.
    bool nudge(int32_t frames);

    // ---- A deck under the hand (DeckJog renders the chunks) ----

    // Rendered frames not yet heard.
    int32_t lead() const;
    // Drops what is rendered beyond the heard point: the next chunk is heard next.
    void cutAtHeard() { writeIndex_ = playIndex_; }
    // Where the next chunk goes (room for kRenderFrames frames).
    int16_t* writePoint() { return &ring_[static_cast<size_t>(writeIndex_) * 2]; }
    // The chunk of `frames` at the write point is done: through the effect, then queued.
    void commit(int32_t frames);
    // The output device reports the output-ring index at its write cursor.
    void setHeardIndex(int32_t index) { playIndex_ = index; }

    // The output ring as the output device reads it.
    const int16_t* ring() const { return ring_.get(); }
    int32_t writeIndex() const { return writeIndex_; }
    int32_t playIndex() const { return playIndex_; }

private:
    void moveBackward(int32_t frames, int32_t room, bool fillUnwritten);
    void moveForward(int32_t frames);
    int32_t roomBehind() const;
    // The studio stretcher's pass: kRenderFrames frames into `out`, the source frames they
    // stand for in `consumed`; false when the decoder could not keep up.
    bool renderStudio(int16_t* out, int32_t pitch, bool keepKey, int32_t keyShift,
                      int32_t& consumed);
    // Keeps the next frames to be heard as the tail a restart fades from.
    void keepHeardTail();
    // Feeds the studio stretcher one step of source; false when the decoder could not.
    bool stepStudio();

    DeckDecoder& decoder_;
    DspHook* effect_ = nullptr;
    int32_t playIndex_ = 0;
    int32_t writeIndex_ = 0;
    int32_t unwrittenFrames_ = kOutputFrames;
    int32_t readIndex_ = 0;  // decoded-ring index of the next source frame
    int32_t span_ = kInitialRenderSpan;
    int32_t effectInputFrames_ = 0;
    int32_t varispeedPhase_ = 0;
    int32_t tempoPhase_ = 0;
    std::unique_ptr<int16_t[]> ring_;
    std::unique_ptr<int16_t[]> tail_;
    std::unique_ptr<int16_t[]> scratch_;
    // The studio stretcher, made with the deck; fed from studioStart_, the decoded-ring index
    // of its first source frame, on (ahead of readIndex_ by what it holds). It starts afresh
    // (studioStyle_ cleared) at every restart and whenever what it renders changes.
    std::unique_ptr<StudioStretch> studio_;
    int32_t studioStart_ = 0;
    const StretchTurns* turns_ = nullptr;
    int deck_ = 0;
    struct StudioStyle {
        int32_t pitch = 0;  // 0: the stretcher must start afresh
        bool keepKey = true;
        int32_t keyShift = 0;
        bool operator==(const StudioStyle&) const = default;
    } studioStyle_;
    bool fadeFromTail_ = false;  // the next pass fades in from the tail (a restart)
};

}  // namespace spinlorex
