// The desk among the desktop's other windows: full screen that follows the whole
// program's activation.

#include <gtest/gtest.h>

#include <QtGui/QGuiApplication>
#include <QtGui/QWindow>
#include <QtWidgets/QAbstractButton>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/TrackNames.h"
#include "app/dialogs/DeskDialog.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"

namespace spinlorex {
namespace {

using test::processUntil;

class DeskDesktopTest : public test::DeskAppFixture {
protected:
    DeskDesktopTest() : DeskAppFixture("Test Artist - Test Title.wav", 20) {}
};

TEST_F(DeskDesktopTest, FullScreenStaysWhileTheDesksOwnQuestionIsOpenAndFollowsTheProgram) {
    set(settings().maximized, 1);
    DeskApp app;
    ASSERT_TRUE(app.create());
    DeskWindow& window = app.window();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(
        processUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
    EXPECT_TRUE(window.isFullScreen());
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    desk.playPause(0);
    ASSERT_TRUE(processUntil([&] { return (*app.decks())[0].playing(); }));

    // The close question takes the activation from the desk window, not from the program.
    bool coveredWhileAsked = false, askedActive = false;
    test::withNextModal<YesNoDialog>([&](YesNoDialog& question) {
        processUntil([&] { return question.isActiveWindow(); }, 2);
        askedActive = question.isActiveWindow();
        coveredWhileAsked = window.isFullScreen();
        question.noButton().click();
    });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(askedActive);
    EXPECT_TRUE(coveredWhileAsked);
    EXPECT_TRUE(window.isFullScreen());

    // Another program becomes active: the desk leaves full screen, and covers the screen
    // again when the program is active again.
    window.followApplicationState(Qt::ApplicationInactive);
    EXPECT_FALSE(window.isFullScreen());
    EXPECT_EQ(window.size(), QSize(800, 600));
    window.followApplicationState(Qt::ApplicationActive);
    EXPECT_TRUE(window.isFullScreen());
    // Without "Maximized" the activation leaves the window as it is.
    set(settings().maximized, 0);
    window.followApplicationState(Qt::ApplicationInactive);
    EXPECT_TRUE(window.isFullScreen());
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
