#include "app/DeskApp.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtGui/QGuiApplication>
#include <QtGui/QScreen>
#include <QtWidgets/QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <utility>

#include "app/AnalysisPump.h"
#include "app/CommandLine.h"
#include "app/ControllerHub.h"
#include "app/DeskWindow.h"
#include "app/KeyFilter.h"
#include "app/MainThreadInbox.h"
#include "app/QtDeskShell.h"
#include "app/QtDeskTimers.h"
#include "app/ScreenSaverInhibitor.h"
#include "app/SoundMessagePump.h"
#include "app/TrackNames.h"
#include "app/dialogs/DialogHost.h"
#include "app/library/LibraryBrowser.h"
#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "audio/TrackOpener.h"
#include "auxwindows/RhythmWindow.h"
#include "auxwindows/Tooltip.h"
#include "auxwindows/WaveformBand.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/MixingDesk.h"
#include "desk/display/QtDeskView.h"
#include "library/SearchIndex.h"
#include "library/TagCache.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/settings/SettingsStore.h"
#include "platform/sound/SoundSystem.h"
#include "platform/volume/SystemVolume.h"
#include "skin/picture/Skin.h"

namespace spinlorex {
namespace {

// Hands the track store's news to the main thread.
class StoreLoadedRelay : public TrackStore::Listener {
public:
    StoreLoadedRelay(MainThreadInbox::Poster post, MainThreadInbox::Call loaded,
                     MainThreadInbox::Call read)
        : post_(std::move(post)), loaded_(std::move(loaded)), read_(std::move(read)) {}
    void storeLoaded() override { post_(loaded_); }
    void waveformsRead() override { post_(read_); }

private:
    MainThreadInbox::Poster post_;
    MainThreadInbox::Call loaded_;
    MainThreadInbox::Call read_;
};

// Tells the main thread that tags were read.
class TagsReadyRelay : public TagCache::Listener {
public:
    TagsReadyRelay(MainThreadInbox::Poster post, MainThreadInbox::Call call)
        : post_(std::move(post)), call_(std::move(call)) {}
    void tagsReady() override { post_(call_); }

private:
    MainThreadInbox::Poster post_;
    MainThreadInbox::Call call_;
};

}  // namespace

void DeskRelay::setDeckPitch(int deck, int32_t pitch) {
    if (DeskControl* d = desk()) d->setDeckPitch(deck, pitch);
}
void DeskRelay::setDeckLevel(int deck, int32_t level) {
    if (DeskControl* d = desk()) d->setDeckLevel(deck, level);
}
void DeskRelay::setDeckStatus(int deck, uint32_t status) {
    if (DeskControl* d = desk()) d->setDeckStatus(deck, status);
}
int32_t DeskRelay::pitchMin() const { return desk() != nullptr ? desk()->pitchMin() : 2730; }
int32_t DeskRelay::pitchMax() const { return desk() != nullptr ? desk()->pitchMax() : 5462; }

DeskApp::DeskApp(std::function<std::unique_ptr<sound::SoundSystem>()> makeSoundSystem)
    : window_(std::make_unique<DeskWindow>()), makeSoundSystem_(std::move(makeSoundSystem)) {}

DeskApp::~DeskApp() { destroy(); }

bool DeskApp::create() {
    // Each step stops the creation when it left a fatal message.
    if (fatalError() != nullptr) return false;

    inbox_ = std::make_unique<MainThreadInbox>();
    pump_ = std::make_unique<SoundMessagePump>([this](const DeskMessageQueue::Message& m) {
        if (desk_ != nullptr) desk_->onMessage(m.message, m.deck);
    });

    database_ = std::make_unique<TrackDatabase>();
    if (!database_->open(settings().homeFolder)) return false;
    // A damaged file was set aside, or nothing can be stored: the desk goes on, and says so.
    if (!database_->notice().empty()) tell(database_->notice());
    // The track store opens and reads its file on a thread of its own; the desk starts
    // meanwhile, and the records get their grids once it has read it.
    storeListener_ = std::make_unique<StoreLoadedRelay>(
        inbox_->poster(), [this] { storeLoaded(); },
        [this] {
            if (analysis_ && !destroyed_) analysis_->deliverWaveforms();
        });
    store_ = std::make_unique<TrackStore>();
    store_->open(settings().homeFolder, storeListener_.get());

    decks_ = std::make_unique<DeckPair>(*database_, relay_, *pump_);
    if (fatalError() != nullptr) return false;

    soundSystem_ = makeSoundSystem_ ? makeSoundSystem_() : sound::soundSystemFromEnvironment();
    if (!soundSystem_) {
        setFatalError("Error in the sound driver of DirectX");
        return false;
    }
    // The system volumes are taken over with their values kept beside the settings, so
    // that a desk killed or crashed before it put them back is mended at the next start.
    const std::filesystem::path settingsFile = settingsFilePath();
    volume_ = SystemVolume::forThisMachine(
        settingsFile.empty()
            ? std::string()
            : (settingsFile.parent_path() / SystemVolume::kRestoreFileName).string());
    volume_->restoreLeftover();
    engine_ = std::make_unique<AudioEngine>(*decks_, *soundSystem_, volume_.get());
    if (!engine_->start()) return false;
    tellSecondCardFailure();

    deskPicture_ = std::make_unique<Surface>();
    if (!deskPicture_->buildBlank(DeskWindow::kWidth, DeskWindow::kHeight)) return false;

    skin_ = std::make_unique<Skin>();
    if (!loadSkinOrDefault(*skin_, settings().skin, settings().homeFolder)) return false;
    view_ = std::make_unique<QtDeskView>(*deskPicture_, *skin_,
                                         [this](const QRect& r) { window_->invalidateDesk(r); });
    view_->drawBackground();  // the skin picture's top-left 800 x 600

    // The rhythm strip asks which deck is selected from its drawing thread: the desk's
    // selection is atomic, and the thread starts only once the desk exists.
    rhythm_ = std::make_unique<RhythmWindow>(
        *decks_, [this] { return desk_ != nullptr ? desk_->selectedDeck() : 0; }, skin_->model,
        window_.get());
    waveforms_ = std::make_unique<WaveformBand>(
        *decks_,
        WaveformBand::Links{
            [this](int d) { return analysis_ ? analysis_->liveWaveform(d) : nullptr; },
            [this](int d, double f) {
                if (desk_) desk_->input().seekFromOverview(d, f);
            },
            [this](int d, int slot) {
                if (desk_) desk_->hotCues().press(d, slot);
            },
            [this](int d) {
                if (desk_) desk_->loops().exit(d);
            }},
        window_.get());
    waveforms_->hide();
    bandSwitch_ = std::make_unique<BandSwitch>(
        [this] {
            if (desk_) desk_->input().toggleWaveforms();
        },
        window_.get());
    placeRhythm();
    window_->onDeskAreaChanged([this] {
        placeRhythm();
        if (library_) library_->place();
    });
    // A balloon whose artwork failed leaves its message pending and does nothing; the
    // desk starts without tooltips and the message is shown when the program ends.
    tooltip_ = std::make_unique<Tooltip>(window_.get());

    timers_ = std::make_unique<QtDeskTimers>([this](int id) {
        if (desk_ != nullptr) desk_->onTimer(id);
        if (id == DeskTimers::kDisplay && controllers_) controllers_->updateLights();
    });
    shell_ = std::make_unique<QtDeskShell>(*window_, *engine_, *this, tooltip_.get());
    // Playlist files, dropped folders and the search file are read, and lists saved, on
    // threads of their own; the answers come back through the event loop.
    libraryDisk_ = std::make_unique<LibraryDiskOnThreads>(inbox_->poster());
    library_ = std::make_unique<LibraryBrowser>(
        *window_, *database_, skin_->model, [this](const QRect& r) { return window_->fromDesk(r); },
        LibraryBrowser::PaneForm::Resizable, libraryDisk_.get());
    // Tags are read (or taken from the track store) on the tag cache's thread; the lists
    // show the file names' names until they come, and the search finds by them.
    tagsListener_ = std::make_unique<TagsReadyRelay>(inbox_->poster(), [this] {
        if (!library_) return;
        library_->library().applyTags();
        library_->searchIndex().factsChanged();
    });
    tags_ = std::make_unique<TagCache>();
    tags_->open(settings().homeFolder, store_->tagWriter(), tagsListener_.get());
    library_->library().setTagCache(tags_.get());
    library_->library().setFileNamesOnly(get(settings().fileNameTitles) != 0);
    library_->searchIndex().setFileNamesOnly(get(settings().fileNameTitles) != 0);
    library_->searchIndex().setFactsLookup([tags = tags_.get()](std::string_view line) {
        SearchFacts facts;
        facts.tags = tags->tags(trackPathOf(parseSearchLine(line), settings().cdDrive)).get();
        if (facts.tags != nullptr) {
            facts.bpm = facts.tags->bpm;
        }
        return facts;
    });
    desk_ = std::make_unique<MixingDesk>(
        MixingDesk::Links{*decks_, *engine_, *view_, *timers_, *shell_, *library_});
    library_->attach(desk_.get());
    desk_->setSkin(&skin_->model);
    relay_.attach(desk_.get());
    window_->attach(&deskPicture_->image(), desk_.get(), skin_.get());
    desk_->initialise();
    analysisPump_ = std::make_unique<AnalysisPump>([this] {
        if (analysis_) analysis_->deliver();
    });
    analysis_ = std::make_unique<BackgroundAnalysis>(*decks_, *database_, *analysisPump_);
    analysis_->attachLibrary(&library_->library());
    analysis_->attachStore(store_.get());
    desk_->setBackgroundAnalysis(analysis_.get());
    // A load's file is opened on a thread of its own; its answer comes back through the
    // event loop.
    opener_ = std::make_unique<TrackOpener>([post = inbox_->poster(), this] {
        post([this] {
            if (desk_) desk_->onTracksOpened();
        });
    });
    desk_->setTrackOpener(opener_.get());
    previewOpener_ = std::make_unique<TrackOpener>([post = inbox_->poster(), this] {
        post([this] {
            if (desk_) desk_->onPreviewOpened();
        });
    });
    desk_->setPreviewOpener(previewOpener_.get());
    // Controllers: their ports open on a thread of their own; their messages act on the
    // main thread, as the keys do.
    controllers_ = std::make_unique<ControllerHub>(
        *desk_, *decks_, inbox_->poster(),
        settingsFile.empty() ? std::string()
                             : (settingsFile.parent_path() / "controllers").string(),
        &desk_->jog());
    controllers_->start();
    // Hot cues set or deleted go to the track store with the track's whole set.
    desk_->setHotCueKeeper([this](const TrackEntry& track) {
        if (store_ && track.record != nullptr)
            store_->putHotCues(track.path, track.record->fileSize, track.record->hotCues);
    });
    if (!rhythm_->start()) return false;
    showWaveforms(get(settings().waveforms) != 0);
    keyFilter_ = std::make_unique<KeyFilter>(*desk_);
    QCoreApplication::instance()->installEventFilter(keyFilter_.get());

    // The window sits at the top of the screen, centred (at x = 0 on a narrow screen).
    int screenWidth = 800;
    if (const QScreen* screen = window_->screen())
        screenWidth = std::max(screen->geometry().width(), 800);
    window_->move(screenWidth / 2 - 400, 0);
    if (get(settings().maximized) != 0) {
        window_->move(0, 0);
        window_->enterFullScreen();
    }
    window_->setReady(true);

    // No screen saver or monitor power saving while the desk (or a dialog over it) is the
    // active program.
    screenSaver_ = std::make_unique<ScreenSaverInhibitor>();
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, window_.get(),
                     [this](Qt::ApplicationState state) {
                         if (screenSaver_)
                             screenSaver_->setInhibited(state == Qt::ApplicationActive);
                     });
    screenSaver_->setInhibited(QGuiApplication::applicationState() == Qt::ApplicationActive);
    return true;
}

