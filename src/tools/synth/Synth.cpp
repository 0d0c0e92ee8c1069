#include "tools/synth/Synth.h"

#include <lame/lame.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>

#include "platform/core/AsciiText.h"
#include "platform/core/WavFileWriter.h"

namespace spinlorex::synth {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double midiToHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Deterministic noise for the hats.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed * 747796405u + 2891336453u) {}
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<int32_t>(state_)) / 2147483648.0;
    }

private:
    uint32_t state_;
};

// A minor-key four-chord loop, one chord per bar: roots and triads as MIDI notes.
struct Chord {
    int root;
    int notes[3];
};
constexpr Chord kProgression[4] = {
    {45, {57, 60, 64}},  // A minor
    {41, {57, 60, 65}},  // F major
    {48, {55, 60, 64}},  // C major
    {43, {55, 59, 62}},  // G major
};

// The four chords of `key` (see Params::key): triads voiced between A3 and G#4, the bass
// two octaves below the root.
std::array<Chord, 4> progressionOf(int32_t key) {
    if (key < 1 || key > 24)
        return {kProgression[0], kProgression[1], kProgression[2], kProgression[3]};
    const bool minor = key > 12;
    const int tonic = (key - 1) % 12;
    auto triad = [](int root, bool minorThird) {
        int r = 57 + ((root - 57) % 12 + 12) % 12;  // the root between A3 and G#4
        return Chord{r - 24, {r, r + (minorThird ? 3 : 4), r + 7}};
    };
    const Chord first = triad(tonic, minor);
    return {first, triad(tonic + 5, minor), triad(tonic + 7, false), first};
}

}  // namespace

std::vector<float> render(const Params& p) {
    const int32_t rate = std::max<int32_t>(p.sampleRate, 1000);
    const int32_t channels = p.channels == 1 ? 1 : 2;
    const int64_t frames = std::max<int64_t>(0, std::llround(p.seconds * rate));
    const double bpm = std::clamp(p.bpm, 20.0, 400.0);
    const double beat = 60.0 / bpm;  // seconds per beat
    // The intro may run at a tempo of its own; the body's beats follow on from its end.
    const double introBeat = p.introBpm > 0.0 ? 60.0 / std::clamp(p.introBpm, 20.0, 400.0) : beat;
    const double introSeconds = std::max(p.introBeats, 0) * introBeat;
    std::vector<float> out(static_cast<size_t>(frames * channels));
    Noise noise(p.seed);
    double hatState = 0.0;  // one-pole high-pass memory for the hats
    double lastNoise = 0.0;
    const std::array<Chord, 4> progression = progressionOf(p.key);
    const int voicingShift = static_cast<int>(p.seed % 3) * 12 - 12;  // -12, 0 or +12 on the pad

    for (int64_t i = 0; i < frames; ++i) {
        // The music starts `startOffset` seconds in; before that only silence.
        const double t = static_cast<double>(i) / rate - p.startOffset;
        if (t < 0.0) continue;
        // Time within the current section (the whole track when the intro keeps its tempo).
        const bool body = p.introBpm > 0.0 && t >= introSeconds;
        const double beatLength = p.introBpm > 0.0 && !body ? introBeat : beat;
        const double sectionT = body ? t - introSeconds : t;
        const double beatPos = (body ? p.introBeats : 0) + sectionT / beatLength;
        const int64_t beatIndex = static_cast<int64_t>(beatPos);
        const double inBeat =
            (beatPos - static_cast<double>(beatIndex)) * beatLength;  // seconds since the beat
        const Chord& chord = progression[static_cast<size_t>((beatIndex / 4) % 4)];
        const bool kickOn = !p.beatless && (beatIndex >= p.introBeats || p.introKick);

        // Kick: a sine whose pitch falls hyperbolically, 300 Hz at the attack, 100 Hz after
        // 80 ms, 50 Hz in its body, with a fast decay, on every beat.
        double kick = 0.0;
        if (kickOn && inBeat < 0.35) {
            constexpr double f0 = 300.0, tau = 0.04;
            const double phase = kTwoPi * f0 * tau * std::log(1.0 + inBeat / tau);
            kick = std::sin(phase) * std::exp(-9.0 * inBeat);
        }

        // Hats: high-passed noise on the off-beat eighths.
        const double eighth = beatLength / 2.0;
        const double inEighth = std::fmod(sectionT, eighth);
        const bool offBeat = (static_cast<int64_t>(sectionT / eighth) % 2) == 1;
        const double n = noise.next();
        hatState = 0.6 * (hatState + n - lastNoise);
        lastNoise = n;
        const double hat = offBeat && !p.beatless ? hatState * std::exp(-60.0 * inEighth) : 0.0;

        // Bass: the chord's root on the off-beat eighths, a soft square-ish tone.
        double bass = 0.0;
        if (kickOn && offBeat) {
            const double f = midiToHz(chord.root);
            const double s = std::sin(kTwoPi * f * t);
            bass = (s + 0.3 * std::sin(3.0 * kTwoPi * f * t)) * std::exp(-6.0 * inEighth) *
                   std::min(1.0, inEighth * 400.0);
        }

        // Chords: a soft pad of the triad, swelling over each bar.
        double pad = 0.0;
        for (int note : chord.notes) {
            const double f = midiToHz(note + voicingShift);
            pad += std::sin(kTwoPi * f * t) + 0.25 * std::sin(2.0 * kTwoPi * f * t + 0.5);
        }
        const double barPos = std::fmod(beatPos, 4.0) / 4.0;
        pad *= 0.5 + 0.5 * std::sin(std::numbers::pi * barPos);

        const double mono = 0.55 * kick + 0.25 * bass + 0.07 * pad;
        const double left = mono + 0.10 * hat;
        const double right = mono + 0.06 * hat;
        const double g = std::clamp(p.gain, 0.0, 1.0);
        if (channels == 1) {
            out[static_cast<size_t>(i)] =
                static_cast<float>(std::clamp(g * (left + right) / 2, -1.0, 1.0));
        } else {
            out[static_cast<size_t>(2 * i)] = static_cast<float>(std::clamp(g * left, -1.0, 1.0));
            out[static_cast<size_t>(2 * i + 1)] =
                static_cast<float>(std::clamp(g * right, -1.0, 1.0));
        }
    }
    return out;
}

