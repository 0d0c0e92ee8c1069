// The library in the desk program: Enter and double-clicks, the "Bpm" dialog, the
// library's own drag onto a disc, the Delete key, saving the playlist, and the edit-field
// rule of the keyboard, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/dialogs/TrackDialogs.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "library/views/LibraryBrowser.h"
#include "library/views/TrackListView.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using test::processUntil;

class DeskLibraryAppTest : public test::DeskAppFixture {
protected:
    DeskLibraryAppTest() : DeskAppFixture("Test Artist - Test Title.wav", 20) {}

    void SetUp() override {
        DeskAppFixture::SetUp();
        synth::Params p;
        p.seconds = 20;
        p.seed = 2;
        synth::writeWav(home_.file("Second - Track.wav"), synth::render(p), 44100, 2, 16);
        // The browser's home: four bytes 0xFF stand for the "Home folder".
        settings().initialFolder = std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF};
    }

    // The desk up and shown, its files list filled from the home folder.
    void start(DeskApp& app) {
        ASSERT_TRUE(app.create()) << (fatalError() ? fatalError() : "");
        app.window().show();
        app.window().activateWindow();
        ASSERT_TRUE(processUntil(
            [&] { return !app.library()->filling() && app.window().isActiveWindow(); }));
        ASSERT_EQ(app.library()->filesView().model()->rowCount(), 2);
    }
    static int rowOf(TrackListView& view, const QString& title) {
        for (int r = 0; r < view.model()->rowCount(); ++r)
            if (view.model()->index(r, 0).data().toString() == title) return r;
        return -1;
    }
    static void key(QWidget& to, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&to, &press);
    }
    static void mouse(QWidget& to, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), to.mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&to, &event);
    }
};

TEST_F(DeskLibraryAppTest, EnterOnAFocusedRowLoadsItAndTheBpmDialogSetsTheTempoByHand) {
    DeskApp app;
    start(app);
    MixingDesk& desk = *app.desk();
    TrackListView& files = app.library()->filesView();
    const int second = rowOf(files, "Track.wav");
    ASSERT_GE(second, 0);
    files.setFocus();
    ASSERT_TRUE(processUntil([&] { return files.hasFocus(); }));
    files.setCurrentIndex(files.model()->index(second, 0));
    key(files, Qt::Key_Return);                  // through the desk's key filter
    EXPECT_EQ(desk.titleLine2(0), "Track.wav");  // only ".mp3" is cut from names
    EXPECT_EQ(desk.titleLine1(0), "Second");

    // Enter elsewhere is the desk's beat sync; the row stays where it is.
    files.clearFocus();
    ASSERT_TRUE(processUntil([&] { return !files.hasFocus(); }));
    key(app.window(), Qt::Key_Return);
    EXPECT_TRUE(desk.titleLine2(1).empty());

    // A double-click in the Bpm column: x2 and OK set the tempo by hand.
    TrackRecord* record = (*app.decks())[0].track()->record;
    ASSERT_NE(record, nullptr);
    record->bpm = 61.0f;
    test::withNextModal<BpmDialog>([](BpmDialog& d) {
        d.factorButton(0).click();
        d.okButton().click();
    });
    files.setCurrentIndex(files.model()->index(second, 2));
    ASSERT_TRUE(files.activateCurrent());
    EXPECT_EQ(record->currentBpm(), 122.0f);
    EXPECT_EQ(files.model()->index(second, 2).data().toString(), "122.0");
    app.destroy();
}

TEST_F(DeskLibraryAppTest, ARowDraggedOntoADiscLoadsThatDeckWithTheLibrarysCursors) {
    DeskApp app;
    start(app);
    TrackListView& files = app.library()->filesView();
    const int row = rowOf(files, "Test Title.wav");
    ASSERT_GE(row, 0);
    QWidget& viewport = *files.viewport();
    const QPoint onRow = files.visualRect(files.model()->index(row, 0)).center();
    mouse(viewport, QEvent::MouseButtonPress, onRow, Qt::LeftButton);
    mouse(viewport, QEvent::MouseMove, onRow + QPoint(40, 0), Qt::LeftButton);
    ASSERT_TRUE(app.library()->dragActive());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);

    const SkinControl& disc = app.desk()->skin()->control(ctl::Disc2);
    const QPoint onDisc(disc.hitLeft, disc.hitTop);
    mouse(app.window(), QEvent::MouseMove, onDisc, Qt::LeftButton);
    mouse(app.window(), QEvent::MouseButtonRelease, onDisc, Qt::NoButton);
    EXPECT_FALSE(app.library()->dragActive());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(app.desk()->titleLine2(1), "Test Title.wav");
    EXPECT_EQ(files.model()->rowCount(), 2);  // the files list keeps its rows
    app.destroy();
}

TEST_F(DeskLibraryAppTest, ThePlaylistPanelsKeysButtonsAndEditFields) {
    DeskApp app;
    start(app);
    MixingDesk& desk = *app.desk();
    LibraryBrowser& library = *app.library();
    key(app.window(), Qt::Key_F3);
    EXPECT_EQ(desk.currentPanel(), 2);
    EXPECT_TRUE(library.playlistView().isVisible());
    // Both rows queued, the first deleted with the Delete key while the playlist has focus.
    for (int r = 0; r < 2; ++r)
        library.library().insertIntoPlaylist(-1, {library.library().files().row(r).entry});
    TrackListView& playlist = library.playlistView();
    playlist.selectionModel()->select(playlist.model()->index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    library.filesView().setFocus();
    ASSERT_TRUE(processUntil([&] { return library.filesView().hasFocus(); }));
    key(library.filesView(), Qt::Key_Delete);  // the files list keeps its rows, the playlist too
    ASSERT_EQ(library.library().playlist().size(), 2);
    playlist.setFocus();
    ASSERT_TRUE(processUntil([&] { return playlist.hasFocus(); }));
    key(playlist, Qt::Key_Delete);
    ASSERT_EQ(library.library().playlist().size(), 1);

    // "Save": the playlist becomes one row for its file, which the files list now shows.
    const std::string saved = home_.file("set.m3u");
    library.setSaveAsker([&](const QString& title, const QString& filter, const QString& suffix) {
        EXPECT_EQ(title, "Save a Playlist");
        EXPECT_EQ(filter, "Playlist (*.m3u)");
        EXPECT_EQ(suffix, "m3u");
        return QString::fromStdString(saved);
    });
    desk.onMouseDown(true, 60, 580);  // the "Save" button of the default skin
    desk.onMouseUp(60, 580);
    ASSERT_EQ(library.library().playlist().size(), 1);
    EXPECT_EQ(library.library().playlist().row(0).entry.path, saved);
    EXPECT_TRUE(processUntil(
        [&] { return !library.filling() && library.filesView().model()->rowCount() == 3; }));

    // The automatic-mixing switch fills the empty decks from the playlist: the saved file
    // gives its track.
    desk.toggleAutoMix();
    EXPECT_FALSE(desk.titleLine2(0).empty());
    EXPECT_TRUE(library.library().playlist().empty());

    // An edit field of the library takes the keys while it has the focus.
    auto* edit = new QLineEdit(&app.window());
    edit->show();
    edit->setFocus();
    ASSERT_TRUE(processUntil([&] { return edit->hasFocus(); }));
    EXPECT_TRUE(desk.searchEditActive());
    playlist.setFocus();
    ASSERT_TRUE(processUntil([&] { return playlist.hasFocus(); }));
    EXPECT_FALSE(desk.searchEditActive());
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
