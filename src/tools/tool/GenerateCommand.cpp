// spinlorex-tool generate / demo: synthetic tracks for tests, benchmarks and a first try.

#include <cstdio>
#include <filesystem>
#include <string>

#include "library/AudioFileTypes.h"
#include "tools/synth/Synth.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {
namespace {

bool writeTrack(const std::string& path, const std::vector<float>& samples, const synth::Params& p,
                int bits, bool floatSamples, int kbps) {
    if (hasExtension(path, ".mp3"))
        return synth::writeMp3(path, samples, p.sampleRate, p.channels, kbps);
    if (isSndfileFileName(path) || (floatSamples && isWavFileName(path)))
        return synth::writeSndfile(path, samples, p.sampleRate, p.channels, bits);
    if (isWavFileName(path)) return synth::writeWav(path, samples, p.sampleRate, p.channels, bits);
    return false;
}

}  // namespace

int generateCommand(const Args& args) {
    ArgParser a(args,
                {"--bpm", "--seconds", "--rate", "--channels", "--bits", "--kbps", "--seed",
                 "--key", "--intro-beats", "--intro-bpm", "--tone"},
                {"--float", "--intro-kick"});
    synth::Params p;
    p.bpm = a.number("--bpm", 120, 20, 400);
    p.seconds = a.number("--seconds", 30, 0, 7200);
    p.sampleRate = static_cast<int32_t>(a.integer("--rate", 44100, 1000, 384000));
    p.channels = static_cast<int32_t>(a.integer("--channels", 2, 1, 2));
    p.seed = static_cast<uint32_t>(a.integer("--seed", 1, 0, 0xFFFFFFFFLL));
    p.introBeats = static_cast<int32_t>(a.integer("--intro-beats", 0, 0, 1 << 20));
    p.introBpm = a.number("--intro-bpm", 0, 0, 400);
    p.introKick = a.flag("--intro-kick");
    p.key = static_cast<int32_t>(a.integer("--key", 0, 0, 24));
    const double toneHz = a.number("--tone", 0, 0, 192000);
    const bool floatSamples = a.flag("--float");
    const int bits = static_cast<int>(a.integer("--bits", floatSamples ? 32 : 16, 8, 64));
    const int kbps = static_cast<int>(a.integer("--kbps", 192, 8, 320));
    if (floatSamples ? (bits != 32 && bits != 64)
                     : (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        std::fprintf(stderr, "spinlorex-tool: --bits is 8, 16, 24 or 32 (32 or 64 with --float)\n");
        return 2;
    }
    if (!a.ok() || a.positional().size() != 1) {
        std::fprintf(
            stderr,
            "usage: spinlorex-tool generate [--bpm B] [--seconds S] [--rate R] [--channels 1|2]\n"
            "       [--bits 8|16|24|32] [--float] [--kbps K] [--seed N] [--intro-beats N]\n"
            "       [--intro-bpm B] [--intro-kick] [--tone HZ] [--key 1..24]\n"
            "       OUT.wav|.mp3|.flac|.ogg|.oga|.opus\n");
        return 2;
    }
    const std::string& out = a.positional()[0];
    // A tone at half of full scale, or the music.
    const std::vector<float> samples =
        toneHz > 0 ? synth::tone(toneHz, p.seconds, p.sampleRate, p.channels, 0.5)
                   : synth::render(p);
    if (!writeTrack(out, samples, p, bits, floatSamples, kbps)) {
        std::fprintf(stderr, "spinlorex-tool: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int demoCommand(const Args& args) {
    ArgParser a(args, {"--seconds"}, {});
    const double seconds = a.number("--seconds", 150, 5, 3600);
    if (!a.ok() || a.positional().size() != 1) {
        std::fprintf(stderr, "usage: spinlorex-tool demo [--seconds S] FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = a.positional()[0];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    struct Demo {
        const char* name;
        double bpm;
        uint32_t seed;
    };
    for (const Demo& d : {Demo{"Spinlorex Demo - Warm Up (120 BPM).mp3", 120, 1},
                          Demo{"Spinlorex Demo - Night Drive (124 BPM).mp3", 124, 2},
                          Demo{"Spinlorex Demo - Peak Time (128 BPM).mp3", 128, 3}}) {
        synth::Params p;
        p.bpm = d.bpm;
        p.seconds = seconds;
        p.seed = d.seed;
        p.introBeats = 16;
        const std::string path = (folder / d.name).string();
        if (std::filesystem::exists(path)) continue;
        if (!writeTrack(path, synth::render(p), p, 16, false, 192)) {
            std::fprintf(stderr, "spinlorex-tool: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

}  // namespace spinlorex::tool
