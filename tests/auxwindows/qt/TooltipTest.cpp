// The balloon window on Qt: placed by the mouse, shaped from its artwork, its picture
// stretched to the text, and the mouse passed on to the desk window under it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QRegion>

#include "auxwindows/Tooltip.h"
#include "desk/display/QtDeskView.h"
#include "platform/core/FatalError.h"
#include "resources/Resources.h"
#include "skin/picture/Skin.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

// Stands in for the desk window: shows the desk picture, remembers the mouse it gets.
class DeskStandIn : public QWidget {
public:
    struct Mouse {
        QEvent::Type type;
        QPoint at;
        Qt::MouseButton button;
    };
    explicit DeskStandIn(const QImage& picture) : picture_(picture) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setGeometry(120, 90, 800, 600);
        setMouseTracking(true);  // as the desk window: moves without a button come too
    }
    std::vector<Mouse> mouse;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture_); }
    void mousePressEvent(QMouseEvent* e) override { record(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { record(e); }
    void mouseMoveEvent(QMouseEvent* e) override { record(e); }

private:
    void record(QMouseEvent* e) {
        mouse.push_back({e->type(), e->position().toPoint(), e->button()});
    }
    const QImage& picture_;
};

bool waitUntilShown(const Tooltip& tip) {
    QElapsedTimer clock;
    clock.start();
    while (tip.core().state() != TooltipCore::State::Shown && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return tip.core().state() == TooltipCore::State::Shown;
}

class TooltipWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        clearFatalError();
        ASSERT_TRUE(loadSkin(skin, std::string(), std::string()));
        ASSERT_TRUE(desk.buildBlank(800, 600));
        view.emplace(desk, skin);
        view->drawBackground();
        view->drawDeckTitle(0, "Night Drive Ensemble", "Harbour Lights (Extended Mix)");
        view->drawDeckTitle(1, "Coastal", "Undertow");
        window.emplace(desk.image());
        window->show();
        resources::initialise();
        frame = QImage(resources::kTooltip).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(frame.size(), QSize(29, 30));
    }

    // Shows control `id`'s balloon with the mouse at desk point `at`.
    void rest(Tooltip& tip, int id, QPoint at) {
        const QPoint global = window->mapToGlobal(at);
        tip.update(global.x(), global.y(), id, controlTooltip(id));
    }

    // Every pixel of the balloon that comes from the frame is in the shape exactly when it
    // is not the key colour; below the stretched middle nothing is. The shape is checked
    // as the window system uses it: as a clip.
    void expectShapeFollowsPicture(const Tooltip& tip) {
        const QImage& picture = tip.picture();
        const int width = picture.width();
        const QRgb key = frame.pixel(0, 0);
        const QRegion mask = tip.window()->mask();
        QImage clipped(picture.size(), QImage::Format_RGB32);
        clipped.fill(kUntouched);
        {
            QPainter p(&clipped);
            p.setClipRegion(mask);
            p.fillRect(clipped.rect(), Qt::white);
        }
        auto inside = [&](int x, int y) { return clipped.pixel(x, y) != kUntouched; };
        ASSERT_TRUE(QRect(0, 0, width, 30).contains(mask.boundingRect()));
        EXPECT_GE(mask.boundingRect().right(), width - 2);  // the right part went along
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool middle = x >= 22 && x < width - 6;
                if (middle && y >= 23) {
                    EXPECT_FALSE(inside(x, y)) << x << "," << y;
                    continue;
                }
                if (y >= 3 && y < 20 && x >= 3 && x < width - 3) continue;  // the text's place
                const int fx = middle ? 22 : (x < 22 ? x : x - (width - 29));
                EXPECT_EQ(picture.pixel(x, y), frame.pixel(fx, y)) << x << "," << y;
                EXPECT_EQ(inside(x, y), picture.pixel(x, y) != key) << x << "," << y;
            }
        }
    }

    static constexpr QRgb kUntouched = 0xFF123456;
    Skin skin;
    Surface desk;
    std::optional<QtDeskView> view;
    std::optional<DeskStandIn> window;
    QImage frame;
};

