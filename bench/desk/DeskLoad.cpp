// The whole desk under load, as a DJ runs it: two generated tracks playing on both decks
// in the real desk window. Prints the process's share of one core and the rhythm strip's
// pictures per second over a stretch of playing, then how long the sound stops when the
// audio engine is rebuilt under both playing decks (as the sound configuration dialog
// does) and whether the decks kept their place.
//
//   xvfb-run -a build/bench/spinlorex_desk_bench [--seconds S] [--rebuilds N] [--output-mode M]
//   [--trace]
//
// The desk starts in output mode M (0 when not given); the rebuilds alternate between
// the soft mix (mode 1) and M, or mode 0 when M is 1. The sound stops while the engine is
// rebuilt (the "call" time) and until the new stream's first callback; the heard positions
// must then go on where they were, so they keep in step with the clock. --trace prints
// both decks' progress every 50 ms after each rebuild.
//
// With PulseAudio's null sink, run a low-latency client on it (pacat --latency-msec=20
// /dev/zero): alone, the null sink starts new streams only at the end of its current
// block of up to two seconds, which no sound card does.
//
// SPINLOREX_AUDIO chooses the sound backend as for the desk (null when unset, so that it
// runs on machines without sound).

#include <sys/resource.h>

#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/TrackNames.h"
#include "audio/DeckPair.h"
#include "auxwindows/RhythmWindow.h"
#include "desk/MixingDesk.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "tools/synth/Synth.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace spinlorex;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for a while, as the desk's own loop would.
void runFor(double secondsToRun) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(secondsToRun * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Where a deck is heard, in seconds of its track.
double heardSeconds(const DeckStream& deck) { return double(deck.position()) * deck.duration(); }

}  // namespace

int main(int argc, char** argv) {
    double playSeconds = 10;
    int rebuilds = 5;
    int outputMode = 0;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--trace") {
            trace = true;
            continue;
        }
        if (i + 1 >= argc) break;
        if (option == "--seconds")
            playSeconds = std::max(1.0, std::atof(argv[i + 1]));
        else if (option == "--rebuilds")
            rebuilds = std::max(0, std::atoi(argv[i + 1]));
        else if (option == "--output-mode")
            outputMode = std::clamp(std::atoi(argv[i + 1]), 0, 10);
        ++i;
    }
    setenv("SPINLOREX_AUDIO",
           std::getenv("SPINLOREX_AUDIO") ? std::getenv("SPINLOREX_AUDIO") : "null", 1);
    const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                       ("spinlorex-desk-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(home / "config");
    setenv("SPINLOREX_CONFIG_DIR", (home / "config").c_str(), 1);

    QApplication app(argc, argv);
    settings().resetToDefaults();
    settings().homeFolder = home.string();
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);
    set(settings().outputMode, outputMode);

    std::vector<std::string> tracks;
    for (const double bpm : {126.0, 128.0}) {
        synth::Params p;
        p.bpm = bpm;
        p.seconds = static_cast<int>(playSeconds + 10 * (rebuilds + 2) + 30);
        p.seed = static_cast<uint32_t>(bpm);
        tracks.push_back((home / ("Bench - " + std::to_string(int(bpm)) + ".wav")).string());
        synth::writeWav(tracks.back(), synth::render(p), 44100, 2, 16);
    }

    int status = 0;
    {
        DeskApp desk;
        if (!desk.create()) {
            std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
            std::filesystem::remove_all(home);
            return 1;
        }
        desk.window().show();
        MixingDesk& logic = *desk.desk();
        DeckPair& decks = *desk.decks();
        for (int d = 0; d < 2; ++d) {
            logic.dropOntoDeck(d, trackEntryForFile(tracks[static_cast<size_t>(d)]));
            logic.transport().playPause(d);
        }
        runFor(2);  // both decks up and the strip filled

        const uint64_t frames0 = desk.rhythm()->framesDrawn();
        const double cpu0 = cpuSeconds();
        const auto wall0 = Clock::now();
        runFor(playSeconds);
        const double wall = seconds(Clock::now() - wall0);
        const double cpu = cpuSeconds() - cpu0;
        const double fps = double(desk.rhythm()->framesDrawn() - frames0) / wall;
        std::printf(
            "both decks playing for %.1f s: desk %.1f %% of one core, rhythm strip %.1f "
            "pictures/s\n",
            wall, 100 * cpu / wall, fps);
        if (!decks[0].playing() || !decks[1].playing()) {
            std::printf("a deck stopped while measuring\n");
            status = 1;
        }

        // The sound configuration applied under playing decks: the heard positions fall
        // behind the wall clock by exactly the time the sound stopped.
        std::vector<double> gaps, calls;
        for (int r = 0; r < rebuilds; ++r) {
            set(settings().outputMode, r % 2 == 0 ? (outputMode == 1 ? 0 : 1) : outputMode);
            const auto t0 = Clock::now();
            const double p0 = heardSeconds(decks[0]), q0 = heardSeconds(decks[1]);
            desk.suspendRhythm();
            desk.rebuildAudioEngine();
            desk.resumeRhythm();
            const double call = seconds(Clock::now() - t0);
            if (trace)
                for (int k = 0; k < 30; ++k) {
                    runFor(0.05);
                    std::printf("  %.3f  %.3f %.3f\n", seconds(Clock::now() - t0),
                                heardSeconds(decks[0]) - p0, heardSeconds(decks[1]) - q0);
                }
            else
                runFor(1.5);
            const double elapsed = seconds(Clock::now() - t0);
            const double gap0 = elapsed - (heardSeconds(decks[0]) - p0);
            const double gap1 = elapsed - (heardSeconds(decks[1]) - q0);
            std::printf(
                "rebuild %d (output mode %d): call %.0f ms, heard positions behind the clock by "
                "%.0f / %.0f ms%s\n",
                r + 1, get(settings().outputMode), call * 1000, gap0 * 1000, gap1 * 1000,
                decks[0].playing() && decks[1].playing() ? "" : ", a deck stopped");
            gaps.push_back(std::max(std::abs(gap0), std::abs(gap1)));
            calls.push_back(call);
        }
        if (!gaps.empty())
            std::printf("longest rebuild %.0f ms, largest drift of a heard position %.0f ms\n",
                        *std::max_element(calls.begin(), calls.end()) * 1000,
                        *std::max_element(gaps.begin(), gaps.end()) * 1000);
        desk.destroy();
    }
    std::filesystem::remove_all(home);
    return status;
}
