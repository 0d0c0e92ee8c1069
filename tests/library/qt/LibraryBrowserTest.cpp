// The library's windows on Qt's offscreen platform: where they sit in each panel and form,
// the widths they keep, the rows they show, the folder tree, the search panel and the
// dialogs.

#include <gtest/gtest.h>

#include <QtCore/QDir>
#include <QtCore/QMimeData>
#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtGui/QDropEvent>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSplitter>
#include <QtWidgets/QTreeView>

#include <filesystem>

#include "app/DeskAppFixture.h"
#include "app/dialogs/TrackDialogs.h"
#include "app/library/LibraryBrowser.h"
#include "library/FolderListing.h"
#include "library/LibraryLayout.h"
#include "library/SearchIndex.h"
#include "library/TrackDatabase.h"
#include "library/views/FolderTreeModel.h"
#include "library/views/SearchResultsView.h"
#include "library/views/TrackListModel.h"
#include "library/views/TrackListView.h"
#include "platform/settings/Settings.h"
#include "resources/Resources.h"
#include "skin/SkinModel.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

using test::processUntil;
using List = MusicLibrary::List;

QRect rectOf(const SkinModel& skin, int id) {
    const SkinControl& c = skin.control(id);
    return QRect(c.x, c.y, c.width, c.height);
}

std::vector<int> columnWidthsOf(TrackListView& view) {
    std::vector<int> widths;
    for (int i = 0; i < 4; ++i) widths.push_back(view.header()->sectionSize(i));
    return widths;
}

// Answers "No" to every message box while it lives, and counts them.
class QuestionsAnsweredNo {
public:
    QuestionsAnsweredNo() {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box->button(QMessageBox::No) == nullptr) return;
            ++count_;
            lastText_ = box->text();
            box->button(QMessageBox::No)->click();
        });
        poll_.start(10);
    }
    int count() const { return count_; }
    QString lastText() const { return lastText_; }

private:
    QTimer poll_;
    int count_ = 0;
    QString lastText_;
};

class LibraryBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::qtApp() == nullptr) GTEST_SKIP();
        settings().resetToDefaults();
        skin.controls = defaultSkinControls();
        window = std::make_unique<QWidget>();
        window->resize(800, 600);
        // A folder of tracks, a sub-folder and a playlist file, as the home folder.
        std::filesystem::create_directories(music.path() / "Crate" / "Deep");
        for (const char* name : {"Alpha - One.mp3", "beta_-_two.wav", "Gamma - Three.mp3"})
            test::writeFile(music.file(name), test::Bytes(100, 1));
        test::writeFile(music.file("set.m3u"), test::Bytes{'x', '\n'});
        test::writeFile(music.file("notes.txt"), test::Bytes{'x'});
        settings().initialFolder = storedInitialFolder(music.path().string());
    }
    void TearDown() override { settings().resetToDefaults(); }

    std::unique_ptr<LibraryBrowser> make(
        LibraryBrowser::PaneForm form = LibraryBrowser::PaneForm::Resizable, int scale = 1) {
        auto browser = std::make_unique<LibraryBrowser>(
            *window, database, skin,
            [scale](const QRect& r) {
                return QRect(r.x() * scale, r.y() * scale, r.width() * scale, r.height() * scale);
            },
            form);
        EXPECT_TRUE(processUntil([&] { return !browser->filling(); }));
        return browser;
    }

    test::TempDir music;
    TrackDatabase database;
    SkinModel skin;
    std::unique_ptr<QWidget> window;  // made once the application exists
};

