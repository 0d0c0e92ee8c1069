#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <optional>
#include <vector>

#include <QtGui/QImage>

#include "desk/display/QtDeskView.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "skin/picture/Skin.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kCueGrey = 0x808080;  // the default "CueColor"

class DisplayViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        clearFatalError();
        ASSERT_TRUE(loadSkin(skin, std::string(), std::string()));
        ASSERT_TRUE(desk.buildBlank(800, 600));
        view.emplace(desk, skin, [this](const QRect& r) { invalidated.push_back(r); });
        view->drawBackground();
        invalidated.clear();
    }
    void TearDown() override { settings().resetToDefaults(); }

    QRgb at(int x, int y) const { return desk.image().pixel(x, y) & 0xFFFFFF; }
    QRgb skinAt(int x, int y) const { return skin.picture.image().pixel(x, y) & 0xFFFFFF; }
    QImage deskBlock(const QRect& r) const { return desk.image().copy(r); }
    QImage skinBlock(int x, int y, int w, int h) const {
        return skin.picture.image().copy(x, y, w, h);
    }
    static QRect rectOf(const SkinControl& c) {
        return QRect(c.left, c.top, c.right - c.left, c.bottom - c.top);
    }

    // The box of the pixels in `area` that pass `ink`.
    QRect inked(const QRect& area, const std::function<bool(QRgb)>& ink) const {
        QRect box;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (ink(at(x, y))) box |= QRect(x, y, 1, 1);
        return box;
    }
    bool sameAsSkin(const QRect& r) const {
        return deskBlock(r) == skinBlock(r.x(), r.y(), r.width(), r.height());
    }

    Skin skin;
    Surface desk;
    std::optional<QtDeskView> view;
    std::vector<QRect> invalidated;
};

bool yellowish(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 80; }

TEST_F(DisplayViewTest, DiscHandAndCueMark) {
    // The default disc 1: centre (90, 210), radius 70.
    ASSERT_NE(skinAt(90, 180), kWhite);
    view->redrawCueMark(0, 0.0f, true);
    EXPECT_EQ(at(90, 145), kCueGrey);  // 12 o'clock, between 7/8 R and R
    EXPECT_EQ(invalidated.back(), QRect(20, 140, 140, 140));

    invalidated.clear();
    view->drawDisc(0, 0.25f, 0.0f, true);
    EXPECT_EQ(at(125, 210), kWhite);
    EXPECT_EQ(at(90, 145), kCueGrey);  // outside the box the hand touched
    ASSERT_EQ(invalidated.size(), 1u);
    EXPECT_EQ(invalidated[0], QRect(90, 210, 71, 1));
    view->drawDisc(0, 0.25f, 0.0f, true);  // not moved: nothing to do
    EXPECT_EQ(invalidated.size(), 1u);

    view->drawDisc(0, 0.0f, 0.0f, true);  // the hand over the mark, the mark drawn again on top
    EXPECT_EQ(at(90, 180), kWhite);
    EXPECT_EQ(at(90, 145), kCueGrey);
    EXPECT_EQ(at(125, 210), skinAt(125, 210));

    view->drawDisc(0, -1.0f, 0.0f, false);  // no position: the hand goes
    EXPECT_EQ(at(90, 180), skinAt(90, 180));
}

TEST_F(DisplayViewTest, StraightBarDisc) {
    SkinControl& disc = skin.model.controls[ctl::Disc1];
    disc.radius = -1;
    disc.hitLeft = 30, disc.hitTop = 200, disc.hitRight = 150, disc.hitBottom = 220;
    view->drawDisc(0, 0.5f, 0.25f, true);  // line at 30 + 60, the cue at 60 left alone
    EXPECT_EQ(at(90, 200), kWhite);
    EXPECT_EQ(at(90, 219), kWhite);
    EXPECT_NE(at(60, 205), kCueGrey);
    view->drawDisc(0, 0.2f, 0.25f, true);  // line to 54: the strip holds the cue
    EXPECT_EQ(at(54, 210), kWhite);
    EXPECT_EQ(at(90, 210), skinAt(90, 210));
    EXPECT_EQ(at(60, 205), kCueGrey);
    EXPECT_EQ(at(60, 215), skinAt(60, 215));  // the upper half only
    EXPECT_EQ(invalidated.back(), QRect(54, 200, 37, 20));
}