void DeskApp::destroy(bool saveTheSettings) {
    if (destroyed_) return;
    destroyed_ = true;
    if (desk_) desk_->closePreparation();
    controllers_.reset();  // no controller acts on the desk from here on
    screenSaver_.reset();  // the screen saver is free again
    // The analysis stops before anything it stores into goes; no result arrives after.
    if (desk_) desk_->setBackgroundAnalysis(nullptr);
    analysis_.reset();
    analysisPump_.reset();
    // Loads still opening are let go, whatever their threads are waiting on.
    if (desk_) desk_->setTrackOpener(nullptr);
    opener_.reset();
    if (desk_) desk_->setPreviewOpener(nullptr);
    previewOpener_.reset();
    if (library_) library_->library().setDisk(nullptr);
    libraryDisk_.reset();
    if (library_) {
        library_->library().setTagCache(nullptr);
        library_->searchIndex().setFactsLookup(nullptr);
    }
    tags_.reset();
    tagsListener_.reset();
    inbox_.reset();  // answers still to come are dropped
    // The strip's thread reads the decks and the desk: it ends before either goes.
    if (rhythm_) rhythm_->stop();
    if (library_) library_->destroy();  // stores its widths in the settings
    if (window_) {
        window_->onDeskAreaChanged(nullptr);
        window_->setReady(false);
        window_->attach(nullptr, nullptr, nullptr);
        window_->hide();
    }
    relay_.attach(nullptr);
    if (keyFilter_) QCoreApplication::instance()->removeEventFilter(keyFilter_.get());
    keyFilter_.reset();
    desk_.reset();
    library_.reset();  // before the database: its rows point at records
    timers_.reset();
    shell_.reset();
    tooltip_.reset();
    bandSwitch_.reset();
    waveforms_.reset();  // it reads the decks
    rhythm_.reset();
    view_.reset();
    deskPicture_.reset();
    // The engine goes before the decks (it stops the sound thread), the database after.
    if (engine_) engine_->stop();
    engine_.reset();
    volume_.reset();
    decks_.reset();
    soundSystem_.reset();
    // The track store writes what waits, unless its disk does not answer in time.
    gridWalk_.reset();
    if (database_) database_->setRecordFiller(nullptr);
    if (store_ && !store_->close())
        std::fprintf(stderr, "spinlorex: the track store's last writes were left unfinished\n");
    store_.reset();
    storeListener_.reset();
    if (database_) database_->close();
    database_.reset();
    skin_.reset();
    pump_.reset();
    if (saveTheSettings) saveSettings();
}