TEST_F(LibraryBrowserTest, PanelsSitInTheirSkinRectanglesWithTheStoredWidths) {
    auto browser = make();
    QSplitter& panes = browser->panes();
    browser->showPanel(0, true);
    EXPECT_EQ(panes.geometry(), rectOf(skin, ctl::FilesArea));
    EXPECT_EQ(panes.geometry(), QRect(76, 355, 699, 235));
    EXPECT_FALSE(browser->playlistView().isVisibleTo(window.get()));
    EXPECT_TRUE(panes.isVisibleTo(window.get()));
    EXPECT_EQ(panes.sizes().front(), 160);  // the first pane width of group 7
    EXPECT_EQ(columnWidthsOf(browser->filesView()), (std::vector<int>{195, 128, 46, 154}));

    // The user widens the tree and a column; hiding the panel keeps both.
    const int room = panes.sizes()[0] + panes.sizes()[1];
    panes.setSizes({250, room - 250, 0});
    const int userTree = panes.sizes()[0];
    browser->filesView().header()->resizeSection(0, 300);
    browser->showPanel(0, false);
    EXPECT_FALSE(panes.isVisibleTo(window.get()));
    const ColumnSizes& sizes = settings().columnSizes;
    EXPECT_EQ(columnWidths(sizes, kFilesColumns), (ColumnWidths{300, 128, 46, 154}));
    EXPECT_EQ(sizes[24], userTree);

    browser->showPanel(2, true);
    EXPECT_EQ(panes.geometry(), rectOf(skin, ctl::PlaylistArea));
    EXPECT_TRUE(browser->playlistView().isVisibleTo(window.get()));
    EXPECT_EQ(columnWidthsOf(browser->filesView()), (std::vector<int>{150, 82, 0, 0}));
    EXPECT_EQ(columnWidthsOf(browser->playlistView()), (std::vector<int>{193, 127, 0, 0}));
    const QList<int> three = panes.sizes();
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[0], 118);
    EXPECT_EQ(three[1], 245);
    panes.setSizes({130, 250, three[0] + three[1] + three[2] - 380});
    const QList<int> user = panes.sizes();
    browser->showPanel(2, false);
    EXPECT_EQ(columnWidths(settings().columnSizes, kPaneWidths),
              (ColumnWidths{userTree, user[0], user[1], 16}));
    browser->showPanel(2, true);  // shown again exactly as left
    EXPECT_EQ(panes.sizes().mid(0, 2), user.mid(0, 2));
    browser->showPanel(2, false);

    browser->showPanel(4, true);
    EXPECT_EQ(browser->historyView().geometry(), rectOf(skin, ctl::HistoryArea));
    EXPECT_EQ(columnWidthsOf(browser->historyView()), (std::vector<int>{267, 165, 0, 264}));
    browser->historyView().header()->resizeSection(3, 100);
    browser->showPanel(4, false);
    browser->showPanel(1, true);
    EXPECT_FALSE(panes.isVisibleTo(window.get()));
    EXPECT_FALSE(browser->historyView().isVisibleTo(window.get()));
    browser->destroy();
    EXPECT_EQ(columnWidths(settings().columnSizes, kHistoryColumns),
              (ColumnWidths{267, 165, 0, 100}));
    browser->destroy();
}

TEST_F(LibraryBrowserTest, FixedPanesAScaledDeskAndANewSkinsColours) {
    auto fixed = make(LibraryBrowser::PaneForm::Fixed);
    fixed->showPanel(2, true);
    const QList<int> sizes = fixed->panes().sizes();
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_NEAR(sizes[0], 136, 2);  // 20 : 40 : 40 of the width less two gaps of 8
    EXPECT_NEAR(sizes[1], 273, 2);
    EXPECT_NEAR(sizes[2], 273, 2);
    fixed.reset();

    // The desk shown twice as large: the windows follow the mapping.
    auto scaled = make(LibraryBrowser::PaneForm::Resizable, 2);
    window->resize(1600, 1200);
    scaled->showPanel(4, true);
    EXPECT_EQ(scaled->historyView().geometry(), QRect(152, 710, 1398, 470));

    SkinModel other = skin;
    other.values.fontColor = skinRgb(10, 20, 30);
    other.values.fontBackColor = skinRgb(200, 210, 220);
    other.controls[ctl::HistoryArea] =
        SkinControl{10, 20, 300, 200, 10, 20, 310, 220, 10, 20, 10, 20, 10, 20, 310, 220, -1, 16};
    scaled->applySkin(other);
    EXPECT_EQ(scaled->historyView().geometry(), QRect(20, 40, 600, 400));
    EXPECT_EQ(scaled->historyView().palette().color(QPalette::Text), QColor(10, 20, 30));
    EXPECT_EQ(scaled->historyView().palette().color(QPalette::Base), QColor(200, 210, 220));
    EXPECT_EQ(scaled->tree().palette().color(QPalette::Base), QColor(200, 210, 220));
}

