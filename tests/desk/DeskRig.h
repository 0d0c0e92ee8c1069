#pragma once

// The whole desk without a window: two real decks on silent or generated tracks, the
// audio engine stepped by hand on the null backend's manual clock, virtual timers, a
// recording view, and a shell and a library that remember what they were asked.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "desk/DeskMessages.h"
#include "desk/LibraryOnDesk.h"
#include "desk/MixingDesk.h"
#include "desk/VirtualTimers.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "support/ConstantReader.h"
#include "support/DeckHarness.h"
#include "support/RecordingView.h"

namespace spinlorex::test {

class RecordingShell : public DeskShell {
public:
    void requestClose() override { ++closeRequests; }
    void minimize() override { ++minimizes; }
    void toggleFullScreen() override {}
    void dragWindow(int32_t, int32_t) override { ++windowDrags; }
    bool startSystemMove() override {
        ++systemMoves;
        return offersSystemMove;
    }
    void captureMouse() override { captured = true; }
    void releaseMouse() override { captured = false; }
    bool askYesNo(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
    void showTooltip(int, int32_t, int32_t) override {}
    void hideTooltip() override {}
    bool saveTheMix() override { return false; }
    void openDialog(int id) override { dialogs.push_back(id); }
    void openControllersDialog() override { dialogs.push_back(kControllersDialog); }
    static constexpr int kControllersDialog = -2;
    void showWaveforms(bool on) override { waveformsShown.push_back(on); }
    void tell(const std::string& text) override { told.push_back(text); }

    int closeRequests = 0, minimizes = 0, windowDrags = 0, systemMoves = 0;
    bool offersSystemMove = false;
    bool captured = false;
    bool answer = true;
    std::vector<std::string> questions, told;
    std::vector<int> dialogs;
    std::vector<bool> waveformsShown;
};

class FakeLibrary : public DeskLibrary {
public:
    bool loadNextFromPlaylist(int deck) override {
        if (playlist.empty()) return false;
        const TrackEntry entry = playlist.front();
        playlist.pop_front();
        desk->loadOntoDeck(deck, entry);
        return true;
    }
    void loadFailed(int deck, const std::string& path) override {
        failedLoads.emplace_back(deck, path);
    }
    void addToHistory(int deck) override { history.push_back(deck); }
    bool dragActive() const override { return false; }
    void dragOver(int32_t, int32_t) override {}
    void dropOnDeck(int32_t, int32_t) override {}
    void showPanel(int, bool) override {}
    void onButton(int id) override { buttons.push_back(id); }
    void onDeleteKey() override { ++deleteKeys; }
    bool onEnterKey() override { return enterTaken; }
    void runSearch() override { ++searches; }
    void namingChanged() override { ++namingChanges; }
    void browse(int steps) override { browsed.push_back(steps); }
    void browsePress() override { ++browsePresses; }
    void loadBrowsedRow(int deck) override { loadedRowOnto.push_back(deck); }

    MixingDesk* desk = nullptr;
    std::deque<TrackEntry> playlist;
    std::vector<int> history, buttons, browsed, loadedRowOnto;
    int browsePresses = 0;
    std::vector<std::pair<int, std::string>> failedLoads;
    int searches = 0, deleteKeys = 0, namingChanges = 0;
    bool enterTaken = false;
};

class DeskRig {
public:
    // Silent tracks of the given lengths (0: the decks read real files); outputMode 0: hard
    // mix, 1: soft mix (can record).
    // With `realLibrary` the desk's library is the program's own (`music`), else the fake.
    explicit DeskRig(int32_t deck1Seconds = 20, int32_t deck2Seconds = 20, int outputMode = 0,
                     bool realLibrary = false)
        : DeskRig(readers(deck1Seconds), readers(deck2Seconds), outputMode, realLibrary) {}
    // Decks reading through the given readers (generated tracks). With `recordTo` the
    // sound card writes what it plays to that WAV file (complete once the rig is gone).
    DeskRig(DeckStream::Readers deck1, DeckStream::Readers deck2, int outputMode = 0,
            bool realLibrary = false, const std::string& recordTo = {})
        : clock(std::make_shared<sound::ManualClock>()),
          system(recordTo.empty() ? sound::createNullSystem(clock)
                                  : sound::createWavSystem(recordTo, clock)),
          decks(database, desk, messages, std::move(deck1), std::move(deck2)),
          engine(decks, *system, nullptr),
          music(database),
          desk({decks, engine, view, timers, shell,
                realLibrary ? static_cast<DeskLibrary&>(music) : library}) {
        set(settings().outputMode, outputMode);
        set(settings().multiInstance, 1);
        EXPECT_TRUE(engine.start(AudioEngine::Threading::Manual));
        skin.controls = defaultSkinControls();
        desk.setSkin(&skin);
        timers.setCallback([this](int id) { desk.onTimer(id); });
        library.desk = &desk;
        music.attach(&desk);
        call([&] { desk.initialise(); });
    }
    ~DeskRig() {
        engine.stop();
        database.close();
    }

