#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A small generator of synthetic dance music (kick, hats, bass, chords) used by the tests,
// the benchmarks and the demo tracks. Deterministic for a given set of parameters.

namespace spinlorex::synth {

struct Params {
    double bpm = 120.0;
    double seconds = 30.0;
    int32_t sampleRate = 44100;
    int32_t channels = 2;      // 1 or 2
    uint32_t seed = 1;         // varies the hats' noise and the chord voicing
    int32_t introBeats = 0;    // beats of hats and chords before the kick comes in
    double introBpm = 0.0;     // the intro's own tempo (0: the track's)
    bool introKick = false;    // the kick plays through the intro too
    double gain = 0.5;         // peak level of the mix, 0..1
    double startOffset = 0.0;  // seconds of silence before the music (any fraction of a frame)
    bool beatless = false;     // the chords alone: no kick, hats or bass
    // 0: the loop in A minor of Am, F, C, G. 1..12: I, IV, V, I in C..B major, 13..24:
    // i, iv, V, i in C..B minor (chords and bass in that key).
    int32_t key = 0;
};

// Interleaved samples in -1..1.
std::vector<float> render(const Params& params);

// A sine of `hz` at `amplitude` (of full scale) on every channel, starting at phase 0.
std::vector<float> tone(double hz, double seconds, int32_t sampleRate, int32_t channels,
                        double amplitude);

// Writes PCM WAV with 8, 16, 24 or 32 bits per sample. False on a write failure.
bool writeWav(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
              int32_t channels, int32_t bitsPerSample);

// Encodes a constant-bit-rate MP3 through LAME at the samples' own rate. False on failure.
bool writeMp3(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
              int32_t channels, int32_t kbps);

// Writes through libsndfile, the container and codec chosen by the path's extension:
// ".flac" (8, 16 or 24 bits), ".ogg" or ".oga" (Vorbis), ".opus" (Opus, at 8, 12, 16, 24 or
// 48 kHz), ".wav" (float samples of 32 or 64 bits). False on failure.
bool writeSndfile(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
                  int32_t channels, int32_t bitsPerSample = 16);

// 16-bit conversion with rounding and saturation.
std::vector<int16_t> toPcm16(const std::vector<float>& samples);

}  // namespace spinlorex::synth