QWidget* DeskApp::deskWindow() { return window_.get(); }

std::vector<sound::DeviceInfo> DeskApp::outputDevices() {
    return soundSystem_ ? soundSystem_->devices() : std::vector<sound::DeviceInfo>{};
}

bool DeskApp::applySkin(const std::string& name) {
    auto fresh = std::make_unique<Skin>();
    if (!loadSkin(*fresh, name, settings().homeFolder)) return false;
    // Everything that draws with the skin moves to the new one before the old one goes.
    std::unique_ptr<Skin> old = std::move(skin_);
    skin_ = std::move(fresh);
    if (view_) {
        view_->setSkin(*skin_);
        view_->drawBackground();
    }
    window_->attach(deskPicture_ ? &deskPicture_->image() : nullptr, desk_.get(), skin_.get());
    if (rhythm_) {
        rhythm_->moveToSkin(*skin_);
        placeRhythm();
    }
    if (library_) library_->applySkin(skin_->model);
    if (desk_) desk_->applySkin(&skin_->model);
    window_->update();
    old.reset();
    return true;
}

void DeskApp::bringUpToDesk(OutputDevice& output) {
    // The sound thread is not running yet: its operations are safe to call from here.
    output.resyncDeck(-1);
    for (int d = 0; d < 2; ++d)
        if ((*decks_)[d].playing()) output.deckStarted(d);
    if (desk_) {
        output.applyDeckLevel(0, desk_->faders().deckLevel(0));
        output.applyDeckLevel(1, desk_->faders().deckLevel(1));
        output.applyCrossfader(desk_->faders().crossfader());
        output.deckSelected(desk_->selectedDeck());  // what the headphones pre-listen to
    }
}