    // Runs desk code on a helper thread while this thread serves each request it makes
    // with one pass, the clock standing still unless `requestMs` is set: the decks move
    // only where a test plays.
    void call(const std::function<void()>& operation) {
        callServingRequests(
            decks,
            [this] {
                if (requestMs > 0) clock->advance(441 * requestMs / 10);
                engine.runPass();
            },
            operation);
    }
    // Milliseconds of audio that play before each request is served, as they would with a
    // sound thread running beside the desk.
    int requestMs = 0;
    // Plays `ms` of audio in 10 ms passes.
    void play(int ms) {
        for (int i = 0; i < ms / 10; ++i) {
            clock->advance(441);
            engine.runPass();
        }
    }
    // Virtual time for the desk's timers.
    void tick(int ms) {
        call([&] { timers.advance(ms); });
    }
    // The sound thread's messages handed to the desk, as the window does.
    int deliverMessages() {
        int delivered = 0;
        call([&] {
            DeskMessageQueue::Message m{};
            while (messages.take(m)) {
                desk.onMessage(m.message, m.deck);
                ++delivered;
            }
        });
        return delivered;
    }

    // Each deck its own file, so that the decks do not share one record.
    void load(int d, float bpm = 128.0f) {
        const std::string path = "track" + std::to_string(d + 1) + ".mp3";
        call([&] { desk.loadOntoDeck(d, TrackEntry{"Artist", "Title", path, nullptr}); });
        decks[d].track()->record->bpm = bpm;
    }
    void press(int id, bool left = true) {
        const SkinControl& c = skin.control(id);
        const int32_t x = c.radius >= 0 ? c.hitLeft : (c.hitLeft + c.hitRight) / 2;
        const int32_t y = c.radius >= 0 ? c.hitTop : (c.hitTop + c.hitBottom) / 2;
        call([&] { desk.input().onMouseDown(left, x, y); });
    }
    void down(int32_t x, int32_t y, bool left = true) {
        call([&] { desk.input().onMouseDown(left, x, y); });
    }
    void move(int32_t x, int32_t y) {
        call([&] { desk.input().onMouseMove(x, y, 1); });
    }
    void up(int32_t x = 400, int32_t y = 590) {
        call([&] { desk.input().onMouseUp(x, y); });
    }
    bool key(int virtualKey) {
        bool consumed = false;
        call([&] { consumed = desk.input().onKeyDown(virtualKey); });
        return consumed;
    }
    DeckStream& deck(int d) { return decks[d]; }
    // The default skin has no sync buttons: a row of six small ones above deck 1's disc.
    void addSyncButtons() {
        for (int id = ctl::SyncPitch1; id <= ctl::SyncBeat2; ++id) {
            const int32_t x = 20 + 22 * (id - ctl::SyncPitch1);
            skin.controls[static_cast<size_t>(id)] = {x,      100, 20,     10,  x,  100,
                                                      x + 20, 110, x,      100, x,  700,
                                                      x,      100, x + 20, 110, -1, kMaskAlways};
        }
    }

    std::shared_ptr<sound::ManualClock> clock;
    std::unique_ptr<sound::SoundSystem> system;
    TrackDatabase database;
    DeskMessageQueue messages;
    DeckPair decks;
    AudioEngine engine;
    RecordingView view;
    VirtualTimers timers;
    RecordingShell shell;
    FakeLibrary library;
    LibraryOnDesk music;
    SkinModel skin;
    MixingDesk desk;

private:
    static DeckStream::Readers readers(int32_t seconds) {
        if (seconds <= 0) return DeckStream::standardReaders();
        return constantReaders(0, 0, seconds);
    }
};

// Every desk test starts from the installation's settings.
class DeskTest : public ::testing::Test {
protected:
    void SetUp() override { settings().resetToDefaults(); }
    void TearDown() override { settings().resetToDefaults(); }
};

}  // namespace spinlorex::test
