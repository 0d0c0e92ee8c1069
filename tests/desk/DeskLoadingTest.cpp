// Loads whose files are opened on the track opener's threads: the desk answers while a
// file takes its time or never answers, each load ends where it would have ended at once,
// and a newer load or the desk's close leaves a hung one behind.

#include <condition_variable>
#include <map>
#include <mutex>

#include "audio/TrackOpener.h"
#include "desk/DeskRig.h"
#include "support/ConstantReader.h"

namespace spinlorex::test {
namespace {

// Files whose open waits until the test lets it through; "missing" ones fail.
class SlowFiles {
public:
    TrackOpener::ReaderFactory readers() {
        return [this](const std::string& path) -> std::unique_ptr<TrackReader> {
            return std::make_unique<GatedReader>(*this, path);
        };
    }
    void release(const std::string& path) {
        std::lock_guard lock(mutex_);
        released_[path] = true;
        changed_.notify_all();
    }
    void releaseAll() {
        std::lock_guard lock(mutex_);
        all_ = true;
        changed_.notify_all();
    }

private:
    class GatedReader : public ConstantReader {
    public:
        GatedReader(SlowFiles& files, std::string path)
            : ConstantReader(0, 0, 60), files_(files), path_(std::move(path)) {}
        int32_t open(const std::string& path) override {
            std::unique_lock lock(files_.mutex_);
            files_.changed_.wait(lock, [&] { return files_.all_ || files_.released_[path_]; });
            lock.unlock();
            return path.find("missing") != std::string::npos ? 0 : ConstantReader::open(path);
        }

    private:
        SlowFiles& files_;
        std::string path_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, bool> released_;
    bool all_ = false;
};

class DeskLoading : public DeskTest {
protected:
    // Waits for the opener's word and hands its answers to the desk, as the window does.
    void deliver() {
        std::unique_lock lock(mutex_);
        woken_.wait(lock, [&] { return wakes_ > 0; });
        wakes_ = 0;
        lock.unlock();
        rig_->call([&] { rig_->desk.onTracksOpened(); });
    }
    void load(int d, const std::string& path) {
        rig_->call([&] { rig_->desk.loadOntoDeck(d, TrackEntry{"A", "T", path, nullptr}); });
    }

    void SetUp() override {
        DeskTest::SetUp();
        rig_ = std::make_unique<DeskRig>(20, 20, 0, true);
        opener_ = std::make_unique<TrackOpener>(
            [this] {
                std::lock_guard lock(mutex_);
                ++wakes_;
                woken_.notify_all();
            },
            files_.readers());
        rig_->desk.setTrackOpener(opener_.get());
    }
    void TearDown() override {
        rig_->desk.setTrackOpener(nullptr);
        opener_.reset();
        files_.releaseAll();  // the left threads end with no one to answer
        rig_.reset();
        DeskTest::TearDown();
    }

