#include "library/views/LibraryBrowser.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QStandardPaths>
#include <QtCore/QTimer>
#include <QtGui/QCursor>
#include <QtGui/QGuiApplication>
#include <QtWidgets/QApplication>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QSplitter>
#include <QtWidgets/QTreeView>

#include <algorithm>

#include "app/dialogs/DeleteCdDialog.h"
#include "app/dialogs/ScanDialogs.h"
#include "app/dialogs/SearchResultsModel.h"
#include "app/dialogs/TrackDialogs.h"
#include "desk/MixingDesk.h"
#include "library/FolderListing.h"
#include "library/LibraryLayout.h"
#include "library/SearchIndex.h"
#include "library/TrackDatabase.h"
#include "library/views/FolderLoader.h"
#include "library/views/FolderTreeModel.h"
#include "library/views/SearchResultsView.h"
#include "library/views/TrackListModel.h"
#include "library/views/TrackListView.h"
#include "platform/settings/Settings.h"
#include "resources/Resources.h"
#include "skin/SkinModel.h"

namespace spinlorex {

namespace {

constexpr int kFixedGap = 8;

QColor colourOf(SkinColour c) {
    return QColor(static_cast<int>(redOf(c)), static_cast<int>(greenOf(c)),
                  static_cast<int>(blueOf(c)));
}

ColumnWidths widthsOf(const QHeaderView& header) {
    ColumnWidths widths{};
    for (int i = 0; i < 4; ++i) widths[static_cast<size_t>(i)] = header.sectionSize(i);
    return widths;
}
ColumnWidths widthsOf(const TrackListView& view) { return widthsOf(*view.header()); }

void setWidths(QHeaderView& header, const ColumnWidths& widths) {
    for (int i = 0; i < 4; ++i)
        header.resizeSection(i, std::max(widths[static_cast<size_t>(i)], 0));
}
void setWidths(TrackListView& view, const ColumnWidths& widths) {
    setWidths(*view.header(), widths);
}

QCursor dragCursor(MusicLibrary::DragCursor kind) {
    const char* picture = resources::kCursorDrop;
    switch (kind) {
        case MusicLibrary::DragCursor::DropOne:
            picture = resources::kCursorDrop;
            break;
        case MusicLibrary::DragCursor::DropSeveral:
            picture = resources::kCursorDropSeveral;
            break;
        case MusicLibrary::DragCursor::NoDropOne:
            picture = resources::kCursorNoDrop;
            break;
        case MusicLibrary::DragCursor::NoDropSeveral:
            picture = resources::kCursorNoDropSeveral;
            break;
    }
    return QCursor(QPixmap(picture), 1, 1);
}

}  // namespace

LibraryBrowser::LibraryBrowser(QWidget& window, TrackDatabase& database, const SkinModel& skin,
                               DeskMapping fromDesk, PaneForm form)
    : LibraryOnDesk(database),
      window_(window),
      skin_(&skin),
      fromDesk_(std::move(fromDesk)),
      form_(form) {
    askSave_ = [this](const QString& title, const QString& filter, const QString& suffix) {
        QFileDialog ask(&window_, title, QString(), filter);
        ask.setAcceptMode(QFileDialog::AcceptSave);
        ask.setFileMode(QFileDialog::AnyFile);
        ask.setDefaultSuffix(suffix);
        if (ask.exec() != QDialog::Accepted || ask.selectedFiles().isEmpty()) return QString();
        return ask.selectedFiles().front();
    };
    filesModel_ = std::make_unique<TrackListModel>(library().files(), true);
    playlistModel_ = std::make_unique<TrackListModel>(library().playlist(), true);
    historyModel_ = std::make_unique<TrackListModel>(library().history(), false);
    treeModel_ = std::make_unique<FolderTreeModel>();
    loader_ = std::make_unique<FolderLoader>(
        [this](std::vector<FolderItem> items) { library().fillFiles(items); });
    search_ = std::make_unique<SearchIndex>(settings().homeFolder);
    resultsModel_ = std::make_unique<SearchResultsModel>(*search_);
    resultsModel_->reload();  // no terms yet: every line
    createWindows();
    applyColours();
    goHomeFolder();
}

LibraryBrowser::~LibraryBrowser() { destroy(); }

QSplitter& LibraryBrowser::panes() { return *panes_; }
QTreeView& LibraryBrowser::tree() { return *tree_; }
TrackListView& LibraryBrowser::filesView() { return *filesView_; }
TrackListView& LibraryBrowser::playlistView() { return *playlistView_; }
TrackListView& LibraryBrowser::historyView() { return *historyView_; }
QLineEdit& LibraryBrowser::searchBox() { return *searchBox_; }
SearchResultsView& LibraryBrowser::resultsView() { return *resultsView_; }

void LibraryBrowser::createWindows() {
    panes_ = new QSplitter(Qt::Horizontal, &window_);
    panes_->hide();
    panes_->setChildrenCollapsible(false);

    tree_ = new QTreeView;
    tree_->setModel(treeModel_.get());
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QObject::connect(tree_, &QTreeView::collapsed, tree_,
                     [this](const QModelIndex& index) { treeModel_->forget(index); });
    QObject::connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, tree_,
                     [this] { folderSelected(); });