void DeskApp::tellSecondCardFailure() {
    if (const char* failure = engine_->secondCardMessage())
        tell(std::string(kSecondCard) + failure +
             (engine_->secondCardSilent() ? kSecondCardSilent : kPlaysOnDefault));
}

void DeskApp::rebuildAudioEngine() {
    if (!engine_) return;
    // A recording of the soft mix goes on into the same file when the new mode records too.
    std::unique_ptr<SampleSink> recording;
    engine_->stop(&recording);
    // A device that cannot be used gives way to the default one, then to silence: the desk
    // goes on, and says what happened.
    engine_->start(
        AudioEngine::Threading::Thread,
        [&](OutputDevice& output) {
            bringUpToDesk(output);
            if (recording && output.canRecord()) output.attachRecorder(std::move(recording));
        },
        AudioEngine::OnFailure::FallBack);
    if (recording) {
        if (desk_) desk_->panels().recordingEnded(kRecordingEndedByMode, *recording);
        recording.reset();  // finishes the file
    }
    if (const char* failure = engine_->fallbackMessage())
        tell(std::string(failure) + (engine_->silent() ? kPlaysSilently : kPlaysOnDefault));
    else if (!engine_->running() && fatalError() != nullptr) {
        tell(fatalError());  // told now: the desk goes on (its decks answer without sound)
        clearFatalError();
    }
    if (engine_->running()) tellSecondCardFailure();
    if (desk_) desk_->refreshDisplay();
}

