#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs/DialogHost.h"
#include "audio/DeckLinks.h"
#include "desk/DeskLibrary.h"
#include "library/TagCache.h"
#include "library/TrackDatabase.h"
#include "library/TrackStore.h"
#include "platform/surface/Surface.h"

namespace spinlorex {

class AnalysisPump;
class AudioEngine;
class BackgroundAnalysis;
class ControllerHub;
class OutputDevice;
class DeckPair;
class DeskWindow;
class KeyFilter;
class LibraryBrowser;
class LibraryDisk;
class MainThreadInbox;
struct FilesToOpen;
class MixingDesk;
class QtDeskShell;
class QtDeskTimers;
class QtDeskView;
class RhythmWindow;
class WaveformBand;
class BandSwitch;
class ScreenSaverInhibitor;
class SoundMessagePump;
class SystemVolume;
class Tooltip;
class TrackOpener;
struct Skin;
namespace sound {
class SoundSystem;
}

// The decks ask the desk for pitch, level and status before the desk exists (the desk
// needs the decks): this passes their calls on once it does.
class DeskRelay : public DeskControl {
public:
    void attach(DeskControl* desk) { desk_.store(desk, std::memory_order_release); }
    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t status) override;
    int32_t pitchMin() const override;
    int32_t pitchMax() const override;

private:
    DeskControl* desk() const { return desk_.load(std::memory_order_acquire); }
    // Read by the sound thread (a deck's status) while the main thread attaches the desk.
    std::atomic<DeskControl*> desk_{nullptr};
};

// Everything behind the desk window, created and destroyed in the program's order: the
// track database, the two decks, the audio engine, the desk picture, the skin, the view,
// the desk's logic, the window. Main thread.
class DeskApp : public DialogHost {
public:
    // The sound system is the one the environment asks for, unless `makeSoundSystem` makes
    // another (tests).
    explicit DeskApp(std::function<std::unique_ptr<sound::SoundSystem>()> makeSoundSystem = {});
    ~DeskApp() override;
    DeskApp(const DeskApp&) = delete;
    DeskApp& operator=(const DeskApp&) = delete;

    // The window's creation. False, with the reason in the fatal-error channel, when the
    // desk cannot be built; destroy() then releases what was made.
    bool create();
    // Releases everything in order and saves the settings (unless told not to, after a
    // crash); safe after a half-finished create() and when called twice.
    void destroy(bool saveSettings = true);

    DeskWindow& window() { return *window_; }
    MixingDesk* desk() { return desk_.get(); }
    LibraryBrowser* library() { return library_.get(); }
    BackgroundAnalysis* analysis() { return analysis_.get(); }
    AudioEngine* engine() { return engine_.get(); }
    RhythmWindow* rhythm() { return rhythm_.get(); }
    ControllerHub* controllers() { return controllers_.get(); }
    // The "Controllers..." dialog over the desk (the options panel's line for it).
    void openControllersDialog() override;
    Tooltip* tooltip() { return tooltip_.get(); }
    // Files given on the command line or handed over by a later start: the first two
    // tracks load on deck 1 and deck 2 as dropped there (the "Baby secure" rule holds),
    // the rest joins the playlist; the user is told of files that are not there. The files
    // are looked at on a thread of their own: they are placed once the event loop runs
    // (a path on a hung disk is never placed, and holds nothing up).
    void openFiles(const std::vector<std::string>& paths);
    // Milliseconds from `since` to the first picture on screen (negative until then).
    void traceFirstFrame(std::chrono::steady_clock::time_point since);
    // What the user is told once the desk is up (a damaged database set aside, a folder
    // where nothing can be stored), each in a message box over the desk; the boxes come
    // when the event loop first runs. Those not shown yet.
    const std::vector<std::string>& pendingNotices() const { return notices_; }

    // DialogHost: what the dialogs ask of the program.
    QWidget* deskWindow() override;
    std::vector<sound::DeviceInfo> outputDevices() override;
    bool applySkin(const std::string& name) override;
    void rebuildAudioEngine() override;
    void suspendRhythm() override;
    void resumeRhythm() override;
    void showWaveforms(bool on) override;
    void zoomWaveforms(int steps) override;
    WaveformBand* waveforms() { return waveforms_.get(); }
    BandSwitch* bandSwitch() { return bandSwitch_.get(); }
    DeckPair* decks() override { return decks_.get(); }

