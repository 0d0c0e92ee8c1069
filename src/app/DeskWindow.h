#pragma once

#include <QtWidgets/QWidget>

#include <functional>

namespace spinlorex {

class MixingDesk;
class Skin;

// The desk's frameless 800 x 600 window. It shows the off-screen desk picture (scaled to
// fit, aspect kept, when it covers the screen), and hands mouse, close and activation to
// the desk; audio files dropped from a file manager onto a deck's disc, information or
// title area load on that deck.
class DeskWindow : public QWidget {
public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;

    DeskWindow();

    // Links, set once the desk exists.
    void attach(const QImage* deskPicture, MixingDesk* desk, const Skin* skin);
    // A rectangle of the desk picture changed.
    void invalidateDesk(const QRect& deskRect);

    // Full screen without changing the monitor's mode: the window covers the screen.
    void enterFullScreen();
    void leaveFullScreen();
    // Set when the desk is fully created (activation changes full screen only then).
    void setReady(bool ready) { ready_ = ready; }
    // With "Maximized" on, full screen follows the whole program's activation: left when
    // another program is active, entered again when this one is (its dialogs count as it).
    void followApplicationState(Qt::ApplicationState state);
    // Closes the desk as its close control does, but without the question (the program
    // was asked to end): every dialog open over it is cancelled first.
    void closeWithoutQuestion();
    // Called once, right after the first picture reached the screen.
    void onFirstPaint(std::function<void()> callback) { firstPaint_ = std::move(callback); }

    // Where the desk picture sits in the window, and the mapping of window points to it.
    QRect deskArea() const;
    QPoint toDesk(const QPoint& windowPoint) const;
    QPoint fromDesk(const QPoint& deskPoint) const;
    QRect fromDesk(const QRect& deskRect) const;
    // Called whenever the desk picture's place in the window changed (full screen on or
    // off, a resize), so that child windows placed on the desk follow it.
    void onDeskAreaChanged(std::function<void()> callback) {
        deskAreaChanged_ = std::move(callback);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Holds the window manager's close while the quit question is open.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The deck whose disc, information or title area holds the desk point; -1 for none.
    int deckAt(const QPoint& deskPoint) const;

    const QImage* picture_ = nullptr;
    MixingDesk* desk_ = nullptr;
    const Skin* skin_ = nullptr;
    bool ready_ = false;
    bool fullScreen_ = false;
    bool questionOpen_ = false;  // the quit question waits for its answer
    bool stopping_ = false;      // closing without the question
    bool closed_ = false;
    std::function<void()> firstPaint_;
    std::function<void()> deskAreaChanged_;
};

// The first track (by isTrackFileName: MP3, WAV, FLAC, Ogg, Opus) among dropped URLs;
// empty when none.
QString firstAudioFile(const QList<QUrl>& urls);

}  // namespace spinlorex
