#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/TrackReader.h"

namespace spinlorex::test {

// A reader of a made-up track whose every frame tells its own index: left holds the low
// 15 bits, right the next 15. Lets tests see exactly which source frame a deck rendered.
class FakeReader : public TrackReader {
public:
    struct Script {
        int32_t frames = 44100 * 20;  // track length (a multiple of 44100 keeps positions exact)
        bool failOpen = false;
        int32_t errorAtBlock = -1;    // decodeBlock returns -1 when delivering this block
        uint32_t fileSize = 123456;
    };

    explicit FakeReader(Script script) : script_(script) {}

    void setScript(const Script& script) { script_ = script; }

    int32_t open(const std::string&) override {
        next_ = 0;
        position_ = 0.0f;
        fileSize_ = script_.fileSize;
        duration_ = script_.failOpen ? 0 : script_.frames / 44100;
        opens.fetch_add(1);
        return duration_;
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

    std::atomic<int> opens{0};

private:
    Script script_;
    int32_t next_ = 0;
};

}  // namespace spinlorex::test
