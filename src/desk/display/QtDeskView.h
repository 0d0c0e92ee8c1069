#pragma once

// The desk's picture: every DeskView operation drawn into the off-screen 800 x 600 desk
// picture from the current skin, with the desk's five fonts and two pens, each followed by
// a notice of the rectangle it changed so that the window repaints just that.
//
// Main thread only.

#include <array>
#include <functional>
#include <optional>

#include <QtCore/QRect>
#include <QtGui/QColor>
#include <QtGui/QFont>
#include <QtGui/QPen>

#include "desk/DeskView.h"
#include "desk/display/DeskGeometry.h"

namespace spinlorex {

struct Skin;
class Surface;

class QtDeskView final : public DeskView {
public:
    // A rectangle of the desk picture (desk coordinates) that changed.
    using Invalidate = std::function<void(const QRect&)>;

    // Draws into `desk` (ready, 800 x 600) from `skin`; both must outlive the view (or the
    // next setSkin). The options panel writes the horizontal hit bounds of the option
    // controls into the skin's model. Makes the fonts and pens from the skin's values.
    QtDeskView(Surface& desk, Skin& skin, Invalidate invalidate = {});
    ~QtDeskView() override;
    QtDeskView(const QtDeskView&) = delete;
    QtDeskView& operator=(const QtDeskView&) = delete;

    // Another skin is current: fonts and the cue pen are made anew from its values and the
    // discs' last drawn hands forgotten. Draws nothing; the window then calls
    // drawBackground() and the desk redraws its elements.
    void setSkin(Skin& skin);
    // The skin picture's top-left 800 x 600 copied into the desk picture, all invalidated.
    void drawBackground();

    // DeskView
    void drawControl(int id, bool on) override;
    void restoreControl(int id) override;
    void drawDisc(int deck, float position, float cuePoint, bool trackOpen) override;
    void redrawCueMark(int deck, float cuePoint, bool trackOpen) override;
    void drawSliderKnob(int sliderId, int32_t oldPosition, int32_t newPosition) override;
    void drawCrossfaderKnob(int32_t oldValue, int32_t newValue) override;
    void drawDeckInfo(int deck, const DeckInfo& info) override;
    void drawDeckTitle(int deck, const std::string& artist, const std::string& title) override;
    void drawOptionsPanel() override;
    void drawRecordStatus(const std::string& text) override;

    // The desk's fonts, as made from the skin (tests and the window's own drawing).
    enum FontRole { SimpleInfos, ExtendedInfos, Title, Author, Text, FontCount };
    const QFont& font(FontRole role) const { return fonts_[role]; }

private:
    void makeFontsAndPens();
    void invalidate(const display::Rect& r);
    void invalidate(const QRect& r);
    // A block of the skin picture copied to the same place of the desk picture.
    void restore(const display::Rect& r);
    void drawSegment(display::Point from, display::Point to, const QPen& pen);
    void drawDiscHand(int deck, float position, float cuePoint, bool trackOpen);
    void drawBarLine(int deck, float position, float cuePoint, bool trackOpen);

    Surface& desk_;
    Skin* skin_;
    Invalidate invalidate_;

    std::array<QFont, FontCount> fonts_;
    QPen handPen_;
    QPen cuePen_;

    // What the last refresh drew, per deck: the hand's end relative to the centre, or the
    // bar's line number. Forgetting them only costs a redraw.
    std::array<display::Point, 2> lastHand_{};
    std::array<int32_t, 2> lastBarLine_{};
    // What each information panel shows: a refresh with the same values draws nothing.
    // Forgotten whenever something may have drawn over a panel.
    std::array<std::optional<DeckInfo>, 2> shownInfo_{};
};

}  // namespace spinlorex
