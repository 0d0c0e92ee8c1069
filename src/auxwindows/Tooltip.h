#pragma once

// The tooltip balloon: a small shaped window owned by the desk window that shows a
// control's name once the mouse has rested on the control for half a second, follows the
// mouse while it stays there and vanishes when it leaves or a button is pressed.
//
// The caller decides whether tooltips are wanted at all: the desk's shell calls update()
// only while the "ToolTip" setting is on and no button is held; hide() is called on every
// button press and release whatever the setting, so a balloon shown before the setting
// was switched off goes with the next click.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <QtCore/QPointer>
#include <QtGui/QImage>
#include <QtWidgets/QWidget>

#include "auxwindows/TooltipCore.h"

class QTimer;

namespace spinlorex {

class Tooltip : private TooltipHost {
public:
    // Loads the balloon artwork and creates the hidden balloon window, owned by `owner`
    // (the desk window, which receives the mouse events that land on the balloon). When
    // the artwork cannot be loaded the fatal-error channel holds the reason and the
    // tooltip does nothing.
    explicit Tooltip(QWidget* owner);
    ~Tooltip() override;
    Tooltip(const Tooltip&) = delete;
    Tooltip& operator=(const Tooltip&) = delete;

    // The mouse rests at (globalX, globalY), screen coordinates, over control `id` (-1 for
    // none) whose tooltip text is `text` (controlTooltip(id)).
    void update(int32_t globalX, int32_t globalY, int32_t id, std::string_view text);
    void hide();

    bool ready() const { return balloon_ != nullptr; }
    const TooltipCore& core() const { return core_; }
    // The balloon window (null when not ready) and its last composed picture.
    QWidget* window() const { return balloon_.data(); }
    const QImage& picture() const { return picture_; }

private:
    class Balloon;

    void startTimer(int32_t milliseconds) override;
    void stopTimer() override;
    void measure(std::string_view text, int32_t& width, int32_t& height) override;
    void place(BalloonPlace place, int32_t width) override;
    void repaint() override;
    void present(const BalloonSize& size, std::string_view text) override;
    void conceal() override;

    TooltipCore core_;
    QImage frame_;                    // the 29 x 30 artwork
    std::vector<uint16_t> frame555_;  // the same as 16-bit pixels, for its shape
    QImage picture_;                  // the balloon as last shown
    QPointer<QWidget> balloon_;       // a Balloon; the owner may delete it first
    std::unique_ptr<QTimer> timer_;
};

}  // namespace spinlorex
