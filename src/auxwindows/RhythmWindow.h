#pragma once

// The rhythm strip across the top of the desk: both decks' onset strengths from what is
// heard into the next seconds, overlaid so that beats in step show in one colour. A
// drawing thread of its own builds an 8-bit picture every 17 ms and hands it to the GUI
// thread, which only paints the latest one. Dragging in the strip nudges a deck: the left
// button the selected deck, the right button the other one.
//
// The drawing thread reads only atomics of the two decks (heard frame, pitch, the
// analyser's onset ring and its copy of the track's peak level), the selected deck through
// the given function, and copies of the skin's values. The decks must outlive the thread.
//
// Main thread, except where a member says otherwise.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QtGui/QImage>
#include <QtWidgets/QWidget>

namespace spinlorex {

class DeckPair;
struct SkinModel;
struct Skin;

class RhythmWindow : public QWidget {
public:
    // The index (0 or 1) of the deck the keys act on. Called on the drawing thread from
    // start() to stop(), and on the main thread during drags: it must be safe on both and
    // stay valid that long.
    using SelectedDeck = std::function<int()>;

    // A child of `parent` placed on the skin's "rhythm window" control, with its size and
    // colours. The thread does not run yet.
    RhythmWindow(DeckPair& decks, SelectedDeck selectedDeck, const SkinModel& skin,
                 QWidget* parent);
    ~RhythmWindow() override;  // stops the thread

    // Starts the drawing thread (not suspended). True when it runs; otherwise the
    // fatal-error channel says why.
    bool start();
    // Ends the drawing thread and waits for it. Harmless when it does not run.
    void stop();
    // Once suspend() returns the thread touches nothing (decks, skin, this widget) until
    // resume(); mouse drags are ignored meanwhile. Around replacing the skin or the audio
    // engine. Harmless when the thread does not run.
    void suspend();
    void resume();
    // A new skin: the strip's place, size and colours.
    void moveToSkin(const SkinModel& skin);
    void moveToSkin(const Skin& skin);

    bool running() const { return thread_.joinable(); }
    // The latest picture the thread finished (null before the first); how many times it
    // brought the picture up to date with the decks so far; how many of those times the
    // picture changed and a new one was made (still decks make none). Any thread.
    QImage latestPicture() const;
    uint64_t framesDrawn() const { return framesDrawn_.load(std::memory_order_relaxed); }
    uint64_t picturesBuilt() const { return picturesBuilt_.load(std::memory_order_relaxed); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // What the drawing thread takes from the skin.
    struct Strip {
        int32_t width = 0, height = 0;
        std::array<uint32_t, 4> colours{};
        bool operator==(const Strip&) const = default;
    };

    void run();
    // One picture from the decks as they are now (drawing thread); false when it would be
    // the one shown already, which is then kept.
    bool drawStrip(const Strip& strip);
    int selected() const;
    // Window pixels per strip pixel: above 1 when the desk is shown enlarged.
    double scale() const;

    DeckPair& decks_;
    const SelectedDeck selectedDeck_;

    // Shared with the drawing thread, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Strip strip_;
    bool stopRequested_ = false;
    bool suspendRequested_ = false;
    bool parked_ = false;  // the thread waits for resume()
    std::thread thread_;

    // The finished picture, under pictureMutex_; the thread builds the next one aside.
    mutable std::mutex pictureMutex_;
    QImage latest_;
    std::atomic<bool> repaintPosted_{false};
    std::atomic<uint64_t> framesDrawn_{0};
    std::atomic<uint64_t> picturesBuilt_{0};
    // What the latest picture was made from (drawing thread; reset by start() before it).
    struct Shown {
        bool drawn = false;
        Strip strip;
        std::vector<int16_t> unselected, chosen;
    };
    Shown shown_;

    // Main thread.
    bool suspended_ = false;
    uint32_t background_ = 0xFF000000;
    int32_t stripWidth_ = 0;  // the skin's width of the strip
    int dragDeck_ = -1;
    int lastX_ = 0;
};

}  // namespace spinlorex
