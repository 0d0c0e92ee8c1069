#pragma once

// A made-up track served from memory: 16-bit stereo frames at 44100 Hz, decoded in blocks
// as the real readers deliver them. With a generated dance track its kicks fall exactly
// on a known beat grid, so tests can tell where each deck's beats are heard.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "audio/DeckStream.h"
#include "audio/TrackReader.h"
#include "tools/synth/Synth.h"

namespace spinlorex::test {

class PcmReader : public TrackReader {
public:
    explicit PcmReader(std::shared_ptr<const std::vector<int16_t>> pcm) : pcm_(std::move(pcm)) {}

    int32_t open(const std::string&) override {
        next_ = 0, position_ = 0.0f, fileSize_ = static_cast<int64_t>(pcm_->size()) * 2;
        return duration_ = static_cast<int32_t>(frames() / 44100);
    }
    void close() override {}
    int32_t decodeBlock(int16_t* dest) override {
        if (next_ + 1152 > frames()) return kEnd;
        std::copy_n(pcm_->data() + 2 * next_, 2 * 1152, dest);
        next_ += 1152;
        position_ = static_cast<float>(static_cast<double>(next_) / static_cast<double>(frames()));
        return kDone;
    }
    int32_t seek(float fraction) override {
        const double frame = static_cast<double>(fraction) * static_cast<double>(frames());
        next_ = static_cast<int64_t>(frame) / 1152 * 1152;
        position_ = fraction;
        return 1;
    }

private:
    int64_t frames() const { return static_cast<int64_t>(pcm_->size() / 2); }

    std::shared_ptr<const std::vector<int16_t>> pcm_;
    int64_t next_ = 0;
};

// A generated dance track: a kick on every beat, the first at frame 0.
struct BeatTrack {
    double bpm = 120.0;
    std::shared_ptr<const std::vector<int16_t>> pcm;

    // Each track is rendered once per process.
    explicit BeatTrack(double beatsPerMinute, double seconds = 30.0, uint32_t seed = 1)
        : bpm(beatsPerMinute) {
        using Pcm = std::shared_ptr<const std::vector<int16_t>>;
        static std::map<std::tuple<double, double, uint32_t>, Pcm> made;
        Pcm& track = made[{beatsPerMinute, seconds, seed}];
        if (!track) {
            const synth::Params params{.bpm = beatsPerMinute, .seconds = seconds, .seed = seed};
            track =
                std::make_shared<const std::vector<int16_t>>(synth::toPcm16(synth::render(params)));
        }
        pcm = track;
    }

    int64_t frames() const { return static_cast<int64_t>(pcm->size() / 2); }
    double framesPerBeat() const { return 60.0 * 44100.0 / bpm; }
    // Where in its beat (0..1) the source frame at track fraction `position` lies.
    double beatPhaseAt(float position) const {
        const double frame = static_cast<double>(position) * static_cast<double>(frames());
        const double beats = frame / framesPerBeat();
        return beats - std::floor(beats);
    }
    DeckStream::Readers readers() const {
        DeckStream::Readers r;
        r.wav = std::make_unique<PcmReader>(pcm);
        r.mp3 = std::make_unique<PcmReader>(pcm);
        r.sndfile = std::make_unique<PcmReader>(pcm);
        return r;
    }
};

}  // namespace spinlorex::test
