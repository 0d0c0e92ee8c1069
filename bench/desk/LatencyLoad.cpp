// How long the desk's event loop goes without a turn (the desk draws, and answers the
// mouse and the keys, on that loop) while the disk is slow or does not answer:
//
//   1. a FIFO named like a track dropped on a deck;
//   2. a 10-minute MP3 loaded on a deck;
//   3. the same MP3 on a disk where every read takes 20 ms (a network share), and on one
//      that takes 2 s to answer an open (a sleeping USB disk);
//   4. a track on a share that never answers dropped on a deck, and then the desk closed
//      while that load hangs (how long the close takes);
//   5. 2,000 tracks of the files list analysed and stored in the background.
//
//   build/bench/spinlorex_latency_bench [--tracks N]   (QT_QPA_PLATFORM=offscreen, or xvfb-run -a)
//
// The slow and hung disks are made by the test suite's file shim (LD_PRELOAD): the bench
// starts itself again with it. Targets: no pause above 50 ms; the close within 1 s.

#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "LoopWatch.h"
#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/TrackNames.h"
#include "app/library/LibraryBrowser.h"
#include "audio/DeckLinks.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/MixingDesk.h"
#include "library/FolderListing.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "tools/synth/Synth.h"

namespace {

using namespace spinlorex;
using bench::Clock;
namespace fs = std::filesystem;
using bench::LoopWatch;
using bench::ms;

// Runs the loop until `done` or `limit` seconds; false at the limit.
template <typename Condition>
bool runUntil(Condition done, double limit) {
    const auto end = Clock::now() + std::chrono::duration<double>(limit);
    while (!done()) {
        if (Clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void runFor(double seconds) {
    runUntil([] { return false; }, seconds);
}

bool loading(MixingDesk& desk, int d) { return desk.deckInfo(d).status == kStatusLoading; }

int report(const char* what, double pause, double limit = 50.0) {
    std::printf("%-62s longest pause %6.1f ms (target %.0f)\n", what, pause, limit);
    return pause <= limit ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int tracks = 2000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--tracks") == 0) tracks = std::max(1, std::atoi(argv[i + 1]));

    // The slow and hung disks: this program again, with the shim preloaded.
    if (std::getenv("SPINLOREX_LATENCY_SHIM") == nullptr && fs::exists(SPINLOREX_SLOW_FILES)) {
        setenv("SPINLOREX_LATENCY_SHIM", "1", 1);
        setenv("LD_PRELOAD", SPINLOREX_SLOW_FILES, 1);
        execv("/proc/self/exe", argv);
        std::perror("restarting with the file shim");
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SPINLOREX_AUDIO",
           std::getenv("SPINLOREX_AUDIO") ? std::getenv("SPINLOREX_AUDIO") : "null", 1);
    const fs::path root =
        fs::temp_directory_path() / ("spinlorex-latency-bench-" + std::to_string(getpid()));
    for (const char* sub : {"config", "home", "crate", "slow-disk", "hung-share"})
        fs::create_directories(root / sub);
    setenv("SPINLOREX_CONFIG_DIR", (root / "config").c_str(), 1);
    QApplication app(argc, argv);

    std::printf("writing a 10-minute MP3 and %d tracks to analyse...\n", tracks);
    synth::Params p;
    p.seconds = 600;
    const std::string longTrack = (root / "home" / "Long - Ten Minutes.mp3").string();
    synth::writeMp3(longTrack, synth::render(p), 44100, 2, 192);
    const std::string slowTrack = (root / "slow-disk" / "Long - Ten Minutes.mp3").string();
    fs::copy_file(longTrack, slowTrack);
    // One short track under many names: each name is a track of its own to the database.
    p.seconds = 8;
    const fs::path shortTrack = root / "short.wav";
    synth::writeWav(shortTrack.string(), synth::render(p), 44100, 2, 16);
    for (int i = 0; i < tracks; ++i)
        fs::create_hard_link(shortTrack,
                             root / "crate" / ("Artist - Track " + std::to_string(i) + ".wav"));
    const std::string hungTrack = (root / "hung-share" / "Artist - Stuck.mp3").string();
    fs::copy_file(shortTrack, hungTrack);
    const std::string fifo = (root / "home" / "Artist - Pipe.mp3").string();
    ::mkfifo(fifo.c_str(), 0600);

    // From now on the shim slows and hangs the disks (it reads these at every call).
    setenv("SPINLOREX_SLOW_PATH", "slow-disk", 1);
    setenv("SPINLOREX_SLOW_READ_US", "20000", 1);
    setenv("SPINLOREX_HANG_OPEN_PATH", "hung-share", 1);

    settings().resetToDefaults();
    settings().homeFolder = (root / "home").string();
    settings().initialFolder = storedInitialFolder((root / "crate").string());
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);
    set(settings().babySecure, 0);  // each drop replaces the deck's track without a question

    int status = 0;
    {
        LoopWatch watch;
        auto desk = std::make_unique<DeskApp>();
        if (!desk->create()) {
            std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
            fs::remove_all(root);
            return 1;
        }
        desk->window().show();
        MixingDesk& mixing = *desk->desk();
        BackgroundAnalysis& analysis = *desk->analysis();
        LibraryBrowser& library = *desk->library();

        // 5 first: the files list of the crate fills and its tracks are analysed.
        watch.start();
        const auto t0 = Clock::now();
        runUntil([&] { return !library.filling(); }, 60);
        const auto allAnalysed = [&] {
            const TrackList& files = library.library().files();
            if (files.size() != tracks || analysis.busy()) return false;
            for (const LibraryRow& row : files.rows()) {
                const TrackRecord* record = row.entry.record;
                if (record == nullptr || (record->currentBpm() == 0.0f && !analysis.failed(record)))
                    return false;
            }
            return true;
        };
        const bool analysed = runUntil(allAnalysed, 300);
        const double analysing = ms(Clock::now() - t0) / 1000.0;
        const std::string filled =
            "files list of " + std::to_string(tracks) + " tracks filled, analysed and stored";
        status |= report(filled.c_str(), watch.stop());
        std::printf("  (%s in %.1f s)\n", analysed ? "all analysed" : "NOT all analysed",
                    analysing);

        watch.start();
        mixing.dropOntoDeck(0, trackEntryForFile(fifo));
        runFor(1.0);
        status |= report("a FIFO named like a track dropped on deck 1", watch.stop());

        watch.start();
        auto t1 = Clock::now();
        mixing.dropOntoDeck(1, trackEntryForFile(longTrack));
        runUntil([&] { return !loading(mixing, 1); }, 60);
        std::printf("  (10-minute MP3 loaded in %.0f ms)\n", ms(Clock::now() - t1));
        runFor(0.5);
        status |= report("a 10-minute MP3 loaded on deck 2", watch.stop());

        const bool shimmed = std::getenv("SPINLOREX_LATENCY_SHIM") != nullptr;
        if (shimmed) {
            watch.start();
            mixing.dropOntoDeck(1, trackEntryForFile(slowTrack));
            runFor(3.0);
            status |= report("the same MP3 at 20 ms a read (3 s of its load)", watch.stop());
            std::printf("  (deck 2 %s)\n", loading(mixing, 1) ? "still loading" : "loaded");

            watch.start();
            mixing.dropOntoDeck(0, trackEntryForFile(hungTrack));
            runFor(1.0);
            status |=
                report("a track on a share that never answers dropped on deck 1", watch.stop());
        } else {
            std::printf("(the file shim was not found: no slow or hung disk)\n");
        }

        const auto t2 = Clock::now();
        desk->destroy();
        desk.reset();
        const double close = ms(Clock::now() - t2);
        std::printf(
            "%-62s %6.0f ms (target 1000)\n",
            shimmed ? "desk closed while deck 1 hangs and deck 2 loads slowly" : "desk closed",
            close);
        if (close > 1000) status = 1;
    }
    fs::remove_all(root);
    return status;
}
