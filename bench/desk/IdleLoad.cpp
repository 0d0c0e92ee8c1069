// What the desk costs while nothing happens, and while two decks play: the real desk
// window with its threads, measured over a stretch of wall time from the kernel's own
// accounting of every thread (/proc/self/task). Prints the process's share of one core and
// each thread's, first with both decks stopped, then with two generated tracks playing.
//
//   xvfb-run -a build/bench/spinlorex_idle_bench [--seconds S] [--playing-seconds P]
//                                                [--waveforms 1]
//
// S (default 60) is the idle stretch, P (default S) the playing one; the desk has shown
// itself for a few seconds before either starts. With --waveforms 1 the band shows both
// decks' waveforms instead of the rhythm strip, and first a 5-minute 192 kbit/s MP3 is
// loaded on deck 1: the time from the load until its whole overview can be drawn (its
// summary in the track's record) is printed, and the track stays loaded, stopped, while
// the idle stretch is measured. SPINLOREX_AUDIO chooses the sound backend
// as for the desk (null when unset).

#include <unistd.h>

#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/TrackNames.h"
#include "audio/DeckPair.h"
#include "auxwindows/WaveformBand.h"
#include "desk/MixingDesk.h"
#include "library/TrackRecord.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "tools/synth/Synth.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace spinlorex;
namespace fs = std::filesystem;

struct ThreadTime {
    std::string name;
    double seconds = 0;
};

// CPU time (user + system) of every thread of this process, by thread id.
std::map<int, ThreadTime> threadTimes() {
    std::map<int, ThreadTime> out;
    const double tick = double(sysconf(_SC_CLK_TCK));
    std::error_code error;
    for (fs::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error)) {
        std::ifstream in(it->path() / "stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // pid (comm) state ... utime stime: the 14th and 15th fields, counted after the
        // closing parenthesis since the name may hold spaces.
        const size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        out[std::stoi(it->path().filename().string())] = {text.substr(open + 1, close - open - 1),
                                                          double(utime + stime) / tick};
    }
    return out;
}

void runFor(double secondsToRun) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(secondsToRun * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop for `seconds` and prints the process's and each busy thread's share
// of one core meanwhile.
double measure(const char* what, double seconds) {
    const std::map<int, ThreadTime> before = threadTimes();
    const auto wall0 = Clock::now();
    runFor(seconds);
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const std::map<int, ThreadTime> after = threadTimes();
    double total = 0;
    std::vector<std::pair<double, std::string>> rows;
    for (const auto& [tid, time] : after) {
        const auto old = before.find(tid);
        const double used = time.seconds - (old != before.end() ? old->second.seconds : 0.0);
        total += used;
        if (used > 0)
            rows.emplace_back(100 * used / wall, time.name + " (" + std::to_string(tid) + ")");
    }
    std::sort(rows.rbegin(), rows.rend());
    std::printf("%s for %.1f s: desk %.2f %% of one core\n", what, wall, 100 * total / wall);
    for (const auto& [share, name] : rows) std::printf("  %6.2f %%  %s\n", share, name.c_str());
    std::fflush(stdout);
    return 100 * total / wall;
}

}  // namespace

int main(int argc, char** argv) {
    double idleSeconds = 60;
    double playingSeconds = -1;
    bool waveforms = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--seconds")
            idleSeconds = std::max(1.0, std::atof(argv[i + 1]));
        else if (option == "--playing-seconds")
            playingSeconds = std::max(1.0, std::atof(argv[i + 1]));
        else if (option == "--waveforms")
            waveforms = std::atoi(argv[i + 1]) != 0;
    }
    if (playingSeconds < 0) playingSeconds = idleSeconds;
    setenv("SPINLOREX_AUDIO",
           std::getenv("SPINLOREX_AUDIO") ? std::getenv("SPINLOREX_AUDIO") : "null", 1);
    const fs::path home =
        fs::temp_directory_path() / ("spinlorex-idle-bench-" + std::to_string(getpid()));
    fs::create_directories(home / "config");
    setenv("SPINLOREX_CONFIG_DIR", (home / "config").c_str(), 1);

    QApplication app(argc, argv);
    settings().resetToDefaults();
    settings().homeFolder = home.string();
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);
    set(settings().waveforms, waveforms ? 1 : 0);

    std::vector<std::string> tracks;
    for (const double bpm : {126.0, 128.0}) {
        synth::Params p;
        p.bpm = bpm;
        p.seconds = static_cast<int>(playingSeconds + 20);
        p.seed = static_cast<uint32_t>(bpm);
        tracks.push_back((home / ("Bench - " + std::to_string(int(bpm)) + ".wav")).string());
        synth::writeWav(tracks.back(), synth::render(p), 44100, 2, 16);
    }
    const std::string longTrack = (home / "Bench - five minutes.mp3").string();
    if (waveforms)
        synth::writeMp3(longTrack, synth::render({.bpm = 124.0, .seconds = 300}), 44100, 2, 192);

    int status = 0;
    {
        DeskApp desk;
        if (!desk.create()) {
            std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
            fs::remove_all(home);
            return 1;
        }
        desk.window().show();
        runFor(5);  // shown, the files list read, the sound thread settled
        MixingDesk& logic = *desk.desk();
        if (waveforms) {
            const auto loaded = Clock::now();
            logic.dropOntoDeck(0, trackEntryForFile(longTrack));
            const auto overview = [&]() -> const WaveformSummary* {
                const TrackEntry* track = (*desk.decks())[0].track();
                return track != nullptr && track->record != nullptr ? track->record->waveform.get()
                                                                    : nullptr;
            };
            while (overview() == nullptr && Clock::now() - loaded < std::chrono::seconds(20))
                runFor(0.002);
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - loaded).count();
            if (overview() == nullptr) {
                std::printf("no overview 20 s after the load\n");
                status = 1;
            } else {
                std::printf("5-minute MP3: whole overview %.0f ms after the load\n", ms);
            }
            runFor(3);
        }
        measure("both decks stopped", idleSeconds);

        for (int d = 0; d < 2; ++d) {
            logic.loadOntoDeck(d, trackEntryForFile(tracks[static_cast<size_t>(d)]));
            logic.transport().playPause(d);
        }
        runFor(2);
        const uint64_t pictures0 = waveforms ? desk.waveforms()->picturesDrawn() : 0;
        const auto playing0 = Clock::now();
        measure("both decks playing", playingSeconds);
        if (waveforms)
            std::printf("  waveforms: %.1f pictures a second\n",
                        double(desk.waveforms()->picturesDrawn() - pictures0) /
                            std::chrono::duration<double>(Clock::now() - playing0).count());
        if (!(*desk.decks())[0].playing() || !(*desk.decks())[1].playing()) {
            std::printf("a deck stopped while measuring\n");
            status = 1;
        }
        desk.destroy();
    }
    fs::remove_all(home);
    return status;
}