std::vector<float> tone(double hz, double seconds, int32_t sampleRate, int32_t channels,
                        double amplitude) {
    const int64_t frames = std::max<int64_t>(0, std::llround(seconds * sampleRate));
    const auto c = static_cast<size_t>(std::max(channels, 1));
    std::vector<float> out(static_cast<size_t>(frames) * c);
    for (int64_t i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(
            amplitude * std::sin(kTwoPi * hz * static_cast<double>(i) / sampleRate));
        std::fill_n(out.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(i) * c), c, v);
    }
    return out;
}

std::vector<int16_t> toPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> pcm(samples.size());
    std::transform(samples.begin(), samples.end(), pcm.begin(), [](float s) {
        return static_cast<int16_t>(std::clamp<long>(std::lround(s * 32767.0), -32768, 32767));
    });
    return pcm;
}

bool writeWav(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
              int32_t channels, int32_t bitsPerSample) {
    WavFileWriter writer;
    if (!writer.open(path, sampleRate, channels, bitsPerSample)) return false;
    const int32_t width = bitsPerSample / 8;
    std::vector<uint8_t> bytes(samples.size() * static_cast<size_t>(width));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double s = std::clamp(static_cast<double>(samples[i]), -1.0, 1.0);
        uint8_t* b = &bytes[i * static_cast<size_t>(width)];
        if (bitsPerSample == 8) {
            b[0] = static_cast<uint8_t>(std::clamp<long>(std::lround(s * 127.0) + 128, 0, 255));
        } else {
            // Full-scale integer of the requested width, little-endian.
            const double scale = std::ldexp(1.0, bitsPerSample - 1) - 1.0;
            const int64_t v = std::llround(s * scale);
            for (int k = 0; k < width; ++k)
                b[k] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k));
        }
    }
    const bool wrote = writer.writeBytes(bytes.data(), bytes.size());
    return writer.finish() && wrote;
}