    using List = MusicLibrary::List;
    const auto actionsFor = [this](List list) {
        TrackListView::Actions actions;
        actions.activate = [this, list](int row, int column) { activate(list, row, column); };
        actions.beginDrag = [this, list] { startDrag(list); };
        return actions;
    };
    filesView_ = new TrackListView(*filesModel_, actionsFor(List::Files));
    filesView_->header()->setSectionsClickable(true);
    QObject::connect(filesView_->header(), &QHeaderView::sectionClicked, filesView_,
                     [this](int column) { library().sortFiles(column); });
    TrackListView::Actions playlistActions = actionsFor(List::Playlist);
    playlistActions.dropPaths = [this](int row, const std::vector<std::string>& paths) {
        library().dropPathsOnPlaylist(row, paths);
    };
    playlistView_ = new TrackListView(*playlistModel_, std::move(playlistActions));
    panes_->addWidget(tree_);
    panes_->addWidget(filesView_);
    panes_->addWidget(playlistView_);
    if (form_ == PaneForm::Fixed) {
        panes_->setHandleWidth(kFixedGap);
        for (int i = 1; i < panes_->count(); ++i) panes_->handle(i)->setEnabled(false);
    }

    historyView_ = new TrackListView(*historyModel_, actionsFor(List::History), &window_);
    historyView_->hide();
    setWidths(*historyView_, columnWidths(settings().columnSizes, kHistoryColumns));

    searchBox_ = new QLineEdit(&window_);
    searchBox_->hide();
    resultsView_ = new SearchResultsView(
        *resultsModel_, [this] { startResultDrag(); }, &window_);
    resultsView_->hide();
    setWidths(*resultsView_->horizontalHeader(),
              columnWidths(settings().columnSizes, kSearchColumns));

    // An edit field of the library with the keyboard focus gets the keys the desk leaves.
    focusWatch_ =
        QObject::connect(qApp, &QApplication::focusChanged, [this](QWidget* old, QWidget* now) {
            MixingDesk* d = desk();
            if (d == nullptr) return;
            const auto libraryEdit = [this](QWidget* w) {
                return qobject_cast<QLineEdit*>(w) != nullptr && w->window() == &window_;
            };
            if (libraryEdit(now))
                d->input().setSearchEditActive(true);
            else if (libraryEdit(old))
                d->input().setSearchEditActive(false);
        });
}

