// The library in the desk program: Enter and double-clicks, the "Bpm" dialog, the
// library's own drag onto a disc, the Delete key, saving the playlist, the edit-field
// rule of the keyboard, and the search panel, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTreeWidget>

#include <filesystem>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/dialogs/DeleteCdDialog.h"
#include "app/dialogs/TrackDialogs.h"
#include "app/library/LibraryBrowser.h"
#include "audio/DeckPair.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/DeskControllerActions.h"
#include "desk/MixingDesk.h"
#include "library/SearchIndex.h"
#include "library/views/SearchResultsView.h"
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
    static int rowOf(QAbstractItemView& view, const QString& title) {
        for (int r = 0; r < view.model()->rowCount(); ++r)
            if (view.model()->index(r, 0).data().toString() == title) return r;
        return -1;
    }
    static void key(QWidget& to, int key, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(&to, &press);
    }
    static void type(QWidget& to, const QString& text) {
        for (QChar c : text)
            key(to, c == ' ' ? Qt::Key_Space : Qt::Key_A + (c.toUpper().unicode() - 'A'), c);
    }
    // Presses on a row of a list and moves away with the button held: the library's drag.
    static void dragRow(QAbstractItemView& view, int row) {
        QWidget& viewport = *view.viewport();
        const QPoint onRow = view.visualRect(view.model()->index(row, 0)).center();
        mouse(viewport, QEvent::MouseButtonPress, onRow, Qt::LeftButton);
        mouse(viewport, QEvent::MouseMove, onRow + QPoint(40, 0), Qt::LeftButton);
    }
    static void releaseOn(DeskApp& app, int control) {
        const SkinControl& c = app.desk()->skin()->control(control);
        const QPoint at(c.hitLeft, c.hitTop);
        mouse(app.window(), QEvent::MouseMove, at, Qt::LeftButton);
        mouse(app.window(), QEvent::MouseButtonRelease, at, Qt::NoButton);
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
    key(files, Qt::Key_Return);                              // through the desk's key filter
    EXPECT_EQ(desk.transport().titleLine2(0), "Track.wav");  // only ".mp3" is cut from names
    EXPECT_EQ(desk.transport().titleLine1(0), "Second");

    // Enter elsewhere is the desk's beat sync; the row stays where it is.
    files.clearFocus();
    ASSERT_TRUE(processUntil([&] { return !files.hasFocus(); }));
    key(app.window(), Qt::Key_Return);
    EXPECT_TRUE(desk.transport().titleLine2(1).empty());

    // A double-click in the Bpm column: x2 and OK set the tempo by hand.
    TrackRecord* record = (*app.decks())[0].track()->record;
    ASSERT_NE(record, nullptr);
    // The loaded track is measured in the background first (its result would replace a
    // tempo written straight into the record); the hand-set tempo comes after.
    ASSERT_TRUE(processUntil([&] { return !app.analysis()->busy(); }, 60));
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

// V hears the focused row in the headphones and again stops it; a controller's browse
// moves the shown list's current row, and its load button puts that row on its deck.
TEST_F(DeskLibraryAppTest, VPreviewsTheFocusedRowAndAControllerBrowsesAndLoads) {
    set(settings().outputMode, 7);
    DeskApp app;
    start(app);
    MixingDesk& desk = *app.desk();
    TrackListView& files = app.library()->filesView();
    files.setFocus();
    ASSERT_TRUE(processUntil([&] { return files.hasFocus(); }));
    files.setCurrentIndex(files.model()->index(0, 0));
    key(files, Qt::Key_V, "v");
    EXPECT_EQ(desk.preview().path(), app.library()->library().files().row(0).entry.path);
    ASSERT_TRUE(processUntil([&] { return app.decks()->preview().buffered() > 0; }));
    key(files, Qt::Key_V, "v");
    EXPECT_FALSE(desk.preview().playing());
    EXPECT_EQ((*app.decks())[0].track(), nullptr);

    DeskControllerActions controller(desk, *app.decks());
    controller.step(midi::Action::Browse, 0, 1);
    EXPECT_EQ(files.currentIndex().row(), 1);
    controller.button(midi::Action::Load, 1, 0, true);
    ASSERT_NE((*app.decks())[1].track(), nullptr);
    EXPECT_EQ((*app.decks())[1].track()->path, app.library()->library().files().row(1).entry.path);
    EXPECT_EQ((*app.decks())[0].track(), nullptr);
    app.destroy();
}

TEST_F(DeskLibraryAppTest, ARowDraggedOntoADiscLoadsThatDeckWithTheLibrarysCursors) {
    DeskApp app;
    start(app);
    TrackListView& files = app.library()->filesView();
    const int row = rowOf(files, "Test Title.wav");
    ASSERT_GE(row, 0);
    dragRow(files, row);
    ASSERT_TRUE(app.library()->dragActive());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);

    releaseOn(app, ctl::Disc2);
    EXPECT_FALSE(app.library()->dragActive());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(app.desk()->transport().titleLine2(1), "Test Title.wav");
    EXPECT_EQ(files.model()->rowCount(), 2);  // the files list keeps its rows
    app.destroy();
}