bool writeMp3(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
              int32_t channels, int32_t kbps) {
    std::unique_ptr<lame_global_flags, decltype(&lame_close)> lame(lame_init(), &lame_close);
    if (!lame) return false;
    lame_set_num_channels(lame.get(), channels);
    lame_set_in_samplerate(lame.get(), sampleRate);
    lame_set_out_samplerate(lame.get(), sampleRate);
    lame_set_brate(lame.get(), kbps);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_mode(lame.get(), channels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(lame.get(), 5);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) return false;

    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb+"),
                                                            &std::fclose);
    if (!file) return false;

    const std::vector<int16_t> pcm = toPcm16(samples);
    const int32_t frames = static_cast<int32_t>(pcm.size() / static_cast<size_t>(channels));
    constexpr int32_t kChunk = 8192;
    std::vector<unsigned char> mp3(static_cast<size_t>(kChunk) * 5 / 4 + 7200);
    for (int32_t at = 0; at < frames; at += kChunk) {
        const int32_t n = std::min(kChunk, frames - at);
        int written;
        if (channels == 1) {
            const int16_t* s = &pcm[static_cast<size_t>(at)];
            written =
                lame_encode_buffer(lame.get(), s, s, n, mp3.data(), static_cast<int>(mp3.size()));
        } else {
            written = lame_encode_buffer_interleaved(
                lame.get(), const_cast<int16_t*>(&pcm[static_cast<size_t>(at) * 2]), n, mp3.data(),
                static_cast<int>(mp3.size()));
        }
        if (written < 0) return false;
        if (std::fwrite(mp3.data(), 1, static_cast<size_t>(written), file.get()) !=
            static_cast<size_t>(written))
            return false;
    }
    const int tail = lame_encode_flush(lame.get(), mp3.data(), static_cast<int>(mp3.size()));
    if (tail < 0) return false;
    if (std::fwrite(mp3.data(), 1, static_cast<size_t>(tail), file.get()) !=
        static_cast<size_t>(tail))
        return false;
    lame_mp3_tags_fid(lame.get(), file.get());  // completes the Xing/Info frame
    return std::fflush(file.get()) == 0;
}

bool writeSndfile(const std::string& path, const std::vector<float>& samples, int32_t sampleRate,
                  int32_t channels, int32_t bitsPerSample) {
    const std::string extension =
        ascii::toLower(path.substr(std::min(path.size(), path.rfind('.'))));
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    if (extension == ".flac") {
        info.format = SF_FORMAT_FLAC | (bitsPerSample == 8    ? SF_FORMAT_PCM_S8
                                        : bitsPerSample == 24 ? SF_FORMAT_PCM_24
                                                              : SF_FORMAT_PCM_16);
    } else if (extension == ".ogg" || extension == ".oga") {
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    } else if (extension == ".opus") {
        info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    } else if (extension == ".wav") {
        info.format = SF_FORMAT_WAV | (bitsPerSample == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
    } else {
        return false;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    // Integer codecs scale by 32768 from float; full scale stays within range.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The lossy codecs at their best quality (lossless ones are unaffected in what they
    // keep).
    double level = 0.0;
    sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    const auto frames =
        static_cast<sf_count_t>(samples.size() / static_cast<size_t>(std::max(channels, 1)));
    // In pieces: the Vorbis encoder cannot take minutes of audio in one call.
    constexpr sf_count_t kPiece = 8192;
    bool wrote = true;
    for (sf_count_t at = 0; at < frames && wrote; at += kPiece) {
        const sf_count_t n = std::min(kPiece, frames - at);
        wrote = sf_writef_float(file, samples.data() + at * channels, n) == n;
    }
    return sf_close(file) == 0 && wrote;
}

}  // namespace spinlorex::synth
