#pragma once

// A made-up track of one constant frame (silence with 0, 0): nothing for the beat analyser
// to find, so the tempo and beat markers a test sets stay as it set them, and a level
// heard at the output tells which deck and gain made it.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/DeckStream.h"
#include "audio/TrackReader.h"

namespace spinlorex::test {

class ConstantReader : public TrackReader {
public:
    ConstantReader(int16_t left, int16_t right, int32_t seconds = 60)
        : left_(left), right_(right), seconds_(seconds) {}
    int32_t open(const std::string&) override {
        next_ = 0, position_ = 0.0f, fileSize_ = 1000;
        return duration_ = seconds_;
    }
    void close() override {}
    int32_t decodeBlock(int16_t* dest) override {
        if (next_ + 1152 > int64_t{seconds_} * 44100) return kEnd;
        for (int i = 0; i < 1152; ++i) {
            dest[2 * i] = left_;
            dest[2 * i + 1] = right_;
        }
        next_ += 1152;
        position_ = static_cast<float>(static_cast<double>(next_) / (seconds_ * 44100.0));
        return kDone;
    }
    int32_t seek(float fraction) override {
        next_ = static_cast<int64_t>(fraction * seconds_ * 44100.0) / 1152 * 1152;
        position_ = fraction;
        return 1;
    }

private:
    int16_t left_, right_;
    int32_t seconds_;
    int64_t next_ = 0;
};

// A deck's readers, for every kind of file alike, of the constant track.
inline DeckStream::Readers constantReaders(int16_t left, int16_t right, int32_t seconds = 60) {
    DeckStream::Readers r;
    r.wav = std::make_unique<ConstantReader>(left, right, seconds);
    r.mp3 = std::make_unique<ConstantReader>(left, right, seconds);
    r.sndfile = std::make_unique<ConstantReader>(left, right, seconds);
    return r;
}

// A made-up track whose frame n holds sample(n) on both sides: a tone, or a ramp that
// tells which frame of the track is heard.
class SignalReader : public TrackReader {
public:
    SignalReader(std::function<int16_t(int64_t)> sample, int32_t seconds)
        : sample_(std::move(sample)), seconds_(seconds) {}
    int32_t open(const std::string&) override {
        next_ = 0, position_ = 0.0f, fileSize_ = 1000;
        return duration_ = seconds_;
    }
    void close() override {}
    int32_t decodeBlock(int16_t* dest) override {
        if (next_ + 1152 > int64_t{seconds_} * 44100) return kEnd;
        for (int i = 0; i < 1152; ++i) dest[2 * i] = dest[2 * i + 1] = sample_(next_ + i);
        next_ += 1152;
        position_ = static_cast<float>(static_cast<double>(next_) / (seconds_ * 44100.0));
        return kDone;
    }
    int32_t seek(float fraction) override {
        next_ = static_cast<int64_t>(fraction * seconds_ * 44100.0) / 1152 * 1152;
        position_ = fraction;
        return 1;
    }

private:
    std::function<int16_t(int64_t)> sample_;
    int32_t seconds_;
    int64_t next_ = 0;
};

inline DeckStream::Readers signalReaders(const std::function<int16_t(int64_t)>& sample,
                                         int32_t seconds) {
    DeckStream::Readers r;
    r.wav = std::make_unique<SignalReader>(sample, seconds);
    r.mp3 = std::make_unique<SignalReader>(sample, seconds);
    r.sndfile = std::make_unique<SignalReader>(sample, seconds);
    return r;
}

}  // namespace spinlorex::test