TEST_F(DisplayViewTest, Knobs) {
    const SkinControl& xknob = skin.control(ctl::HorizontalFader);
    view->drawCrossfaderKnob(192, 384);
    EXPECT_EQ(deskBlock(QRect(506, 257, 23, 36)), skinBlock(xknob.offX, xknob.offY, 23, 36));
    EXPECT_TRUE(sameAsSkin(QRect(389, 257, 23, 36)));
    EXPECT_EQ(invalidated.back(), QRect(389, 257, 140, 36));

    // The volume slider of deck 1: its background is its on-look, 480 rows lower.
    const SkinControl& vknob = skin.control(ctl::VerticalFader1);
    view->drawSliderKnob(ctl::Level1, 0, 128);
    EXPECT_EQ(deskBlock(QRect(214, 188, 24, 20)), skinBlock(vknob.offX, vknob.offY, 24, 20));
    EXPECT_EQ(deskBlock(QRect(214, 125, 24, 20)), skinBlock(214, 605, 24, 20));
    EXPECT_EQ(invalidated.back(), QRect(214, 125, 24, 83));
}

TEST_F(DisplayViewTest, InfoPanel) {
    const QRect panel = rectOf(skin.control(ctl::Infos1));
    DeckInfo info;  // an empty deck: the message, centred
    view->drawDeckInfo(0, info);
    const QRect message = inked(panel, yellowish);
    ASSERT_FALSE(message.isNull());
    EXPECT_LE(std::abs(message.center().y() - panel.center().y()), 6);
    EXPECT_EQ(invalidated.back(), panel);

    info.status = 154;  // no message for that code
    view->drawDeckInfo(0, info);
    EXPECT_TRUE(sameAsSkin(panel));

    info.status = 0;
    skin.model.values.simpleInfos = "%30,50##";
    view->drawDeckInfo(0, info);
    const QRect text = inked(panel, yellowish);
    ASSERT_FALSE(text.isNull());
    EXPECT_GE(text.left(), panel.left() + 30);
    EXPECT_GE(text.top(), panel.top() + 50);

    // A refresh with the same values draws nothing; once the background was drawn anew
    // (a skin, a panel) the values are drawn again.
    invalidated.clear();
    view->drawDeckInfo(0, info);
    EXPECT_TRUE(invalidated.empty());
    view->drawBackground();
    EXPECT_TRUE(inked(panel, yellowish).isNull());
    view->drawDeckInfo(0, info);
    EXPECT_EQ(inked(panel, yellowish), text);
}

TEST_F(DisplayViewTest, TitleLines) {
    const QRect area = rectOf(skin.control(ctl::Title1));
    const int band = area.top() + skin.values().fontSizeTitle;
    view->drawDeckTitle(0, "Artist", "Title");
    // The artist (dark green) above the band's edge, the title (bright green) below it.
    auto bright = [](QRgb c) { return qGreen(c) > 230 && qRed(c) < 60; };
    auto dim = [](QRgb c) { return qGreen(c) > 90 && qGreen(c) < 150 && qRed(c) < 60; };
    const QRect artist =
        inked(QRect(area.left(), area.top(), area.width(), band - area.top()), dim);
    const QRect title = inked(area, bright);
    ASSERT_FALSE(artist.isNull());
    ASSERT_FALSE(title.isNull());
    EXPECT_GE(title.top(), band);
    EXPECT_TRUE(
        inked(QRect(area.left(), area.top(), area.width(), band - area.top()), bright).isNull());

    view->drawDeckTitle(0, "", "");
    EXPECT_TRUE(sameAsSkin(area));
    EXPECT_EQ(invalidated.back(), area);
}

