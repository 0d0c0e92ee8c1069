#include "auxwindows/RhythmWindow.h"

#include <chrono>
#include <system_error>
#include <vector>

#include <QtCore/QMetaObject>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>

#include "audio/DeckPair.h"
#include "auxwindows/RhythmStrip.h"
#include "platform/core/FatalError.h"
#include "skin/picture/ControlWindow.h"
#include "skin/picture/Skin.h"

namespace spinlorex {

namespace {

constexpr auto kFramePause = std::chrono::milliseconds(17);
// After this many frames in a row that changed nothing (both decks still), the thread
// looks again only every kRestPause, and at the frame pace again once something moves.
constexpr int kStillFramesBeforeRest = 30;
constexpr auto kRestPause = std::chrono::milliseconds(100);

}  // namespace

RhythmWindow::RhythmWindow(DeckPair& decks, SelectedDeck selectedDeck, const SkinModel& skin,
                           QWidget* parent)
    : QWidget(parent), decks_(decks), selectedDeck_(std::move(selectedDeck)) {
    setObjectName("SPINLOREXV");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::SizeHorCursor);  // the strip is dragged sideways
    moveToSkin(skin);
}

RhythmWindow::~RhythmWindow() { stop(); }

bool RhythmWindow::start() {
    if (thread_.joinable()) return true;
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
        suspendRequested_ = false;
        parked_ = false;
    }
    suspended_ = false;
    shown_ = {};  // the first picture is drawn whatever the last run showed
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        setFatalError(kThreadsImpossible);
        return false;
    }
    return true;
}

void RhythmWindow::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RhythmWindow::suspend() {
    suspended_ = true;
    dragDeck_ = -1;
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    suspendRequested_ = true;
    wake_.notify_all();
    wake_.wait(lock, [this] { return parked_; });
}

void RhythmWindow::resume() {
    suspended_ = false;
    {
        std::lock_guard lock(mutex_);
        suspendRequested_ = false;
    }
    wake_.notify_all();
}

void RhythmWindow::moveToSkin(const SkinModel& skin) {
    moveControlWindow(skin, this, ctl::RhythmWindow);
    const SkinControl& control = skin.control(ctl::RhythmWindow);
    Strip strip;
    strip.width = control.width;
    strip.height = control.height;
    strip.colours = rhythmColourTable(skin.values);
    background_ = strip.colours[0];
    stripWidth_ = strip.width;
    {
        std::lock_guard lock(mutex_);
        strip_ = strip;
    }
    update();
}

void RhythmWindow::moveToSkin(const Skin& skin) { moveToSkin(skin.model); }

QImage RhythmWindow::latestPicture() const {
    std::lock_guard lock(pictureMutex_);
    return latest_;
}

double RhythmWindow::scale() const {
    return stripWidth_ > 0 && width() > 0 ? width() / double(stripWidth_) : 1.0;
}

int RhythmWindow::selected() const { return selectedDeck_ && selectedDeck_() == 1 ? 1 : 0; }

// ---------------------------------------------------------------------------------------
// Drawing thread

void RhythmWindow::run() {
    std::unique_lock lock(mutex_);
    int stillFrames = 0;
    while (!stopRequested_) {
        if (suspendRequested_) {
            parked_ = true;
            wake_.notify_all();
            wake_.wait(lock, [this] { return stopRequested_ || !suspendRequested_; });
            parked_ = false;
            continue;
        }
        const Strip strip = strip_;
        lock.unlock();
        stillFrames = drawStrip(strip) ? 0 : std::min(stillFrames + 1, kStillFramesBeforeRest);
        lock.lock();
        const auto pause = stillFrames >= kStillFramesBeforeRest ? kRestPause : kFramePause;
        wake_.wait_for(lock, pause, [this] { return stopRequested_ || suspendRequested_; });
    }
    parked_ = true;  // a suspend() racing with stop() must not wait for ever
    wake_.notify_all();
}

bool RhythmWindow::drawStrip(const Strip& strip) {
    const int32_t width = rhythmColumns(strip.width);
    const int32_t height = strip.height;
    if (width < 1 || height < 1) return false;

    const int s = selected();
    std::vector<int16_t> unselected(static_cast<size_t>(width)), chosen(static_cast<size_t>(width));
    rhythmColumnHeights(decks_[1 - s], height, unselected);
    rhythmColumnHeights(decks_[s], height, chosen);
    // The same columns in the same colours: the picture on screen is still right.
    if (shown_.drawn && shown_.strip == strip && shown_.unselected == unselected &&
        shown_.chosen == chosen) {
        framesDrawn_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }

    QImage picture(width, height, QImage::Format_Indexed8);
    if (picture.isNull()) return false;
    picture.setColorTable(QList<QRgb>(strip.colours.begin(), strip.colours.end()));
    composeRhythmStrip(unselected, chosen, height, picture.bits(),
                       static_cast<int32_t>(picture.bytesPerLine()));
    {
        std::lock_guard lock(pictureMutex_);
        latest_ = std::move(picture);
    }
    shown_ = {true, strip, std::move(unselected), std::move(chosen)};
    picturesBuilt_.fetch_add(1, std::memory_order_relaxed);
    framesDrawn_.fetch_add(1, std::memory_order_relaxed);
    // One repaint waits in the GUI's queue at most; it paints whatever is latest then.
    if (!repaintPosted_.exchange(true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                repaintPosted_.store(false);
                update();
            },
            Qt::QueuedConnection);
    return true;
}

// ---------------------------------------------------------------------------------------
// GUI thread

void RhythmWindow::paintEvent(QPaintEvent*) {
    const QImage picture = latestPicture();
    QPainter painter(this);
    QRegion rest(rect());
    if (!picture.isNull()) {
        // Drawn to scale when the desk is shown larger than its 800 x 600 (full screen).
        const QRect target(0, 0, static_cast<int>(picture.width() * scale()), height());
        if (target.size() == picture.size())
            painter.drawImage(QPoint(0, 0), picture);
        else
            painter.drawImage(target, picture);
        rest -= QRegion(target);
    }
    for (const QRect& r : rest) painter.fillRect(r, QColor::fromRgb(background_));
}

void RhythmWindow::mousePressEvent(QMouseEvent* event) {
    if (suspended_) return;
    if (event->button() == Qt::LeftButton)
        dragDeck_ = selected();
    else if (event->button() == Qt::RightButton)
        dragDeck_ = 1 - selected();
    else
        return;
    // Qt keeps sending this widget the mouse until the button is released.
    lastX_ = static_cast<int>(event->position().x() / scale());
}

void RhythmWindow::mouseMoveEvent(QMouseEvent* event) {
    if (suspended_ || dragDeck_ < 0) return;
    const int x = static_cast<int>(event->position().x() / scale());
    DeckStream& deck = decks_[dragDeck_];
    const int32_t frames = rhythmNudgeFrames(lastX_, x, deck.pitch());
    if (frames != 0) deck.nudge(frames);
    lastX_ = x;
}

void RhythmWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) dragDeck_ = -1;
}

}  // namespace spinlorex