TEST_F(TooltipWindow, RestingOnPlayShowsAShapedBalloonWithItsTailAtTheMouse) {
    Tooltip tip(&*window);
    ASSERT_TRUE(tip.ready());
    QWidget* balloon = tip.window();
    EXPECT_FALSE(balloon->isVisible());
    EXPECT_EQ(balloon->objectName(), "SPINLOREXT");

    rest(tip, ctl::Play1, QPoint(238, 326));
    EXPECT_FALSE(balloon->isVisible());
    ASSERT_TRUE(waitUntilShown(tip));
    ASSERT_TRUE(balloon->isVisible());
    const QPoint mouse = window->mapToGlobal(QPoint(238, 326));
    const int width = tip.core().size().width;
    EXPECT_GE(width, 29);
    EXPECT_EQ(balloon->geometry(), QRect(mouse.x() - 2, mouse.y() - 31, width, 30));
    EXPECT_EQ(tip.picture().size(), QSize(width, 30));
    expectShapeFollowsPicture(tip);

    // The text is drawn dark inside the box.
    int ink = 0;
    for (int y = 4; y < 20; ++y)
        for (int x = 4; x < 25; ++x) ink += qGray(tip.picture().pixel(x, y)) < 100;
    EXPECT_GT(ink, 15);

    // The balloon follows the mouse over the same control.
    rest(tip, ctl::Play1, QPoint(243, 330));
    EXPECT_EQ(balloon->pos(), window->mapToGlobal(QPoint(243 - 2, 330 - 31)));
    EXPECT_TRUE(balloon->isVisible());

    // The desk picture with the balloon on it, for the documentation.
    if (const char* keep = std::getenv("SPINLOREX_TOOLTIP_PICTURE")) {
        QImage shot = desk.image().copy();
        QPainter p(&shot);
        const QPoint at = window->mapFromGlobal(balloon->pos());
        p.setClipRegion(balloon->mask().translated(at));
        p.drawImage(at, tip.picture());
        p.end();
        shot.save(QString::fromUtf8(keep), "PNG");
    }

    tip.hide();
    EXPECT_FALSE(balloon->isVisible());
    EXPECT_TRUE(balloon->mask().isEmpty());
    EXPECT_EQ(tip.core().state(), TooltipCore::State::Idle);
}

TEST_F(TooltipWindow, ALongTextStretchesTheMiddleAndMovesTheRightPart) {
    Tooltip tip(&*window);
    rest(tip, ctl::Maximize, QPoint(757, 5));
    ASSERT_TRUE(waitUntilShown(tip));
    const int width = tip.core().size().width;
    EXPECT_GT(width, 50);  // "Full screen"
    EXPECT_EQ(tip.window()->size(), QSize(width, 30));
    EXPECT_EQ(tip.picture().size(), QSize(width, 30));
    expectShapeFollowsPicture(tip);

    // Another control: the old balloon goes at once, the new one shows at its own width.
    rest(tip, ctl::Play1, QPoint(238, 326));
    EXPECT_FALSE(tip.window()->isVisible());
    ASSERT_TRUE(waitUntilShown(tip));
    EXPECT_LT(tip.window()->width(), width);
    expectShapeFollowsPicture(tip);
}

TEST_F(TooltipWindow, MouseOnTheBalloonReachesTheDeskWindowAtTheSamePoint) {
    Tooltip tip(&*window);
    rest(tip, ctl::Play1, QPoint(238, 326));
    ASSERT_TRUE(waitUntilShown(tip));
    QWidget* balloon = tip.window();

    auto send = [&](QEvent::Type type, Qt::MouseButton button) {
        const QPointF local(10, 12);
        QMouseEvent e(type, local, balloon->mapToGlobal(local), button,
                      type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(balloon, &e);
    };
    send(QEvent::MouseMove, Qt::NoButton);
    send(QEvent::MouseButtonPress, Qt::MiddleButton);  // only left and right are passed on
    send(QEvent::MouseButtonPress, Qt::RightButton);
    send(QEvent::MouseButtonRelease, Qt::RightButton);
    const QPoint expected = window->mapFromGlobal(balloon->mapToGlobal(QPoint(10, 12)));
    ASSERT_EQ(window->mouse.size(), 3u);
    EXPECT_EQ(window->mouse[0].type, QEvent::MouseMove);
    EXPECT_EQ(window->mouse[1].type, QEvent::MouseButtonPress);
    EXPECT_EQ(window->mouse[1].button, Qt::RightButton);
    EXPECT_EQ(window->mouse[2].type, QEvent::MouseButtonRelease);
    for (const auto& m : window->mouse) EXPECT_EQ(m.at, expected);
}

TEST_F(TooltipWindow, TheBalloonGoesWithItsOwnerAndAnyOrderOfTeardownIsSafe) {
    auto tip = std::make_unique<Tooltip>(&*window);
    rest(*tip, ctl::Play1, QPoint(238, 326));
    window.reset();  // the desk window deletes the balloon it owns
    EXPECT_EQ(tip->window(), nullptr);
    tip->hide();
    tip.reset();
}

}  // namespace
}  // namespace spinlorex
