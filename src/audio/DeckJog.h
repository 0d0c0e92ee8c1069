#pragma once

#include <array>
#include <cstdint>

namespace spinlorex {

class ScratchHistory;
class TrackReader;

// A deck under the hand of a jog wheel: the heard position follows the wheel's running
// total of turns instead of the deck's own pitch, rendered in short chunks straight from
// the decoded frames (ScratchHistory), forwards or backwards at any speed, so that the
// sound answers the wheel within a few milliseconds.
//
// Scratch: the position is where the wheel puts it (kScratchFramesPerTurn a turn).
// Bend: the position runs at the deck's own rate, and the wheel adds kBendFramesPerTurn a
// turn on top: a turn made quickly bends the tempo a lot, a slow one a little.
//
// A wheel sends its ticks in bursts: the wheel's offset goes through a short low-pass, and
// the play rate ramps within each chunk towards the rate that closes the distance to it,
// so the rate never jumps and a direction change passes smoothly through standstill.
// The position stays within the track: a wheel driven past its start stops there.
//
// Sound thread only; nothing allocates.
class DeckJog {
public:
    enum class Mode { Off, Scratch, Bend };

    static constexpr int32_t kChunkFrames = 256;
    // Rendered ahead of the heard point at most while the hand is on the wheel.
    static constexpr int32_t kLeadFrames = 4 * kChunkFrames;
    static constexpr double kScratchFramesPerTurn = 1.8 * 44100.0;  // a 33 1/3 rpm record
    static constexpr double kBendFramesPerTurn = 0.1 * 44100.0;
    static constexpr double kMaxRate = 8.0;
    // A bend is over once the wheel has been still this long and the deck is back on its rate.
    static constexpr int32_t kBendSettleFrames = 4096;

    Mode mode() const { return mode_; }
    bool active() const { return mode_ != Mode::Off; }
    // Follows the wheel from track frame `position` moving at `rate` frames a frame; `turns`
    // is the wheel's running total now and `baseRate` the deck's own rate (0 for a scratch).
    void start(Mode mode, double position, double rate, double baseRate, double turns);
    void setBaseRate(double rate) { baseRate_ = rate; }
    void stop() { mode_ = Mode::Off; }
    // Forgets the chunks rendered so far (rendering starts afresh at the heard point).
    void forget() {
        chunks_.fill({});
        lastChunk_ = -1;
    }

    // Renders `frames` (at most kChunkFrames) at `out`, the chunk heard at output-ring index
    // `at` of a ring of `ringFrames`, with the wheel at `turns`. Frames the history lacks
    // are decoded through `reader` first; those beyond the track (or that fail) are silent.
    void render(int16_t* out, int32_t frames, int32_t at, int32_t ringFrames, double turns,
                ScratchHistory& history, TrackReader& reader, int64_t total);
    // The track position heard at output-ring index `index` (the next to render when no
    // chunk holds it).
    double heardAt(int32_t index, int32_t ringFrames) const;
    // A bend is over: the wheel is still and the deck runs on its own rate again.
    bool settled() const;
    // The position and rate of the next frame rendered.
    double position() const { return position_; }
    double rate() const { return rate_; }

private:
    struct Chunk {
        int32_t at = 0;
        int32_t frames = 0;
        double position = 0.0;
        double rateFrom = 0.0;
        double rateTo = 0.0;
    };

    Mode mode_ = Mode::Off;
    double position_ = 0.0;
    double rate_ = 0.0;
    double baseRate_ = 0.0;
    double framesPerTurn_ = kScratchFramesPerTurn;
    double base_ = 0.0;          // where the deck's own motion alone would be
    double turnsAtStart_ = 0.0;  // the wheel's total when following began
    double lastTurns_ = 0.0;
    double smoothed_ = 0.0;  // the wheel's offset in frames, low-passed
    int32_t stillFrames_ = 0;
    std::array<Chunk, 16> chunks_{};
    int32_t lastChunk_ = -1;
};

}  // namespace spinlorex
