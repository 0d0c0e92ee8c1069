// From a controller's message reaching the desk's MIDI port to the deck's state changing on
// the sound thread: the real desk with its threads, a private JACK server (dummy driver)
// and a virtual port as the controller. The play button is pressed N times; a spinning
// thread notes when the sound thread flips the deck's playing flag. Prints p50, p99 and
// the largest, in milliseconds, to the main thread's taking the message up and to the
// sound thread's change (which waits for its next pass: the null backend's come every
// 4 ms, a card's every buffer).
//
//   xvfb-run -a build/bench/spinlorex_midi_latency_bench [--presses N]
//
// N defaults to 300. SPINLOREX_AUDIO chooses the sound backend as for the desk (null when
// unset). Needs jackd (Debian: jackd2).

#include <unistd.h>

#include <QtWidgets/QApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/ControllerHub.h"
#include "app/DeskApp.h"
#include "app/TrackNames.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "midi/JackSupport.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "tools/synth/Synth.h"

namespace {

using namespace spinlorex;
namespace fs = std::filesystem;

int64_t nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <typename Condition>
bool runUntil(Condition done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int presses = 300;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--presses") presses = std::max(10, std::atoi(argv[i + 1]));
    setenv("SPINLOREX_AUDIO",
           std::getenv("SPINLOREX_AUDIO") ? std::getenv("SPINLOREX_AUDIO") : "null", 1);
    test::TempDir home;
    fs::create_directories(home.path() / "config" / "controllers");
    setenv("SPINLOREX_CONFIG_DIR", (home.path() / "config").c_str(), 1);
    std::ofstream(home.path() / "config" / "controllers" / "bench.map")
        << "name Bench\nport Test Controller\nbind decks play note 1 0x01\n";
    test::PrivateJack jack(home);
    if (!jack.running()) {
        std::fprintf(stderr, "no JACK server: %s\n", jack.why().c_str());
        return 1;
    }

    QApplication app(argc, argv);
    settings().resetToDefaults();
    settings().homeFolder = home.path().string();
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);
    const std::string track = home.file("Bench - Track.wav");
    synth::writeWav(track, synth::render({.bpm = 128, .seconds = 60}), 44100, 2, 16);

    int status = 0;
    test::VirtualController controller;
    DeskApp desk;
    if (!desk.create()) {
        std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
        return 1;
    }
    desk.desk()->loadOntoDeck(0, trackEntryForFile(track));
    DeckStream& deck = (*desk.decks())[0];
    if (!runUntil(
            [&] {
                for (const auto& c : desk.controllers()->controllers())
                    if (!c.mappingPath.empty()) return deck.duration() >= 0;
                return false;
            },
            20)) {
        std::fprintf(stderr, "the controller or the track did not come\n");
        return 1;
    }

    // The sound thread's flips of the playing flag, noted by a thread that only watches.
    std::atomic<int64_t> flippedAt{0};
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        bool last = deck.playing();
        while (watching.load(std::memory_order_relaxed)) {
            const bool now = deck.playing();
            if (now != last) {
                flippedAt.store(nowNanos(), std::memory_order_relaxed);
                last = now;
            }
        }
    });
    std::vector<double> ms, hop;  // to the sound thread; to the main thread
    for (int i = 0; i < presses; ++i) {
        const bool was = deck.playing();
        flippedAt.store(0);
        controller.send(0x90, 0x01, 0x7F);
        if (!runUntil([&] { return flippedAt.load() != 0 && deck.playing() != was; }, 5)) {
            std::printf("press %d: the deck did not change\n", i);
            status = 1;
            break;
        }
        const int64_t arrival = desk.controllers()->lastArrivalNanos();
        ms.push_back(double(flippedAt.load() - arrival) / 1e6);
        hop.push_back(double(desk.controllers()->lastHandledNanos() - arrival) / 1e6);
        controller.send(0x80, 0x01, 0x00);
        runUntil([] { return false; }, 0.02);  // the release handled, the sound thread idle
    }
    watching = false;
    watcher.join();
    desk.destroy();
    const auto print = [](const char* what, std::vector<double> v) {
        if (v.empty()) return;
        std::sort(v.begin(), v.end());
        const auto at = [&](double q) {
            return v[std::min(v.size() - 1, static_cast<size_t>(q * double(v.size())))];
        };
        std::printf("MIDI arrival to %s, %zu presses: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    what, v.size(), at(0.5), at(0.99), v.back());
    };
    print("the main thread taking it up", hop);
    print("the deck's state on the sound thread", ms);
    return status;
}