TEST_F(DisplayViewTest, OptionLinesSetTheirHitAreaToTheText) {
    set(settings().crossfader, 7);
    view->drawOptionsPanel();
    EXPECT_EQ(get(settings().crossfader), 0);
    EXPECT_EQ(invalidated.back(), rectOf(skin.control(ctl::FilesWindow)));
    for (int id : {ctl::OptAutoPitch, ctl::OptCrossfader, ctl::OptAbout}) {
        const SkinControl& c = skin.control(id);
        const int m = (c.left + c.right) / 2, y = (c.top + c.bottom) / 2;
        EXPECT_LT(c.hitLeft, m - 10) << id;
        EXPECT_GT(c.hitRight, m + 10) << id;
        EXPECT_EQ(hitTest(skin, m, y, 5, 0), id);
        EXPECT_NE(hitTest(skin, c.hitLeft - 1, y, 5, 0), id);  // beside the text: not this line
        EXPECT_NE(hitTest(skin, c.hitRight, y, 5, 0), id);
        EXPECT_FALSE(inked(rectOf(c), yellowish).isNull()) << id;
    }
}

TEST_F(DisplayViewTest, RecordStatus) {
    view->drawRecordStatus("Recording: 00:12 - 2 MB");
    const QRect area = rectOf(skin.control(ctl::RecordStatus));
    EXPECT_EQ(invalidated.back(), area);
    const auto green = [](QRgb c) { return qGreen(c) > 200 && qRed(c) < 60; };
    const QRect text = inked(area, green);
    ASSERT_FALSE(text.isNull());
    EXPECT_LE(std::abs(text.center().x() - area.center().x()), 3);
    // Nothing records any more: the status goes, the panel's own picture is back.
    invalidated.clear();
    view->drawRecordStatus("");
    EXPECT_EQ(invalidated.back(), area);
    EXPECT_TRUE(inked(area, green).isNull());
}

// The whole desk as the window shows it, written as a picture (SPINLOREX_DESK_PICTURE
// names a copy to keep, for the documentation).
TEST_F(DisplayViewTest, RenderedDesk) {
    DeckInfo one;
    one.status = 0, one.duration = 245, one.position = 0.3f, one.pitch = 4178, one.level = 230;
    one.trackBpm = 126.0f, one.localBpm = 125.8f, one.cuePoint = 0.1f, one.loudnessPeak = 9000;
    one.lastStrongBeat = 0.93f;
    DeckInfo two = one;
    two.extended = true, two.position = 0.62f, two.pitch = 4096, two.cuePoint = 0.75f,
    two.localLevel = 12000;

    view->drawDeckTitle(0, "Night Drive Ensemble", "Harbour Lights (Extended Mix)");
    view->drawDeckTitle(1, "", "A title without an artist that wraps");
    view->redrawCueMark(0, one.cuePoint, true);
    view->redrawCueMark(1, two.cuePoint, true);
    view->drawDisc(0, one.position, one.cuePoint, true);
    view->drawDisc(1, two.position, two.cuePoint, true);
    view->drawDeckInfo(0, one);
    view->drawDeckInfo(1, two);
    view->drawCrossfaderKnob(192, 120);
    view->drawSliderKnob(ctl::Pitch1, 128, 140);
    view->drawSliderKnob(ctl::Pitch2, 128, 128);
    view->drawOptionsPanel();

    test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("desk.png"));
    ASSERT_TRUE(desk.image().save(path, "PNG"));
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(800, 600));
    // Deck 2's hand at 0.62 of a turn, halfway out (within a pixel of the ideal line); its
    // cue mark at 9 o'clock.
    const int hx = 710 + static_cast<int>(std::sin(2 * std::numbers::pi * 0.62) * 35);
    const int hy = 210 - static_cast<int>(std::cos(2 * std::numbers::pi * 0.62) * 35);
    const QRgb near[] = {back.pixel(hx - 1, hy), back.pixel(hx, hy), back.pixel(hx + 1, hy)};
    EXPECT_TRUE(std::ranges::any_of(near, [](QRgb c) { return (c & 0xFFFFFF) == kWhite; }));
    EXPECT_EQ(back.pixel(710 - 66, 210) & 0xFFFFFF, kCueGrey);
    if (const char* keep = std::getenv("SPINLOREX_DESK_PICTURE"))
        desk.image().save(QString::fromUtf8(keep), "PNG");
}

}  // namespace
}  // namespace spinlorex
