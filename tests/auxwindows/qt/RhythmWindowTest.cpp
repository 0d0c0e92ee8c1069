// The rhythm window on Qt: its drawing thread over real decks (started, suspended around a
// skin change, resumed, stopped), the picture the GUI paints, and drags that nudge a deck.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtGui/QMouseEvent>

#include "auxwindows/RhythmWindow.h"
#include "platform/core/FatalError.h"
#include "skin/picture/ControlWindow.h"
#include "skin/picture/Skin.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/QtApp.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using namespace std::chrono_literals;

// Runs the GUI's events until `condition` holds or about `seconds` pass.
template <class Condition>
bool pumpUntil(Condition condition, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// Waits until the thread finished `more` pictures after now.
bool morePictures(const RhythmWindow& w, uint64_t more = 2) {
    const uint64_t from = w.framesDrawn();
    return pumpUntil([&] { return w.framesDrawn() >= from + more; });
}

QImage shown(RhythmWindow& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

std::array<int, 4> valueCounts(const QImage& picture) {
    std::array<int, 4> counts{};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ++counts.at(picture.pixelIndex(x, y));
    return counts;
}

TEST(RhythmWindow, DrawsTwoPlayingDecksAndSuspendsResumesAndStopsCleanly) {
    test::qtApp();
    test::TempDir dir;
    const std::string one = dir.file("one.wav"), two = dir.file("two.wav");
    // The same music twice, each file with a record of its own; deck 2 plays it faster.
    const std::vector<float> music = synth::render({.bpm = 126, .seconds = 10});
    ASSERT_TRUE(synth::writeWav(one, music, 44100, 2, 16));
    ASSERT_TRUE(synth::writeWav(two, music, 44100, 2, 16));

    // The test is the sound thread: the decks move only as far as it runs passes.
    test::DeckHarness h(test::DeckHarness::RealReaders{});
    h.call([&] {
        ASSERT_TRUE(h.load(0, one));
        ASSERT_TRUE(h.load(1, two));
        h.deck(1).setPitch(4300);
    });

    Skin skin;
    clearFatalError();
    ASSERT_TRUE(loadSkin(skin, std::string(), std::string()));
    QWidget desk;
    desk.resize(800, 600);
    std::atomic<int> selected{0};
    auto* strip = createControlWindow<RhythmWindow>(
        skin.model, ctl::RhythmWindow, &desk, h.decks(), [&selected] { return selected.load(); },
        skin.model);
    EXPECT_EQ(strip->geometry(), QRect(22, 10, 750, 110));
    EXPECT_EQ(strip->objectName(), "SPINLOREXV");
    desk.show();

    // The thread draws while both decks play, pass after pass.
    ASSERT_TRUE(strip->start());
    h.call([&] {
        h.deck(0).play();
        h.deck(1).play();
    });
    const uint64_t before = strip->framesDrawn();
    for (int pass = 0; pass < 100 || h.deck(0).position() < 0.2f || h.deck(1).position() < 0.2f;
         ++pass) {
        ASSERT_TRUE(h.deck(0).playing() && h.deck(1).playing());
        h.runPasses(1);
        std::this_thread::sleep_for(2ms);
        QCoreApplication::processEvents();
    }
    EXPECT_GT(strip->framesDrawn(), before + 3);
    h.call([&] {
        h.deck(0).pause();
        h.deck(1).pause();
    });
    h.runPasses(300);  // paused decks decode and analyse ahead until their rings are full
    ASSERT_TRUE(morePictures(*strip));

    // Paused decks hold still: the picture is a function of the selection.
    const QImage first = strip->latestPicture();
    ASSERT_EQ(first.format(), QImage::Format_Indexed8);
    ASSERT_EQ(first.size(), QSize(750, 110));
    EXPECT_EQ(first.colorTable(), (QList<QRgb>{0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000}));
    const auto counts = valueCounts(first);
    EXPECT_GT(counts[1], 0);
    EXPECT_GT(counts[2], 0);
    EXPECT_GT(counts[3], 0);
    if (const char* keep = std::getenv("SPINLOREX_RHYTHM_PICTURE"))
        first.convertToFormat(QImage::Format_RGB32).save(QString::fromUtf8(keep), "PNG");

    // What the GUI paints is the latest picture, in the skin's colours.
    ASSERT_TRUE(
        pumpUntil([&] { return shown(*strip) == first.convertToFormat(QImage::Format_RGB32); }));
    // Still decks make no new picture: the thread looks, finds nothing changed, keeps it.
    const uint64_t built = strip->picturesBuilt();
    ASSERT_TRUE(morePictures(*strip, 3));
    EXPECT_EQ(strip->picturesBuilt(), built);

    selected = 1;
    ASSERT_TRUE(pumpUntil([&] { return strip->picturesBuilt() > built; }));
    const auto swapped = valueCounts(strip->latestPicture());
    EXPECT_EQ(swapped[1], counts[2]);
    EXPECT_EQ(swapped[2], counts[1]);
    EXPECT_EQ(swapped[3], counts[3]);

    // Suspended: nothing more is drawn, whatever changes meanwhile.
    strip->suspend();
    const uint64_t frozen = strip->framesDrawn();
    SkinModel wide = skin.model;
    SkinControl& c = wide.controls[ctl::RhythmWindow];
    c.x = 0, c.y = 0, c.width = 1024, c.height = 60;
    wide.values.rhythmColor3 = 15;
    strip->moveToSkin(wide);
    std::this_thread::sleep_for(120ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(strip->framesDrawn(), frozen);
    EXPECT_EQ(strip->geometry(), QRect(0, 0, 1024, 60));

    strip->resume();
    ASSERT_TRUE(morePictures(*strip));
    const QImage resized = strip->latestPicture();
    EXPECT_EQ(resized.size(), QSize(800, 60));  // the column arrays end at 800
    EXPECT_EQ(resized.color(3), 0xFFFFFF00u);
    // Beyond the 800 columns the strip shows its background.
    ASSERT_TRUE(pumpUntil([&] { return shown(*strip).pixel(900, 30) == 0xFF000000; }));

    strip->stop();
    EXPECT_FALSE(strip->running());
    const uint64_t stopped = strip->framesDrawn();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(strip->framesDrawn(), stopped);
    strip->stop();     // twice: nothing
    strip->suspend();  // not running: nothing to wait for
    strip->resume();

    // Started again, then destroyed while suspended: the destructor stops it.
    ASSERT_TRUE(strip->start());
    ASSERT_TRUE(morePictures(*strip));
    strip->suspend();
    delete strip;
}

// Left drags move the selected deck, right drags the other one: a move to the left plays
// ahead, 72 frames a pixel at normal pitch. Nothing moves while the strip is suspended.
TEST(RhythmWindow, DraggingNudgesTheSelectedOrTheOtherDeck) {
    test::qtApp();
    constexpr int32_t kTrackFrames = 44100 * 20;
    test::DeckHarness h({.frames = kTrackFrames}, {.frames = kTrackFrames});
    h.call([&] {
        for (int d : {0, 1}) {
            ASSERT_TRUE(h.load(d));
            h.deck(d).play();
        }
    });
    while (h.deck(0).position() < 0.1f || h.deck(1).position() < 0.1f) h.runPasses(1);
    h.call([&] {
        h.deck(0).pause();
        h.deck(1).pause();
        h.deck(1).setPitch(2048);
    });
    // From here a thread of its own serves the nudges the GUI asks for, and nothing else.
    struct Server {
        std::atomic<bool> done{false};
        std::thread thread;
        ~Server() {
            done = true;
            thread.join();
        }
    } server;
    server.thread = std::thread([&] {
        while (!server.done) {
            if (h.deck(0).requestPending() || h.deck(1).requestPending())
                h.runPasses(1);
            else
                std::this_thread::yield();
        }
    });

    SkinModel skin;
    skin.controls = defaultSkinControls();
    std::atomic<int> selected{1};
    RhythmWindow strip(
        h.decks(), [&selected] { return selected.load(); }, skin, nullptr);

    auto mouse = [&](QEvent::Type type, int x, Qt::MouseButton button) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, QPointF(x, 50), strip.mapToGlobal(QPointF(x, 50)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&strip, &e);
    };
    auto drag = [&](Qt::MouseButton button, std::initializer_list<int> xs) {
        auto x = xs.begin();
        mouse(QEvent::MouseButtonPress, *x, button);
        for (++x; x != xs.end(); ++x) mouse(QEvent::MouseMove, *x, button);
        mouse(QEvent::MouseButtonRelease, *(xs.end() - 1), button);
    };
    auto position = [&](int d) { return static_cast<double>(h.deck(d).position()); };

    // Left: the selected deck 2 at half speed, 36 rendered frames a pixel (18 of the
    // track); 10 pixels left, then 4 right.
    double before[2] = {position(0), position(1)};
    drag(Qt::LeftButton, {300, 295, 290, 294});
    EXPECT_NEAR(position(1) - before[1], (10 - 4) * 18.0 / kTrackFrames, 1e-5);
    EXPECT_DOUBLE_EQ(position(0), before[0]);

    // Right: the other deck, deck 1 at normal pitch, 10 pixels to the right: back 720.
    before[0] = position(0), before[1] = position(1);
    drag(Qt::RightButton, {300, 310});
    EXPECT_NEAR(position(0) - before[0], -720.0 / kTrackFrames, 1e-5);
    EXPECT_DOUBLE_EQ(position(1), before[1]);

    // Moves without a button, or while suspended, do nothing.
    before[0] = position(0), before[1] = position(1);
    mouse(QEvent::MouseMove, 100, Qt::NoButton);
    strip.suspend();
    drag(Qt::LeftButton, {300, 200});
    strip.resume();
    EXPECT_DOUBLE_EQ(position(0), before[0]);
    EXPECT_DOUBLE_EQ(position(1), before[1]);
}

}  // namespace
}  // namespace spinlorex
