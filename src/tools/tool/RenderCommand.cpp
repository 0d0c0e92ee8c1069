// spinlorex-tool render: a track loaded on a deck, sought and played at a pitch, maybe
// through a DSP plug-in module, and what the deck renders written as a 44100 Hz 16-bit
// stereo WAV file, as fast as possible.

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/LoopedSource.h"
#include "audio/WholeTrackAnalysis.h"
#include "platform/core/ProcessSignals.h"
#include "platform/core/WavFileWriter.h"
#include "platform/settings/Settings.h"
#include "plugins/DspPlugin.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"
#include "tools/tool/OfflineSession.h"

namespace spinlorex::tool {
namespace {

// A wheel's path: its running total of turns at times in seconds, straight between them.
using WheelPath = std::vector<std::pair<double, double>>;

struct RenderTarget {
    WavFileWriter writer;
    int64_t framesLeft;  // negative: until the track ends
    bool writeFailed = false;
    DeckStream* deck = nullptr;  // the deck a wheel path turns
    WheelPath path;
    int64_t written = 0;
    double turned = 0.0;
};

// "T0:TURNS,T1:TURNS,..." with times rising from 0; empty when malformed.
WheelPath parseWheelPath(const std::string& text) {
    WheelPath path;
    std::istringstream in(text);
    std::string point;
    while (std::getline(in, point, ',')) {
        double t = 0.0;
        double turns = 0.0;
        char colon = 0;
        std::istringstream p(point);
        if (!(p >> t >> colon >> turns) || colon != ':' || !std::isfinite(t) ||
            !std::isfinite(turns) || t < 0.0 || std::abs(turns) > 1e6 ||
            (!path.empty() && t <= path.back().first))
            return {};
        path.emplace_back(t, turns);
    }
    return path;
}

// The path's total of turns at `seconds`.
double turnsAt(const WheelPath& path, double seconds) {
    if (seconds <= path.front().first) return path.front().second;
    for (size_t i = 1; i < path.size(); ++i) {
        const auto [t1, v1] = path[i];
        if (seconds < t1) {
            const auto [t0, v0] = path[i - 1];
            return v0 + (v1 - v0) * (seconds - t0) / (t1 - t0);
        }
    }
    return path.back().second;
}

bool writeFrames(void* context, const int16_t* frames, int32_t count) {
    auto* target = static_cast<RenderTarget*>(context);
    int32_t n = count;
    if (target->framesLeft >= 0 && n > target->framesLeft)
        n = static_cast<int32_t>(target->framesLeft);
    if (!target->writer.writeFrames(frames, n)) target->writeFailed = true;
    if (target->framesLeft >= 0) target->framesLeft -= n;
    target->written += n;
    if (target->deck != nullptr) {
        // The wheel moves on as the audio does: in a burst with each chunk rendered.
        const double turns = turnsAt(target->path, static_cast<double>(target->written) / 44100.0);
        target->deck->turnWheel(turns - target->turned);
        target->turned = turns;
    }
    return target->framesLeft != 0 && !target->writeFailed && !StopSignals::stopRequested();
}

// "FILE" or "FILE:MODULE"; the suffix counts only when it is a number, so a path with a
// colon of its own still works.
std::pair<std::string, int32_t> splitPluginArgument(const std::string& argument) {
    const size_t colon = argument.rfind(':');
    if (colon == std::string::npos || colon + 1 == argument.size() ||
        colon + 10 < argument.size() ||
        argument.find_first_not_of("0123456789", colon + 1) != std::string::npos)
        return {argument, 0};
    return {argument.substr(0, colon), std::stoi(argument.substr(colon + 1))};
}

// "N", "N.M" or "N/M" beats; 0 when it is none of them.
double parseBeats(const std::string& text) {
    char* end = nullptr;
    double beats = std::strtod(text.c_str(), &end);
    if (end != nullptr && *end == '/') {
        const char* divisor = end + 1;
        const double d = std::strtod(divisor, &end);
        beats = d > 0.0 ? beats / d : 0.0;
    }
    if (end == nullptr || *end != '\0' || !(beats > 0.0) || beats > 64.0) return 0.0;
    return beats;
}

// The loop of `beats` beats from the beat of the track's grid nearest `at` (a fraction of
// the track), found by the whole-track analysis; an invalid span without a grid there.
LoopSpan beatLoop(const std::string& path, double beats, double at, int64_t trackFrames) {
    DeckStream::Readers readers = measuringReaders();
    TrackReader* reader = readers.forPath(path);
    if (reader == nullptr) return {};
    const WholeTrackResult result = analyseWholeTrack(
        *reader, path, nullptr, {.fitGrid = true, .summarise = false, .detectKey = false});
    const double seconds = at * static_cast<double>(trackFrames) / 44100.0;
    const GridSection* section = result.grid.sectionAt(seconds);
    if (section == nullptr) return {};
    return {std::llround(section->nearestBeat(seconds) * 44100.0),
            beats * section->beatLength * 44100.0};
}

}  // namespace

int renderCommand(const Args& args) {
    ArgParser a(args,
                {"--pitch", "--from", "--seconds", "--dsp", "--loop", "--loop-at", "--quality",
                 "--key-shift", "--scratch"},
                {"--master-tempo"});
    const auto pitch = static_cast<int32_t>(a.integer("--pitch", kNormalPitch, 1, 1 << 20));
    const double from = a.number("--from", 0.0, 0.0, 1.0);
    const auto keyShift = static_cast<int32_t>(a.integer("--key-shift", 0, -6, 6));
    const std::string quality = a.value("--quality").value_or("standard");
    const double loopAt = a.number("--loop-at", from, 0.0, 1.0);
    const auto loopBeats = a.value("--loop");
    const double beats = loopBeats ? parseBeats(*loopBeats) : 0.0;
    // A loop plays for ever: 30 seconds unless said otherwise.
    const auto scratch = a.value("--scratch");
    const WheelPath path = scratch ? parseWheelPath(*scratch) : WheelPath{};
    // A wheel path renders until its last point.
    const double seconds = a.number("--seconds",
                                    loopBeats       ? 30.0
                                    : !path.empty() ? path.back().first
                                                    : -1.0,
                                    0.0, 24.0 * 3600);
    if (!a.ok() || a.positional().size() != 2 || (loopBeats && beats == 0.0) ||
        (scratch && (path.empty() || loopBeats)) || (quality != "standard" && quality != "high")) {
        std::fprintf(
            stderr,
            "usage: spinlorex-tool render [--pitch N] [--master-tempo] [--quality Q] "
            "[--key-shift K] [--from F] [--seconds S] [--dsp PLUGIN[:MODULE]] "
            "[--loop BEATS [--loop-at L]] [--scratch T:TURNS,...] IN OUT.wav\n"
            "  N: pitch x 4096 (4096 = normal speed), Q: master tempo's quality, standard "
            "(default) or high, K: key shift in semitones (-6..6), F: start as a fraction of the "
            "track, S: seconds to render (default: to the end, 30 with a loop), "
            "PLUGIN: a DSP plug-in file whose module MODULE (default 0) runs on the "
            "deck, BEATS: a loop of that many beats (1/8 to 32, e.g. 4 or 1/2) from "
            "the beat of the track's grid nearest L (a fraction, default F), played from F or "
            "else from the loop's start; T:TURNS,...: a hand on the jog wheel from F, "
            "the wheel's total of turns (a turn is 1.8 s) at times T in seconds, straight "
            "between them (S defaults to the last T)\n");
        return 2;
    }
    const std::string& in = a.positional()[0];
    const std::string& out = a.positional()[1];

    std::unique_ptr<DspPlugin> plugin;
    if (const auto dsp = a.value("--dsp")) {
        const auto [file, module] = splitPluginArgument(*dsp);
        plugin = makeDspPlugin(file, module);
        if (!plugin) {
            std::fprintf(stderr, "spinlorex-tool: %s: not a DSP plug-in, or it has no module %d\n",
                         file.c_str(), module);
            return 1;
        }
    }

    set(settings().masterTempo, a.flag("--master-tempo") ? 1 : 0);
    set(settings().masterTempoQuality, quality == "high" ? 1 : 0);
    set(settings().autoMix, 0);
    set(settings().autoBpm, 0);
    set(settings().autoLevel, 0);

    OfflineSession session;
    if (const uint32_t status = session.load(in); status != kStatusNormal) {
        std::fprintf(
            stderr, "spinlorex-tool: %s: %s\n", in.c_str(),
            status == kStatusCannotOpen ? "the file cannot be opened" : "error in the audio data");
        return 1;
    }
    if (pitch < session.pitchMin() || pitch > session.pitchMax())
        std::fprintf(stderr, "spinlorex-tool: pitch %d is outside %d..%d; clamped\n", pitch,
                     session.pitchMin(), session.pitchMax());
    session.setPitch(pitch);
    session.deck().setKeyShift(keyShift);
    // Handed over as the plug-in dialog does: the deck switches on the sound thread.
    if (plugin) session.deck().setDspPlugin(std::move(plugin));

    // A stop signal ends the rendering early with a complete file of what was rendered.
    StopSignals stopSignals;
    RenderTarget target;
    target.framesLeft = seconds < 0 ? -1 : static_cast<int64_t>(seconds * 44100.0 + 0.5);
    if (!target.writer.open(out, 44100, 2, 16)) {
        std::fprintf(stderr, "spinlorex-tool: cannot create %s\n", out.c_str());
        return 1;
    }
    LoopSpan loop;
    if (loopBeats) {
        loop = beatLoop(in, beats, loopAt, session.deck().trackFrames());
        if (!loop.valid()) {
            std::fprintf(stderr, "spinlorex-tool: %s: no steady beat there to loop\n", in.c_str());
            return 1;
        }
        std::fprintf(stderr, "loop: frames %lld + %.3f\n", static_cast<long long>(loop.start),
                     loop.length);
    }
    // Without --from a loop plays from its start.
    const float start = loopBeats && !a.value("--from")
                            ? static_cast<float>(static_cast<double>(loop.start) /
                                                 static_cast<double>(session.deck().trackFrames()))
                            : static_cast<float>(from);
    if (!path.empty()) {
        target.deck = &session.deck();
        target.path = path;
        target.turned = turnsAt(path, 0.0);
    }
    if (target.framesLeft != 0 && !path.empty())
        session.scratchUntilDone(start, &writeFrames, &target);
    else if (target.framesLeft != 0)
        session.playUntilDone(start, &writeFrames, &target, loopBeats ? &loop : nullptr);
    const bool finished = target.writer.finish();
    if (target.writeFailed || !finished) {
        std::fprintf(stderr, "spinlorex-tool: writing %s failed\n", out.c_str());
        return 1;
    }
    if (session.status() != kStatusNormal) {
        std::fprintf(stderr, "spinlorex-tool: %s: error in the audio data\n", in.c_str());
        return 1;
    }
    return StopSignals::stopRequested() ? kInterrupted : 0;
}

}  // namespace spinlorex::tool