void DeskApp::openControllersDialog() {
    if (controllers_) showControllersDialog(deskWindow(), *controllers_);
}

void DeskApp::suspendRhythm() {
    if (rhythm_) rhythm_->suspend();
}

void DeskApp::resumeRhythm() {
    // The strip stays held while the waveforms stand in its place.
    if (rhythm_ && !(waveforms_ && waveforms_->isVisibleTo(window_.get()))) rhythm_->resume();
}

void DeskApp::showWaveforms(bool on) {
    if (!rhythm_ || !waveforms_) return;
    if (on) {
        rhythm_->suspend();
        rhythm_->hide();
        waveforms_->show();
    } else {
        waveforms_->hide();
        rhythm_->show();
        rhythm_->resume();
    }
    if (bandSwitch_) {
        bandSwitch_->setWaveformsShown(on);
        bandSwitch_->raise();
    }
}

void DeskApp::zoomWaveforms(int steps) {
    if (waveforms_) waveforms_->zoom(steps);
}

void DeskApp::placeRhythm() {
    if (!rhythm_ || !skin_) return;
    const SkinControl& c = skin_->model.control(ctl::RhythmWindow);
    const QRect band =
        window_->fromDesk(QRect(c.x, c.y, std::max(c.width, 0), std::max(c.height, 0)));
    rhythm_->setGeometry(band);
    if (waveforms_) waveforms_->setGeometry(band);
    if (bandSwitch_) bandSwitch_->placeIn(band);
}

void DeskApp::tell(const std::string& text) {
    notices_.push_back(text);
    if (noticesScheduled_) return;
    noticesScheduled_ = true;
    QTimer::singleShot(0, window_.get(), [this] { showNotices(); });
}

void DeskApp::showNotices() {
    noticesScheduled_ = false;
    while (!notices_.empty() && !destroyed_) {
        const std::string text = notices_.front();
        notices_.erase(notices_.begin());
        QMessageBox box(QMessageBox::Information, "Spinlorex", QString::fromStdString(text),
                        QMessageBox::Ok, window_.get());
        box.exec();
    }
}

void DeskApp::openFiles(const std::vector<std::string>& paths) {
    if (!desk_ || !library_ || destroyed_ || !inbox_) return;
    // What each path is takes a look at the disk: a thread of its own looks.
    std::thread([paths, post = inbox_->poster(), this] {
        FilesToOpen files = sortFilesToOpen(paths);
        post([this, files = std::move(files)] { placeFiles(files); });
    }).detach();
}

void DeskApp::placeFiles(const FilesToOpen& files) {
    if (!desk_ || !library_ || destroyed_) return;
    for (size_t d = 0; d < files.decks.size(); ++d)
        desk_->dropOntoDeck(static_cast<int>(d), trackEntryForFile(files.decks[d]));
    if (!files.playlist.empty()) {
        MusicLibrary& music = library_->library();
        music.dropPathsOnPlaylist(music.playlist().size(), files.playlist);
    }
    if (!files.missing.empty()) {
        std::string text = kMissingFiles;
        for (const std::string& path : files.missing) text += "\n" + path;
        tell(text);
    }
}

void DeskApp::storeLoaded() {
    if (!store_ || !database_ || destroyed_ || !store_->takeLoaded()) return;
    database_->setRecordFiller(
        [store = store_.get()](TrackRecord& record) { store->fill(record); });
    gridWalk_ = database_->walkRecords();
    fillSomeGrids();
    // A damaged store set aside is told as a damaged database is; why nothing reaches the
    // file was said on the standard error.
    if (store_->rebuilt()) tell(store_->notice());
}

void DeskApp::fillSomeGrids() {
    // About 6 ms of the main thread each (100,000 records: a dozen turns of the loop).
    constexpr size_t kRecordsPerTurn = 8192;
    if (!gridWalk_ || !store_ || !inbox_ || destroyed_) return;
    if (gridWalk_->step(kRecordsPerTurn, [this](TrackRecord& record) { store_->fill(record); }))
        inbox_->post([this] { fillSomeGrids(); });
    else {
        gridWalk_.reset();
        if (analysis_) analysis_->gridsKnown();  // tracks still without one get theirs
    }
}

void DeskApp::traceFirstFrame(std::chrono::steady_clock::time_point since) {
    window_->onFirstPaint([since] {
        const auto ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
                .count();
        std::fprintf(stderr, "spinlorex: first frame after %.0f ms\n", ms);
    });
}

}  // namespace spinlorex