TEST_F(LibraryBrowserTest, TheHomeFolderFillsTheFilesListWithRowTextsAndIcons) {
    TrackRecord* played = database.findOrAdd("Gamma - Three.mp3", 100);
    played->lastUsedDate = 1234;
    played->bpm = 127.25f;
    played->commentOverride = "opener";
    auto browser = make();
    EXPECT_EQ(browser->selectedFolder(),
              std::filesystem::path(music.path()).lexically_normal().string());
    QAbstractItemModel& files = *browser->filesView().model();
    ASSERT_EQ(files.rowCount(), 4);
    const auto cell = [&](int row, int column) {
        return files.index(row, column).data().toString().toStdString();
    };
    EXPECT_EQ(files.headerData(2, Qt::Horizontal).toString(), "Bpm");
    EXPECT_EQ(cell(0, 0), "Three");  // played most recently first
    EXPECT_EQ(cell(0, 1), "Gamma");
    EXPECT_EQ(cell(0, 2), "127.2");
    EXPECT_EQ(cell(0, 3), "opener");
    EXPECT_EQ(cell(1, 0), "One");
    EXPECT_EQ(cell(2, 1), "beta");
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(cell(3, 0), "set.m3u");
    // Icons: played, never played, playlist file; the history list shows none.
    const QImage strip(resources::kLibraryIcons);
    const auto icon = [&](int row) {
        return files.index(row, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    };
    EXPECT_EQ(icon(0), strip.copy(0, 0, 16, 16).convertToFormat(icon(0).format()));
    EXPECT_EQ(icon(1), strip.copy(16, 0, 16, 16).convertToFormat(icon(1).format()));
    EXPECT_EQ(icon(3), strip.copy(48, 0, 16, 16).convertToFormat(icon(3).format()));
    browser->library().history().insert(0,
                                        {{browser->library().files().row(0).entry, RowIcon::None}});
    EXPECT_FALSE(browser->historyView().model()->index(0, 0).data(Qt::DecorationRole).isValid());

    // A tempo measured meanwhile shows once the record's rows are refreshed.
    int changed = 0;
    QObject::connect(&files, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    database.findOrAdd("Alpha - One.mp3", 100)->bpm = 99.0f;
    browser->refreshRecord(database.findOrAdd("Alpha - One.mp3", 100));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(cell(1, 2), "99.0");

    // A click on the Bpm header sorts the fastest first.
    browser->filesView().header()->sectionClicked(2);
    EXPECT_EQ(cell(0, 0), "Three");
    EXPECT_EQ(cell(1, 0), "One");
}

TEST_F(LibraryBrowserTest, TheTreeReadsFoldersWhenExpandedAndKeepsANewHome) {
    auto browser = make();
    browser->showPanel(0, true);
    window->show();
    QTreeView& tree = browser->tree();
    auto& model = *tree.model();
    const QModelIndex top = model.index(0, 0);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(top.data().toString().toStdString(), music.path().filename().string());
    ASSERT_EQ(model.rowCount(top), 1);  // expanded: its one sub-folder
    const QModelIndex crate = model.index(0, 0, top);
    EXPECT_EQ(crate.data().toString(), "Crate");
    EXPECT_TRUE(model.hasChildren(crate));
    const auto read = [&] { return processUntil([&] { return !browser->filling(); }); };
    tree.expand(crate);
    ASSERT_TRUE(read());
    ASSERT_EQ(model.rowCount(crate), 1);
    const QModelIndex deep = model.index(0, 0, crate);
    EXPECT_FALSE(model.hasChildren(deep));  // known without opening it
    // Collapsed and expanded again, the folder is read as it is now.
    std::filesystem::create_directory(music.path() / "Crate" / "Added");
    tree.collapse(crate);
    EXPECT_EQ(model.rowCount(crate), 0);
    tree.expand(crate);
    ASSERT_TRUE(read());
    EXPECT_EQ(model.rowCount(crate), 2);

    // Selecting a folder fills the files list; making it the home folder roots the tree there.
    tree.setCurrentIndex(crate);
    EXPECT_TRUE(processUntil([&] { return !browser->filling(); }));
    EXPECT_EQ(browser->filesView().model()->rowCount(), 0);
    browser->onButton(ctl::SetHomeFolder);
    EXPECT_EQ(initialFolderPath(settings().initialFolder, "", ""),
              (music.path() / "Crate").string());
    EXPECT_EQ(model.index(0, 0).data().toString(), "Crate");
    browser->onButton(ctl::SetHomeFolder);  // the root itself: nothing changes
    EXPECT_EQ(model.index(0, 0).data().toString(), "Crate");

    browser->onButton(ctl::GoDesktop);
    const QModelIndex desktop = model.index(0, 0);
    EXPECT_EQ(desktop.data().toString(), "Desktop");
    ASSERT_GE(model.rowCount(desktop), 2);  // the home folder and at least the root drive
    EXPECT_EQ(model.index(0, 0, desktop).data(Qt::ToolTipRole).toString(), QDir::homePath());

    // A home folder that is gone opens the desktop.
    settings().initialFolder = storedInitialFolder((music.path() / "gone").string());
    browser->onButton(ctl::GoHomeFolder);
    ASSERT_TRUE(read());
    EXPECT_EQ(model.index(0, 0).data().toString(), "Desktop");

    // The desktop shown before the home folder's files came: they never show.
    settings().initialFolder = storedInitialFolder(music.path().string());
    browser->onButton(ctl::GoHomeFolder);
    browser->onButton(ctl::GoDesktop);
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    processUntil([&] { return std::chrono::steady_clock::now() > settle; });
    EXPECT_EQ(browser->filesView().model()->rowCount(), 0);
}

TEST_F(LibraryBrowserTest, WithoutAStoredHomeTheTreeOpensTheUsersMusicFolderElseTheirHome) {
    // A user of their own: the desktop's folder names and a home folder without "Music".
    test::TempDir user;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QByteArray::fromStdString(user.path().string()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(user.file(".config")));
    std::filesystem::create_directories(user.path() / ".config");
    std::filesystem::create_directories(user.path() / "Tunes" / "Sets");
    test::writeFile(user.file(".config/user-dirs.dirs"), [] {
        const std::string t = "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
        return test::Bytes(t.begin(), t.end());
    }());
    settings().initialFolder.reset();
    const auto topFolder = [&] {
        auto browser = make();
        return browser->tree().model()->index(0, 0).data(Qt::ToolTipRole).toString().toStdString();
    };
    EXPECT_EQ(topFolder(), user.file("Tunes"));
    std::filesystem::remove(user.file(".config/user-dirs.dirs"));
    EXPECT_EQ(topFolder(), user.path().string());
    // A stored home folder wins over both.
    settings().initialFolder = storedInitialFolder(music.path().string());
    EXPECT_EQ(topFolder(), music.path().string());
    qputenv("HOME", oldHome);
    oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST_F(LibraryBrowserTest, ThePlaylistTakesFilesAndFoldersFromAFileManager) {
    auto browser = make();
    browser->showPanel(2, true);
    browser->library().insertIntoPlaylist(
        -1, {TrackEntry{"", "first", "/x/first.mp3", database.findOrAdd("first.mp3", 1)}});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString((music.path() / "Crate").string())),
                  QUrl::fromLocalFile(QString::fromStdString(music.file("beta_-_two.wav"))),
                  QUrl::fromLocalFile(QString::fromStdString(music.file("notes.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(music.path().string()))});
    TrackListView& view = browser->playlistView();
    // As a file manager's drag arrives: entering the list, then the drop on its first row.
    QDragEnterEvent enter(QPoint(10, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    std::vector<std::string> titles;
    for (const LibraryRow& row : browser->library().playlist().rows())
        titles.push_back(row.entry.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"two.wav", "One", "two.wav", "Three", "first"}));
}

TEST_F(LibraryBrowserTest, TheSearchPanelsWindowsAndItsOneOfferOfAScan) {
    settings().homeFolder = music.path().string();  // no search file there yet
    auto browser = make();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(processUntil([&] { return window->isActiveWindow(); }));
    QLineEdit& box = browser->searchBox();
    SearchResultsView& results = browser->resultsView();
    EXPECT_FALSE(box.isVisibleTo(window.get()));
    EXPECT_FALSE(results.isVisibleTo(window.get()));
    const SkinColour text = skin.values.fontColor;
    EXPECT_EQ(results.palette().color(QPalette::Text),
              QColor(int(redOf(text)), int(greenOf(text)), int(blueOf(text))));

    // Shown: the box in its rectangle with the focus, the results below with the widths of
    // their group; then the question, asked once.
    QuestionsAnsweredNo questions;
    browser->showPanel(1, true);
    EXPECT_EQ(box.geometry(), rectOf(skin, ctl::SearchText));
    EXPECT_EQ(results.geometry(), rectOf(skin, ctl::SearchArea));
    EXPECT_TRUE(box.isVisibleTo(window.get()));
    EXPECT_TRUE(results.isVisibleTo(window.get()));
    EXPECT_EQ(results.horizontalHeader()->sectionSize(0), 251);
    EXPECT_EQ(results.horizontalHeader()->sectionSize(3), 248);
    ASSERT_TRUE(processUntil([&] { return questions.count() == 1 && box.hasFocus(); }));
    EXPECT_EQ(questions.lastText(), "Do you want Spinlorex to scan your HD for MP3 files ?");

    results.horizontalHeader()->resizeSection(1, 77);
    browser->showPanel(1, false);
    EXPECT_FALSE(box.isVisibleTo(window.get()));
    EXPECT_FALSE(results.isVisibleTo(window.get()));
    browser->showPanel(1, true);
    EXPECT_FALSE(processUntil([&] { return questions.count() > 1; }, 0.3));
    browser->destroy();
    EXPECT_EQ(columnWidths(settings().columnSizes, kSearchColumns),
              (ColumnWidths{251, 77, 50, 248}));

    // A browser made with a search file lists every line, newest first, and asks nothing.
    const std::string lines = "CD1=/a/One - Alpha.mp3,1\r\nCD1=/a/Two - Beta.mp3,2\r\n";
    test::writeFile(music.file(SearchIndex::kFileName), test::Bytes(lines.begin(), lines.end()));
    browser = make();
    ASSERT_EQ(browser->resultsView().model()->rowCount(), 2);
    EXPECT_EQ(browser->resultsView().model()->index(0, 0).data().toString(), "Beta");
    browser->showPanel(1, true);
    EXPECT_FALSE(processUntil([&] { return questions.count() > 1; }, 0.3));
}

TEST_F(LibraryBrowserTest, TheBpmDialogsFactorsAndTheCommentDialog) {
    QWidget desk;
    BpmDialog bpm(&desk, 86.04f);
    EXPECT_EQ(bpm.edit().text(), "86.0");
    EXPECT_EQ(bpm.edit().selectedText(), "86.0");
    bpm.factorButton(0).click();
    EXPECT_EQ(bpm.edit().text(), "172.0");
    bpm.factorButton(1).click();
    EXPECT_EQ(bpm.edit().text(), "86.0");
    bpm.factorButton(2).click();
    EXPECT_EQ(bpm.edit().text(), "129.0");
    bpm.factorButton(3).click();
    EXPECT_EQ(bpm.edit().text(), "86.0");
    CommentDialog comment(&desk, QString(300, QChar('c')));
    EXPECT_EQ(comment.edit().text().size(), CommentDialog::kMaxLength);
}

}  // namespace
}  // namespace spinlorex