    SlowFiles files_;
    std::unique_ptr<DeskRig> rig_;
    std::unique_ptr<TrackOpener> opener_;
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakes_ = 0;
};

TEST_F(DeskLoading, TheDeskAnswersWhileAFileOpensAndTheLoadEndsAsAnImmediateOneWould) {
    DeskRig& r = *rig_;
    load(0, "/music/slow.mp3");
    EXPECT_TRUE(r.deck(0).loading());
    EXPECT_EQ(r.desk.deckInfo(0).status, kStatusLoading);
    EXPECT_TRUE(r.desk.holdsTrack(0));  // the playlist does not feed it twice
    EXPECT_TRUE(r.desk.isBusy(0));      // the next double-click goes to the other deck
    EXPECT_EQ(r.desk.selectedDeck(), 0);
    EXPECT_FALSE(r.desk.transport().historyTimerRunning(0));

    // Meanwhile the other deck loads, plays and changes pitch.
    files_.release("/music/quick.mp3");
    load(1, "/music/quick.mp3");
    deliver();
    EXPECT_GE(r.deck(1).position(), 0.0f);
    r.call([&] { r.desk.transport().playPause(1); });
    EXPECT_TRUE(r.deck(1).playing());
    EXPECT_TRUE(r.deck(0).loading());

    // Play pressed while loading starts the track once it is there.
    r.call([&] { r.desk.transport().playPause(0); });
    EXPECT_FALSE(r.deck(0).playing());
    files_.release("/music/slow.mp3");
    deliver();
    EXPECT_FALSE(r.deck(0).loading());
    EXPECT_EQ(r.desk.deckInfo(0).status, kStatusNormal);
    EXPECT_TRUE(r.deck(0).playing());
    EXPECT_TRUE(r.desk.transport().historyTimerRunning(0));
    ASSERT_NE(r.deck(0).track(), nullptr);
    EXPECT_NE(r.deck(0).track()->record, nullptr);
}

TEST_F(DeskLoading, ANewerLoadLeavesAHungOneBehindAndAFailureIsNotAPlayingSong) {
    DeskRig& r = *rig_;
    load(0, "/share/hung.mp3");  // never answers while the test runs
    files_.release("/music/missing.mp3");
    load(0, "/music/missing.mp3");
    deliver();
    EXPECT_FALSE(r.deck(0).loading());
    EXPECT_EQ(r.desk.deckInfo(0).status, kStatusCannotOpen);
    EXPECT_FALSE(r.desk.holdsTrack(0));
    // A deck whose load failed waits for nothing: a drop replaces it without a question.
    EXPECT_FALSE(r.desk.isBusy(0));
    set(settings().babySecure, 1);
    r.call([&] { EXPECT_TRUE(r.desk.dropOntoDeck(0, TrackEntry{"A", "T", "/x/y.mp3", nullptr})); });
    EXPECT_TRUE(r.shell.questions.empty());

    // The hung file's answer, when it finally comes, is nobody's.
    files_.release("/share/hung.mp3");
    deliver();
    EXPECT_TRUE(r.deck(0).loading());
    files_.release("/x/y.mp3");
    deliver();
    ASSERT_NE(r.deck(0).track(), nullptr);
    EXPECT_EQ(r.deck(0).track()->path, "/x/y.mp3");
    EXPECT_GE(r.deck(0).position(), 0.0f);
}

TEST_F(DeskLoading, APlaylistTrackThatFailsGivesTheDeckTheNextAndAWaitingMixStarts) {
    DeskRig& r = *rig_;
    files_.releaseAll();
    MusicLibrary& music = r.music.library();
    const auto track = [&](const std::string& path) {
        return TrackEntry{"A", "T", path, r.database.findOrAdd(path, 1000)};
    };
    music.insertIntoPlaylist(
        -1, {track("/m/missing-1.mp3"), track("/m/missing-2.mp3"), track("/m/three.mp3")});
    // Deck 1 plays; "Mix Now" on the empty deck 2 feeds it from the playlist.
    files_.release("/m/playing.mp3");
    load(0, "/m/playing.mp3");
    deliver();
    r.call([&] { r.desk.transport().playPause(0); });
    r.call([&] { r.desk.panels().selectDeck(0); });
    r.call([&] { r.desk.mix().mixNow(); });
    EXPECT_TRUE(r.deck(1).loading());
    EXPECT_FALSE(r.desk.mix().running());
    // Each failure starts the next row's load; answers that come together are taken in
    // one go, so wait until the deck holds a track.
    for (int answers = 0; answers < 3 && r.deck(1).loading(); ++answers) deliver();
    ASSERT_NE(r.deck(1).track(), nullptr);
    EXPECT_EQ(r.deck(1).track()->path, "/m/three.mp3");
    EXPECT_TRUE(r.desk.mix().running());
    EXPECT_TRUE(r.deck(1).playing());
    EXPECT_EQ(music.playlist().size(), 0);
}

}  // namespace
}  // namespace spinlorex::test
