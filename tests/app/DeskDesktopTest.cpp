// The desk among the desktop's other windows: full screen that follows the whole
// program's activation, letter shortcuts on keyboards of other scripts.

#include <gtest/gtest.h>

#include <QtGui/QGuiApplication>
#include <QtGui/QKeyEvent>
#include <QtGui/QWindow>
#include <QtWidgets/QAbstractButton>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/KeyMapping.h"
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
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
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

// A key press as X11 and Wayland give it: Qt's key, the xkb key code and the text.
QKeyEvent keyPress(int key, quint32 keyCode, const QString& text) {
    return QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, keyCode, 0, 0, text);
}

TEST(DeskKeys, LettersOfOtherScriptsActAsTheLatinLetterOnTheirKey) {
    test::qtApp();  // key events belong to the application's keyboard
    EXPECT_EQ(virtualKeyOf(keyPress(0x0417, 33, QString::fromUtf8("з"))), 'P');  // Russian
    EXPECT_EQ(virtualKeyOf(keyPress(0x042C, 58, QString::fromUtf8("ь"))), 'M');
    EXPECT_EQ(virtualKeyOf(keyPress(0x03A3, 39, QString::fromUtf8("σ"))), 'S');  // Greek
    EXPECT_EQ(virtualKeyOf(keyPress(0x039D, 57, QString::fromUtf8("ν"))), 'N');
    EXPECT_EQ(virtualKeyOf(keyPress(0x039B, 46, QString::fromUtf8("λ"))), 'L');
    // A Latin layout's letters keep their own meaning (French A where Q is), its other
    // keys stay what they are, and so does a letter on a key that is no letter's place.
    EXPECT_EQ(virtualKeyOf(keyPress(Qt::Key_A, 24, "a")), 'A');
    EXPECT_EQ(virtualKeyOf(keyPress(Qt::Key_Comma, 58, ",")), 0);
    EXPECT_EQ(virtualKeyOf(keyPress(0x042E, 60, QString::fromUtf8("ю"))), 0);
    EXPECT_EQ(virtualKeyOf(keyPress(0x0416, 47, QString::fromUtf8("ж"))), 0);
}

TEST_F(DeskDesktopTest, ACyrillicKeyAtPsPlacePausesTheSelectedDeck) {
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
    ASSERT_TRUE(processUntil([&] { return (*app.decks())[0].playing(); }));
    QKeyEvent ze = keyPress(0x0417, 33, QString::fromUtf8("з"));
    QApplication::sendEvent(&app.window(), &ze);
    EXPECT_TRUE(ze.isAccepted());
    EXPECT_TRUE(processUntil([&] { return !(*app.decks())[0].playing(); }));
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