TEST_F(DeskLibraryAppTest, ThePlaylistPanelsKeysButtonsAndEditFields) {
    DeskApp app;
    start(app);
    MixingDesk& desk = *app.desk();
    LibraryBrowser& library = *app.library();
    key(app.window(), Qt::Key_F3);
    EXPECT_EQ(desk.panels().currentPanel(), 2);
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
    desk.input().onMouseDown(true, 60, 580);  // the "Save" button of the default skin
    desk.input().onMouseUp(60, 580);
    // Written on a thread of its own.
    ASSERT_TRUE(processUntil([&] {
        return library.library().playlist().size() == 1 &&
               library.library().playlist().row(0).entry.path == saved;
    }));
    EXPECT_TRUE(processUntil(
        [&] { return !library.filling() && library.filesView().model()->rowCount() == 3; }));

    // The automatic-mixing switch fills the empty decks from the playlist: the saved file
    // gives its track.
    desk.mix().toggleAutoMix();
    EXPECT_TRUE(processUntil([&] { return !desk.transport().titleLine2(0).empty(); }));
    EXPECT_TRUE(library.library().playlist().empty());

    // An edit field of the library takes the keys while it has the focus.
    auto* edit = new QLineEdit(&app.window());
    edit->show();
    edit->setFocus();
    ASSERT_TRUE(processUntil([&] { return edit->hasFocus(); }));
    EXPECT_TRUE(desk.input().searchEditActive());
    playlist.setFocus();
    ASSERT_TRUE(processUntil([&] { return playlist.hasFocus(); }));
    EXPECT_FALSE(desk.input().searchEditActive());
    app.destroy();
}

TEST_F(DeskLibraryAppTest, TheSearchPanelSearchesOnEnterAndItsResultsLoadTheDecks) {
    // The search file: the first track on the root drive, the second on a disc in the "CD
    // Drive", and a disc that is not at hand.
    const auto size = [](const std::string& path) {
        return std::to_string(std::filesystem::file_size(path));
    };
    const std::string second = home_.file("Second - Track.wav");
    const std::string lines = "/:" + track_ + "," + size(track_) + "\r\nCD1=/Second - Track.wav," +
                              size(second) + "\r\nCD2=/Other - Song.mp3,5\r\n";
    test::writeFile(home_.file(SearchIndex::kFileName), test::Bytes(lines.begin(), lines.end()));
    settings().cdDrive = home_.path().string() + "/";
    DeskApp app;
    start(app);
    MixingDesk& desk = *app.desk();
    LibraryBrowser& library = *app.library();
    SearchResultsView& results = library.resultsView();
    QLineEdit& box = library.searchBox();

    // F2: the box takes the keys (a search file is there: no question).
    key(app.window(), Qt::Key_F2);
    EXPECT_EQ(desk.panels().currentPanel(), 1);
    ASSERT_TRUE(processUntil([&] { return box.hasFocus(); }));
    EXPECT_TRUE(desk.input().searchEditActive());
    EXPECT_TRUE(results.isVisible());
    EXPECT_EQ(results.model()->rowCount(), 3);  // every line at first

    // Letters go into the box; Enter searches and selects the text for the next search.
    type(box, "TRACK");
    key(box, Qt::Key_Space, " ");
    type(box, "nothing");
    EXPECT_EQ(box.text(), "TRACK nothing");
    key(box, Qt::Key_Return);
    ASSERT_EQ(results.model()->rowCount(), 1);
    EXPECT_EQ(results.model()->index(0, 0).data().toString(), "Track.wav");
    EXPECT_EQ(results.model()->index(0, 2).data().toString(), "CD1");
    EXPECT_EQ(box.selectedText(), "TRACK nothing");

    // The disc's track dragged onto deck 2 opens from the "CD Drive".
    dragRow(results, 0);
    ASSERT_TRUE(library.dragActive());
    releaseOn(app, ctl::Disc2);
    EXPECT_FALSE(library.dragActive());
    ASSERT_NE((*app.decks())[1].track(), nullptr);
    EXPECT_EQ((*app.decks())[1].track()->path, second);
    EXPECT_EQ(desk.transport().titleLine1(1), "Second");
    EXPECT_EQ(results.model()->rowCount(), 1);  // the result stays

    // "Search !" with the words of two lines: the drive's line loads deck 1.
    box.setText("title song");
    const SkinControl& go = desk.skin()->control(ctl::SearchGo);
    desk.input().onMouseDown(true, go.hitLeft, go.hitTop);
    desk.input().onMouseUp(go.hitLeft, go.hitTop);
    ASSERT_EQ(results.model()->rowCount(), 2);
    const int title = rowOf(results, "Test Title.wav");
    ASSERT_GE(title, 0);
    dragRow(results, title);
    releaseOn(app, ctl::Disc1);
    ASSERT_NE((*app.decks())[0].track(), nullptr);
    EXPECT_EQ((*app.decks())[0].track()->path, track_);

    // "Delete CD" deletes the second disc: the search reads the file again and keeps its
    // words, so the first disc's line, which holds neither, stays out.
    test::withNextModal<DeleteCdDialog>([](DeleteCdDialog& dialog) {
        QTreeWidget& discs = dialog.discList();
        for (int row = 0; row < discs.topLevelItemCount(); ++row)
            discs.topLevelItem(row)->setSelected(discs.topLevelItem(row)->text(0) == "CD2");
        dialog.deleteButton().click();
    });
    library.onButton(ctl::DeleteCd);
    ASSERT_TRUE(processUntil([&] { return library.searchIndex().lineCount() == 2u; }));
    ASSERT_EQ(results.model()->rowCount(), 1);
    EXPECT_EQ(results.model()->index(0, 0).data().toString(), "Test Title.wav");
    EXPECT_EQ(library.searchIndex().lineCount(), 2u);

    // Onto the playlist button, a result joins the playlist.
    dragRow(results, 0);
    releaseOn(app, ctl::MenuPlaylist);
    ASSERT_EQ(library.library().playlist().size(), 1);
    EXPECT_EQ(library.library().playlist().row(0).entry.path, track_);

    // After Escape, Enter is the desk's again: nothing is searched.
    key(box, Qt::Key_Escape);
    EXPECT_FALSE(desk.input().searchEditActive());
    box.setText("nothing at all");
    key(box, Qt::Key_Return);
    EXPECT_EQ(results.model()->rowCount(), 1);
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