    // Told with the list of files given to open that are not there.
    static constexpr const char* kMissingFiles = "Spinlorex cannot find these files:";
    // The record panel's first line when a new sound configuration cannot record.
    static constexpr const char* kRecordingEndedByMode =
        "Recording stopped: this sound configuration mixes in the sound card";
    // Added to the device's message when a rebuilt engine fell back.
    static constexpr const char* kPlaysOnDefault =
        "\n\nSpinlorex plays on the default sound device instead.";
    static constexpr const char* kPlaysSilently =
        "\n\nSpinlorex goes on without sound; choose another configuration in \"Sound Config...\".";
    // Put before and after the message of a second card that cannot be used.
    static constexpr const char* kSecondCard = "Sound card 2: ";
    static constexpr const char* kSecondCardSilent =
        "\n\nThe first card plays on; what belongs to the second card is not heard. Choose "
        "\"Sound Card 2\" in \"Sound Config...\".";

private:
    // Brings a freshly built output device up to the desk's state, before its thread runs.
    void bringUpToDesk(OutputDevice& output);
    // Says why the second card of a two-card configuration is not used, if it is not.
    void tellSecondCardFailure();
    // Puts the rhythm strip on the skin's place for it, where the desk is shown.
    void placeRhythm();
    // Shows `text` in a message box over the desk now (main thread, event loop running),
    // or once the loop runs when the desk is still being built.
    void tell(const std::string& text);
    void showNotices();
    void placeFiles(const FilesToOpen& files);
    // The track store has read its file: records get their grids, those made from now on
    // when made, those already there a slice at a time between the desk's other work.
    void storeLoaded();
    void fillSomeGrids();

    std::unique_ptr<DeskWindow> window_;
    std::function<std::unique_ptr<sound::SoundSystem>()> makeSoundSystem_;
    DeskRelay relay_;
    std::unique_ptr<SoundMessagePump> pump_;
    std::unique_ptr<TrackDatabase> database_;
    std::unique_ptr<TrackStore::Listener> storeListener_;
    std::unique_ptr<TrackStore> store_;                  // beat grids, beside the database
    std::optional<TrackDatabase::RecordWalk> gridWalk_;  // records still to get their grids
    std::unique_ptr<DeckPair> decks_;
    std::unique_ptr<sound::SoundSystem> soundSystem_;
    std::unique_ptr<SystemVolume> volume_;
    std::unique_ptr<AudioEngine> engine_;
    std::unique_ptr<Surface> deskPicture_;
    std::unique_ptr<Skin> skin_;
    std::unique_ptr<QtDeskView> view_;
    std::unique_ptr<RhythmWindow> rhythm_;     // a child of the window, its thread stopped first
    std::unique_ptr<WaveformBand> waveforms_;  // in the rhythm strip's place when chosen
    std::unique_ptr<BandSwitch> bandSwitch_;
    std::unique_ptr<Tooltip> tooltip_;
    std::unique_ptr<QtDeskTimers> timers_;
    std::unique_ptr<QtDeskShell> shell_;
    std::unique_ptr<LibraryBrowser> library_;  // outlives the desk, which calls it
    std::unique_ptr<MixingDesk> desk_;
    std::unique_ptr<KeyFilter> keyFilter_;
    std::unique_ptr<AnalysisPump> analysisPump_;
    std::unique_ptr<BackgroundAnalysis> analysis_;  // whole tracks in the background
    std::unique_ptr<MainThreadInbox> inbox_;        // workers' answers reach the main thread here
    std::unique_ptr<TrackOpener> opener_;           // loads' files opened off the main thread
    std::unique_ptr<TrackOpener> previewOpener_;    // the previews' files, the same way
    std::unique_ptr<LibraryDisk> libraryDisk_;      // the library's reads and writes, likewise
    std::unique_ptr<TagCache::Listener> tagsListener_;
    std::unique_ptr<TagCache> tags_;              // the files' tags, read off the main thread
    std::unique_ptr<ControllerHub> controllers_;  // the MIDI controllers driving the desk
    std::unique_ptr<ScreenSaverInhibitor> screenSaver_;  // held while the program is active
    bool destroyed_ = false;
    std::vector<std::string> notices_;
    bool noticesScheduled_ = false;
};

}  // namespace spinlorex