void LibraryBrowser::applyColours() {
    const QColor text = colourOf(skin_->values.fontColor);
    const QColor back = colourOf(skin_->values.fontBackColor);
    for (QWidget* w : {static_cast<QWidget*>(tree_), static_cast<QWidget*>(filesView_),
                       static_cast<QWidget*>(playlistView_), static_cast<QWidget*>(historyView_),
                       static_cast<QWidget*>(resultsView_)}) {
        if (w == nullptr) continue;
        QPalette palette = w->palette();
        for (QPalette::ColorRole role :
             {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            palette.setColor(role, text);
        for (QPalette::ColorRole role : {QPalette::Base, QPalette::AlternateBase, QPalette::Window})
            palette.setColor(role, back);
        // The column headers: the list's colours, the background a shade towards the text.
        const auto mix = [&](int a, int b) { return (a * 4 + b) / 5; };
        palette.setColor(QPalette::Button,
                         QColor(mix(back.red(), text.red()), mix(back.green(), text.green()),
                                mix(back.blue(), text.blue())));
        w->setPalette(palette);
    }
}

QRect LibraryBrowser::windowRect(int control) const {
    const SkinControl& c = skin_->control(control);
    return fromDesk_(QRect(c.x, c.y, std::max(c.width, 0), std::max(c.height, 0)));
}

void LibraryBrowser::layOut(int panel) {
    if (panes_ == nullptr || historyView_ == nullptr) return;
    ColumnSizes& sizes = settings().columnSizes;
    if (panel == 0 || panel == 2) {
        const int area = panel == 0 ? ctl::FilesArea : ctl::PlaylistArea;
        const SkinControl& c = skin_->control(area);
        const PaneRect deskArea{c.x, c.y, std::max(c.width, 0), std::max(c.height, 0)};
        const PanelPanes panes = form_ == PaneForm::Fixed ? fixedPanes(panel, deskArea)
                                                          : resizablePanes(panel, deskArea, sizes);
        playlistView_->setVisible(panel == 2);
        panes_->setGeometry(windowRect(area));
        // In window pixels (the desk may be shown scaled). Unresizable panes keep their
        // proportions; resizable ones take their stored widths exactly, the last pane what
        // the others and the handles leave, so widths come back as they were stored.
        const double scale = deskArea.width > 0 ? panes_->width() / double(deskArea.width) : 1.0;
        QList<int> widths{static_cast<int>(panes.tree.width * scale)};
        if (panel == 2) widths.append(static_cast<int>(panes.files.width * scale));
        widths.append(static_cast<int>((panel == 2 ? panes.playlist : panes.files).width * scale));
        if (panel == 0) widths.append(0);  // the playlist's pane, hidden
        panes_->setSizes(widths);
        if (form_ == PaneForm::Resizable) {
            int room = 0;
            for (int w : panes_->sizes()) room += w;
            const int last = panel == 2 ? 2 : 1;
            widths[last] = room;
            for (int i = 0; i < last; ++i) widths[last] -= widths[i];
            widths[last] = std::max(widths[last], 0);
            panes_->setSizes(widths);
        }
        setWidths(*filesView_,
                  columnWidths(sizes, panel == 0 ? kFilesColumns : kFilesColumnsWithPlaylist));
        if (panel == 2) setWidths(*playlistView_, columnWidths(sizes, kPlaylistColumns));
        panes_->show();
    } else if (panel == 1) {
        searchBox_->setGeometry(windowRect(ctl::SearchText));
        resultsView_->setGeometry(windowRect(ctl::SearchArea));
        searchBox_->show();
        resultsView_->show();
    } else if (panel == 4) {
        historyView_->setGeometry(windowRect(ctl::HistoryArea));
        historyView_->show();
    }
}

void LibraryBrowser::storeWidths(int panel) {
    if (panes_ == nullptr || (panel != 0 && panel != 2)) return;
    ColumnSizes& sizes = settings().columnSizes;
    storeColumnWidths(sizes, panel == 0 ? kFilesColumns : kFilesColumnsWithPlaylist,
                      widthsOf(*filesView_));
    if (panel == 2) storeColumnWidths(sizes, kPlaylistColumns, widthsOf(*playlistView_));
    if (form_ != PaneForm::Resizable) return;
    // The panes in desk pixels (the desk may be shown scaled).
    const int deskWidth =
        std::max(skin_->control(panel == 0 ? ctl::FilesArea : ctl::PlaylistArea).width, 0);
    const int shownWidth = std::max(panes_->width(), 1);
    const QList<int> widths = panes_->sizes();
    const auto desk = [&](int i) {
        return i < widths.size() ? widths[i] * deskWidth / shownWidth : 0;
    };
    storePaneWidths(sizes, panel, desk(0), desk(1));
}

void LibraryBrowser::showPanel(int panel, bool show) {
    if (destroyed_) return;
    if (!show) {
        if (panel != shownPanel_) return;
        storeWidths(panel);
        if (panel == 0 || panel == 2) panes_->hide();
        if (panel == 1) {
            searchBox_->hide();
            resultsView_->hide();
        }
        if (panel == 4) historyView_->hide();
        shownPanel_ = -1;
        return;
    }
    shownPanel_ = panel;
    layOut(panel);
    if (panel == 1) {
        searchBox_->setFocus();
        // Once the desk has drawn the panel: without a search file, the offer of a scan.
        QTimer::singleShot(0, searchBox_, [this] { offerScan(); });
    }
}

void LibraryBrowser::place() {
    if (destroyed_ || shownPanel_ < 0) return;
    storeWidths(shownPanel_);
    layOut(shownPanel_);
}

void LibraryBrowser::applySkin(const SkinModel& skin) {
    if (destroyed_) return;
    if (shownPanel_ >= 0) storeWidths(shownPanel_);
    skin_ = &skin;
    applyColours();
    if (shownPanel_ >= 0) layOut(shownPanel_);
}

void LibraryBrowser::destroy() {
    if (destroyed_) return;
    endDrag();
    library().cancelDrag();
    if (shownPanel_ >= 0) storeWidths(shownPanel_);
    if (historyView_ != nullptr)
        storeColumnWidths(settings().columnSizes, kHistoryColumns, widthsOf(*historyView_));
    if (resultsView_ != nullptr)
        storeColumnWidths(settings().columnSizes, kSearchColumns,
                          widthsOf(*resultsView_->horizontalHeader()));
    destroyed_ = true;
    QObject::disconnect(focusWatch_);
    loader_.reset();
    library().files().clear();
    treeModel_->showFolder({});
    delete panes_;
    delete historyView_;
    delete searchBox_;
    delete resultsView_;
}

// ---------------------------------------------------------------------------------------
// The folder tree

std::string LibraryBrowser::musicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return music.toStdString();
    return QDir::homePath().toStdString();
}

void LibraryBrowser::openFolder(const std::string& folder) {
    if (tree_ == nullptr) return;
    fillSuppressed_ = true;
    // A folder that is not there (any more) opens the desktop instead.
    if (folder.empty() || !treeModel_->showFolder(folder)) treeModel_->showDesktop();
    fillSuppressed_ = false;
    const QModelIndex top = treeModel_->top();
    // Read now: a hidden tree would only read it when it is first laid out.
    if (treeModel_->canFetchMore(top)) treeModel_->fetchMore(top);
    tree_->expand(top);
    tree_->setCurrentIndex(top);  // the selection fills the files list
}

void LibraryBrowser::folderSelected() {
    if (fillSuppressed_ || destroyed_) return;
    library().files().clear();
    const std::string folder = selectedFolder();
    if (!folder.empty()) loader_->request(folder);
}

std::string LibraryBrowser::selectedFolder() const {
    return tree_ != nullptr ? treeModel_->pathOf(tree_->currentIndex()) : std::string();
}

bool LibraryBrowser::filling() const { return loader_ != nullptr && loader_->pending(); }

void LibraryBrowser::refillFiles() { folderSelected(); }

void LibraryBrowser::goHomeFolder() {
    openFolder(initialFolderPath(settings().initialFolder, settings().homeFolder, musicFolder()));
}

void LibraryBrowser::goDesktop() { openFolder({}); }

void LibraryBrowser::setHomeFolderToSelection() {
    if (tree_ == nullptr) return;
    const QModelIndex selected = tree_->currentIndex();
    const std::string folder = treeModel_->pathOf(selected);
    if (!selected.isValid() || selected == treeModel_->top() || folder.empty()) return;
    settings().initialFolder = storedInitialFolder(folder);
    goHomeFolder();
}

void LibraryBrowser::refreshRecord(const TrackRecord* record) { library().recordChanged(record); }

// ---------------------------------------------------------------------------------------
// Buttons and keys

void LibraryBrowser::onButton(int id) {
    if (destroyed_) return;
    switch (id) {
        case ctl::SetHomeFolder:
            setHomeFolderToSelection();
            break;
        case ctl::GoDesktop:
            goDesktop();
            break;
        case ctl::GoHomeFolder:
            goHomeFolder();
            break;
        case ctl::Save:
            if (shownPanel_ == 2) savePlaylist();
            if (shownPanel_ == 4) saveHistory();
            break;
        case ctl::SearchGo:
            runSearch();
            break;
        // The dialogs rewrite the search file: the search reads it again after each.
        case ctl::ScanDisk:
            afterDialog(scanHardDisks(&window_));
            break;
        case ctl::ScanCd:
            afterDialog(scanCd(&window_));
            break;
        case ctl::DeleteCd:
            afterDialog(deleteCd(&window_));
            break;
        default:
            LibraryOnDesk::onButton(id);
            break;
    }
}

TrackListView* LibraryBrowser::viewOf(MusicLibrary::List list) const {
    switch (list) {
        case MusicLibrary::List::Playlist:
            return playlistView_;
        case MusicLibrary::List::History:
            return historyView_;
        default:
            return filesView_;
    }
}

void LibraryBrowser::onDeleteKey() {
    if (destroyed_) return;
    for (MusicLibrary::List list : {MusicLibrary::List::Playlist, MusicLibrary::List::History}) {
        TrackListView* view = viewOf(list);
        if (view != nullptr && view->hasFocus()) library().removeRows(list, view->selectedRows());
    }
}

bool LibraryBrowser::onEnterKey() {
    if (destroyed_) return false;
    for (MusicLibrary::List list :
         {MusicLibrary::List::Files, MusicLibrary::List::Playlist, MusicLibrary::List::History}) {
        TrackListView* view = viewOf(list);
        if (view != nullptr && view->isVisible() && view->hasFocus())
            return view->activateCurrent();
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The search

void LibraryBrowser::runSearch() {
    if (destroyed_) return;
    resultsModel_->runSearch(searchBox_->text());
    searchBox_->selectAll();
}

void LibraryBrowser::reloadSearch() {
    if (destroyed_) return;
    resultsModel_->reload();
}

void LibraryBrowser::offerScan() {
    // The panel may have gone again before this came round; the question waits for it.
    if (destroyed_ || shownPanel_ != 1 || search_->loaded()) return;
    afterDialog(offerHardDiskScan(&window_, *search_));
}

void LibraryBrowser::afterDialog(bool searchFileWritten) {
    if (destroyed_) return;
    if (searchFileWritten) reloadSearch();
    // Back to the desk, the search box taking the keys again (without a window manager
    // nothing else would activate the desk when the dialog goes).
    window_.activateWindow();
    if (shownPanel_ == 1) searchBox_->setFocus();
}

void LibraryBrowser::activate(MusicLibrary::List list, int row, int column) {
    TrackList& rows = library().list(list);
    if (row < 0 || row >= rows.size()) return;
    TrackRecord* record = rows.row(row).entry.record;
    if (column == 2 || column == 3) {
        // The tempo and the comment are the record's; a playlist file has none.
        if (record == nullptr) return;
        if (column == 2) {
            if (const auto text = askBpm(&window_, record->currentBpm()))
                library().setBpm(record, parseBpmText(text->toStdString()));
        } else if (const auto text =
                       askComment(&window_, QString::fromStdString(*trackComment(record)))) {
            library().setComment(record, text->toStdString());
        }
        return;
    }
    library().chooseEntry(list, row);
}

void LibraryBrowser::savePlaylist() {
    const QString path = askSave_("Save a Playlist", "Playlist (*.m3u)", "m3u");
    // The folder must exist; a file that cannot be written leaves the playlist as it was.
    if (path.isEmpty() || !QFileInfo(path).dir().exists()) return;
    if (library().savePlaylist(path.toStdString())) refillFiles();
}

void LibraryBrowser::saveHistory() {
    const QString path = askSave_("Save the history list", "Text (*.txt)", "txt");
    if (path.isEmpty() || !QFileInfo(path).dir().exists()) return;
    library().saveHistory(path.toStdString());
}

// ---------------------------------------------------------------------------------------
// The library's own drag

void LibraryBrowser::startDrag(MusicLibrary::List from) {
    TrackListView* view = viewOf(from);
    if (view == nullptr || dragging_) return;
    library().beginDrag(from, view->selectedRows());
    followDrag();
}

void LibraryBrowser::startResultDrag() {
    if (resultsView_ == nullptr || dragging_) return;
    // Each result becomes an entry of its own: a disc's file under the "CD Drive".
    std::vector<TrackEntry> entries;
    for (int row : resultsView_->selectedRows())
        entries.push_back(resultsModel_->entry(row, settings().cdDrive, library().database()));
    library().beginDrag(std::move(entries));
    followDrag();
}

void LibraryBrowser::followDrag() {
    if (!library().dragActive()) return;
    dragging_ = true;
    QGuiApplication::setOverrideCursor(dragCursor(library().dragCount() == 1
                                                      ? MusicLibrary::DragCursor::DropOne
                                                      : MusicLibrary::DragCursor::DropSeveral));
    // The desk follows the mouse until the release, wherever it goes.
    window_.grabMouse();
}

void LibraryBrowser::showDragCursor(MusicLibrary::DragCursor cursor) {
    if (dragging_) QGuiApplication::changeOverrideCursor(dragCursor(cursor));
}

MusicLibrary::PlaylistSpot LibraryBrowser::playlistSpotAt(int32_t x, int32_t y) {
    if (playlistView_ == nullptr) return {false, -1};
    const QPoint at = fromDesk_(QRect(x, y, 1, 1)).topLeft();
    const QWidget* under = window_.childAt(at);
    if (under == nullptr || (under != playlistView_ && !playlistView_->isAncestorOf(under)))
        return {false, -1};
    QWidget* viewport = playlistView_->viewport();
    const QPoint inViewport = viewport->mapFrom(&window_, at);
    if (!viewport->rect().contains(inViewport)) return {true, -1};  // its header or border
    return {true, playlistView_->rowAt(inViewport)};
}

void LibraryBrowser::endDrag() {
    if (!dragging_) return;
    dragging_ = false;
    window_.releaseMouse();
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace spinlorex
