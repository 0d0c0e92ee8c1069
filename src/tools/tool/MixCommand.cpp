// spinlorex-tool mix: the desk run headless on virtual time with its playlist. Track A
// plays on deck 1 from its cue point, B, C, ... wait in the playlist; switching automatic
// mixing on fills deck 2 with B (its pitch matched on load), the sound thread's automatic
// start begins each mix near the playing track's end, the desk crossfades and keeps the
// beats aligned, and at each mix's end the playlist refills the deck mixed out — until
// the last track has played out. The soft mix is written to a WAV file, far faster than
// real time. Each load prints a line (deck and path), each auto-mix step another: tick,
// step, crossfader, both decks' heard positions and pitches, and the beat-sync shift.
// A playlist file among the tracks stands for its tracks, as when it is dropped on the
// playlist, so a saved set renders as the desk would play it.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "desk/DeskMessages.h"
#include "desk/LibraryOnDesk.h"
#include "desk/MixingDesk.h"
#include "desk/NullDeskView.h"
#include "desk/VirtualTimers.h"
#include "library/AudioFileTypes.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/core/ProcessSignals.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/BatchAnalysis.h"
#include "tools/tool/Commands.h"
#include "tools/tool/OfflineSession.h"

namespace spinlorex::tool {
namespace {

// The decks ask the desk before it exists; this passes their calls on once it does.
class Relay : public DeskControl {
public:
    MixingDesk* desk = nullptr;
    void setDeckPitch(int d, int32_t p) override { desk->setDeckPitch(d, p); }
    void setDeckLevel(int d, int32_t v) override { desk->setDeckLevel(d, v); }
    void setDeckStatus(int d, uint32_t s) override {
        if (desk != nullptr) desk->setDeckStatus(d, s);
    }
    int32_t pitchMin() const override { return desk->pitchMin(); }
    int32_t pitchMax() const override { return desk->pitchMax(); }
};

// The desk as the library reaches it, printing each load.
class PrintingDecks : public LibraryDecks {
public:
    explicit PrintingDecks(MixingDesk& desk) : desk_(desk) {}
    bool holdsTrack(int d) const override { return desk_.holdsTrack(d); }
    bool isBusy(int d) const override { return desk_.isBusy(d); }
    bool isAudible(int d) const override { return desk_.isAudible(d); }
    int selectedDeck() const override { return desk_.selectedDeck(); }
    void loadOntoDeck(int d, const TrackEntry& entry) override {
        std::printf("load %d %s\n", d + 1, entry.path.c_str());
        desk_.loadOntoDeck(d, entry);
    }
    const TrackEntry* openTrack(int d) const override { return desk_.openTrack(d); }
    bool askYesNo(const std::string& question) override { return desk_.askYesNo(question); }
    LibraryRules rules() const override { return desk_.rules(); }

private:
    MixingDesk& desk_;
};

// A folder for the mix's database, removed with its contents afterwards.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spinlorex-mix-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

int mixCommand(const Args& args) {
    ArgParser a(args, {"--long-mix", "--curve", "--db"}, {"--master-tempo"});
    const auto longMix = static_cast<int32_t>(a.integer("--long-mix", 0, 0, 112));
    const auto curve = static_cast<int32_t>(a.integer("--curve", 0, 0, 2));
    if (!a.ok() || a.positional().size() < 2) {
        std::fprintf(
            stderr,
            "usage: spinlorex-tool mix [--long-mix L] [--curve C] [--master-tempo] [--db FOLDER]\n"
            "                          A B [C ...] OUT.wav\n"
            "  L: hold ticks of 200 ms (0, 16, 40, 64, 112); C: crossfader curve 0 smooth,\n"
            "  1 full, 2 cut. A plays on deck 1, B, C, ... wait in the playlist, and automatic\n"
            "  mixing plays them through. A playlist file (.m3u, .m3u8, .pls) among them stands\n"
            "  for its tracks, in its order; its missing tracks are skipped as the desk skips\n"
            "  them. The tracks' analysis is kept in FOLDER's internal database (default: a\n"
            "  temporary one).\n");
        return 2;
    }
    const std::vector<std::string> given(a.positional().begin(), a.positional().end() - 1);
    const std::string& outPath = a.positional().back();
    std::vector<std::string> tracks;
    std::vector<bool> fromPlaylist;  // per track: named by a playlist file
    for (const std::string& path : given) {
        if (!isPlaylistFileName(path)) {
            tracks.push_back(path);
            fromPlaylist.push_back(false);
            continue;
        }
        PlaylistRead read = readPlaylistItems(path);
        if (!read.error.empty()) {
            std::fprintf(stderr, "spinlorex-tool: %s\n", read.error.c_str());
            return 1;
        }
        for (PlaylistItem& item : read.items) {
            tracks.push_back(std::move(item.path));
            fromPlaylist.push_back(true);
        }
    }

    // Every track is analysed first, as a DJ prepares a set: the tempo of each is then
    // known when it is loaded, so its pitch is matched on load.
    // The analysis must outlive the loads that follow, as it does in the desk's database.
    std::string folder;
    std::unique_ptr<TemporaryFolder> temporary;
    if (const auto db = a.value("--db")) {
        folder = *db;
    } else {
        temporary = std::make_unique<TemporaryFolder>();
        folder = temporary->path();
    }
    // A stop signal ends the run early: the mix written so far is completed, the
    // analysis stored.
    StopSignals stopSignals;
    TrackDatabase database;
    if (!database.open(folder)) {
        std::fprintf(stderr, "spinlorex-tool: %s: %s\n", folder.c_str(), fatalError());
        return 1;
    }
    if (!database.notice().empty())
        std::fprintf(stderr, "spinlorex-tool: %s\n", database.notice().c_str());
    bool unreadable = false;
    std::vector<bool> skipped(tracks.size(), false);
    analyseInOrder(tracks, defaultJobs(), [&](size_t i, const WholeTrackResult& result) {
        // A playlist's row that gives a deck nothing is skipped, as the desk skips it.
        if (result.status == kStatusCannotOpen && fromPlaylist[i]) {
            std::fprintf(stderr, "spinlorex-tool: %s: the file cannot be opened; skipped\n",
                         tracks[i].c_str());
            skipped[i] = true;
        } else if (result.status == kStatusCannotOpen && !unreadable) {
            std::fprintf(stderr, "spinlorex-tool: %s: the file cannot be opened\n",
                         tracks[i].c_str());
            unreadable = true;
        }
        if (result.status != kStatusNormal) return;
        TrackRecord* record = database.findOrAdd(tracks[i], result.fileSize);
        database.storeMeasures(record, result.measures);
        // The decks sync on the grids, as the desk's do once its analysis has run.
        attachGrid(*record, std::make_shared<const BeatGrid>(result.grid));
    });
    if (StopSignals::stopRequested()) return kInterrupted;
    if (unreadable) return 1;
    std::vector<std::string> playable;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (!skipped[i]) playable.push_back(tracks[i]);
    if (playable.size() < 2) {
        std::fprintf(stderr, "spinlorex-tool: a mix needs two tracks or more\n");
        return 1;
    }

    set(settings().longMix, longMix);
    set(settings().crossfader, curve);
    set(settings().masterTempo, a.flag("--master-tempo") ? 1 : 0);
    set(settings().autoBpm, 1);
    set(settings().autoLevel, 0);
    set(settings().autoMix, 0);     // switched on once the first track is loaded
    set(settings().outputMode, 1);  // the soft mix is what gets written
    set(settings().multiInstance, 1);

    auto clock = std::make_shared<sound::ManualClock>();
    std::unique_ptr<sound::SoundSystem> system = sound::createWavSystem(outPath, clock);
    Relay relay;
    DeskMessageQueue messages;
    DeckPair decks(database, relay, messages);
    AudioEngine engine(decks, *system, nullptr);
    // One thread does everything, as fast as it can: it plays the sound thread's passes
    // between the desk's steps, and the decks serve the desk's requests at once. (Two
    // threads handing passes to each other crawl on a busy machine.)
    if (!engine.start(AudioEngine::Threading::Manual)) {
        std::fprintf(stderr, "spinlorex-tool: %s\n", fatalError());
        return 1;
    }
    decks.setServedInline(true);
    NullDeskView view;
    VirtualTimers timers;
    HeadlessShell shell;
    LibraryOnDesk library(database);
    MixingDesk desk({decks, engine, view, timers, shell, library});
    relay.desk = &desk;
    library.attach(&desk);
    PrintingDecks printing(desk);
    library.library().attach(&printing);

    // One line per auto-mix step, after the desk took it.
    int tick = 0;
    bool mixed = false;
    timers.setCallback([&](int id) {
        const bool stepping = id == DeskTimers::kMixStep && desk.mix().running();
        desk.onTimer(id);
        if (!stepping) return;
        mixed = true;
        ++tick;
        std::printf(
            "tick %3d  step %2d  crossfader %3d  deck1 %.6f pitch %4d  deck2 %.6f pitch %4d  shift "
            "%d\n",
            tick, desk.mix().step(), desk.faders().crossfader(), decks[0].position(),
            decks[0].pitch(), decks[1].position(), decks[1].pitch(), desk.sync().lastBeatShift());
    });

    // Each slice of virtual time is played by the clock, then passes let the decks follow
    // (at least two, and on while they have work, decoding ahead included) before the
    // desk's timers run. While a
    // mix runs the slices are short, so that each step sees the decks as they are heard;
    // between mixes longer slices only delay the desk's answer to the sound thread's
    // messages by a few milliseconds more.
    constexpr int kMixSliceMs = 5;
    constexpr int kPlaySliceMs = 40;
    constexpr int kMaxPassesPerSlice = 64;
    auto advanceSlice = [&](int milliseconds) {
        clock->advance(milliseconds * 441 / 10);
        engine.runPass();
        for (int pass = 0; pass < kMaxPassesPerSlice && engine.runPass(); ++pass) {}
        DeskMessageQueue::Message m{};
        while (messages.take(m)) desk.onMessage(m.message, m.deck);
        timers.advance(milliseconds);
    };
    desk.initialise();
    printing.loadOntoDeck(0, trackEntryForPath(playable.front(), database));
    std::vector<TrackEntry> rest;
    for (size_t i = 1; i < playable.size(); ++i)
        rest.push_back(trackEntryForPath(playable[i], database));
    library.library().insertIntoPlaylist(-1, std::move(rest));
    // The switch fills the empty deck 2 from the playlist.
    desk.mix().toggleAutoMix();
    desk.transport().playPause(0);

    // Until the last track has played out: nothing plays and no mix runs (a track too
    // short to reach the automatic start also ends the run with its own end).
    while ((decks[0].playing() || decks[1].playing() || desk.mix().running()) &&
           !StopSignals::stopRequested())
        advanceSlice(desk.mix().running() ? kMixSliceMs : kPlaySliceMs);
    engine.stop();
    if (StopSignals::stopRequested()) return kInterrupted;
    if (!mixed) {
        std::fprintf(stderr, "spinlorex-tool: no automatic mix happened (is A long enough?)\n");
        return 1;
    }
    return 0;
}

}  // namespace spinlorex::tool
