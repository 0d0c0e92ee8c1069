#include "app/library/LibraryBrowser.h"

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QSplitter>
#include <QtWidgets/QTreeView>

#include <algorithm>
#include <cstdlib>

#include "app/dialogs/DeleteCdDialog.h"
#include "app/dialogs/ScanDialogs.h"
#include "app/library/TrackListCommands.h"
#include "desk/MixingDesk.h"
#include "library/LibraryLayout.h"
#include "library/SearchIndex.h"
#include "library/views/AddedColumns.h"
#include "library/views/FolderBrowser.h"
#include "library/views/LibraryDrag.h"
#include "library/views/SearchResultsModel.h"
#include "library/views/SearchResultsView.h"
#include "library/views/TrackListModel.h"
#include "library/views/TrackListView.h"
#include "platform/settings/Settings.h"
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

}  // namespace

LibraryBrowser::LibraryBrowser(QWidget& window, TrackDatabase& database, const SkinModel& skin,
                               DeskMapping fromDesk, PaneForm form, LibraryDisk* disk)
    : LibraryOnDesk(database),
      window_(window),
      skin_(&skin),
      fromDesk_(std::move(fromDesk)),
      form_(form) {
    filesModel_ = std::make_unique<TrackListModel>(library().files(), true);
    playlistModel_ = std::make_unique<TrackListModel>(library().playlist(), true);
    historyModel_ = std::make_unique<TrackListModel>(library().history(), false);
    library().setDisk(disk);
    search_ = std::make_unique<SearchIndex>(settings().homeFolder);
    resultsModel_ = std::make_unique<SearchResultsModel>(*search_);
    reloadSearch();  // no terms yet: every line
    createWindows();
    drag_ = std::make_unique<LibraryDrag>(window_, library(), windows_, *resultsModel_, fromDesk_);
    commands_ = std::make_unique<TrackListCommands>(window_, library(), windows_, *folders_);
    applyColours();
    folders_->goHomeFolder();
}

LibraryBrowser::~LibraryBrowser() { destroy(); }

QSplitter& LibraryBrowser::panes() { return *windows_.panes; }
QTreeView& LibraryBrowser::tree() { return *windows_.tree; }
TrackListView& LibraryBrowser::filesView() { return *windows_.files; }
TrackListView& LibraryBrowser::playlistView() { return *windows_.playlist; }
TrackListView& LibraryBrowser::historyView() { return *windows_.history; }
QLineEdit& LibraryBrowser::searchBox() { return *windows_.searchBox; }
SearchResultsView& LibraryBrowser::resultsView() { return *windows_.results; }

void LibraryBrowser::createWindows() {
    windows_.panes = new QSplitter(Qt::Horizontal, &window_);
    windows_.panes->hide();
    windows_.panes->setChildrenCollapsible(false);

    windows_.tree = new QTreeView;
    folders_ = std::make_unique<FolderBrowser>(*windows_.tree, library());
    windows_.tree->setHeaderHidden(true);
    windows_.tree->setUniformRowHeights(true);
    windows_.tree->setEditTriggers(QAbstractItemView::NoEditTriggers);

    using List = MusicLibrary::List;
    const auto actionsFor = [this](List list) {
        TrackListView::Actions actions;
        actions.activate = [this, list](int row, int column) {
            commands_->activate(list, row, column);
        };
        actions.beginDrag = [this, list] { drag_->startFromList(list); };
        // The "Length" cell as the track's strip: the preview from where it was clicked
        // (only where there are headphones: elsewhere a click there just selects).
        actions.pressLength = [this, list](int row, double fraction) {
            TrackList& rows = library().list(list);
            if (desk() == nullptr || !DeskPreview::headphonesInMode() || row >= rows.size() ||
                rows.row(row).entry.record == nullptr)
                return;
            desk()->preview().playAt(rows.row(row).entry, fraction);
        };
        return actions;
    };
    windows_.files = new TrackListView(*filesModel_, actionsFor(List::Files));
    windows_.files->header()->setSectionsClickable(true);
    QObject::connect(windows_.files->header(), &QHeaderView::sectionClicked, windows_.files,
                     [this](int column) { library().sortFiles(column); });
    TrackListView::Actions playlistActions = actionsFor(List::Playlist);
    playlistActions.dropPaths = [this](int row, const std::vector<std::string>& paths) {
        library().dropPathsOnPlaylist(row, paths);
    };
    windows_.playlist = new TrackListView(*playlistModel_, std::move(playlistActions));
    windows_.panes->addWidget(windows_.tree);
    windows_.panes->addWidget(windows_.files);
    windows_.panes->addWidget(windows_.playlist);
    if (form_ == PaneForm::Fixed) {
        windows_.panes->setHandleWidth(kFixedGap);
        for (int i = 1; i < windows_.panes->count(); ++i)
            windows_.panes->handle(i)->setEnabled(false);
    }

    windows_.history = new TrackListView(*historyModel_, actionsFor(List::History), &window_);
    windows_.history->hide();
    setWidths(*windows_.history, columnWidths(settings().columnSizes, kHistoryColumns));
    addedColumns_ = std::make_unique<AddedColumns>();
    for (TrackListView* view : {windows_.files, windows_.playlist, windows_.history})
        addedColumns_->follow(*view->header());
    // The rows that mix with the selected deck's key are marked; the key moves with the
    // deck's pitch, its load and the selection, so it is looked at a few times a second.
    keyWatch_ = new QTimer(windows_.history);
    QObject::connect(keyWatch_, &QTimer::timeout, keyWatch_, [this] {
        const MixingDesk* d = desk();
        const auto key = d != nullptr ? d->currentKey(d->selectedDeck()) : std::nullopt;
        for (TrackListModel* model : {filesModel_.get(), playlistModel_.get(), historyModel_.get()})
            model->setKeyToMatch(key);
    });
    keyWatch_->start(250);

    windows_.searchBox = new QLineEdit(&window_);
    windows_.searchBox->hide();
    windows_.results = new SearchResultsView(
        *resultsModel_, [this] { drag_->startFromResults(); }, &window_);
    windows_.results->hide();
    setWidths(*windows_.results->horizontalHeader(),
              columnWidths(settings().columnSizes, kSearchColumns));
    addedColumns_->follow(*windows_.results->horizontalHeader());

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
    for (QWidget* w :
         {static_cast<QWidget*>(windows_.tree), static_cast<QWidget*>(windows_.files),
          static_cast<QWidget*>(windows_.playlist), static_cast<QWidget*>(windows_.history),
          static_cast<QWidget*>(windows_.results)}) {
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
    if (windows_.panes == nullptr || windows_.history == nullptr) return;
    ColumnSizes& sizes = settings().columnSizes;
    if (panel == 0 || panel == 2) {
        const int area = panel == 0 ? ctl::FilesArea : ctl::PlaylistArea;
        const SkinControl& c = skin_->control(area);
        const PaneRect deskArea{c.x, c.y, std::max(c.width, 0), std::max(c.height, 0)};
        const PanelPanes panes = form_ == PaneForm::Fixed ? fixedPanes(panel, deskArea)
                                                          : resizablePanes(panel, deskArea, sizes);
        windows_.playlist->setVisible(panel == 2);
        windows_.panes->setGeometry(windowRect(area));
        // In window pixels (the desk may be shown scaled). Unresizable panes keep their
        // proportions; resizable ones take their stored widths exactly, the last pane what
        // the others and the handles leave, so widths come back as they were stored.
        const double scale =
            deskArea.width > 0 ? windows_.panes->width() / double(deskArea.width) : 1.0;
        QList<int> widths{static_cast<int>(panes.tree.width * scale)};
        if (panel == 2) widths.append(static_cast<int>(panes.files.width * scale));
        widths.append(static_cast<int>((panel == 2 ? panes.playlist : panes.files).width * scale));
        if (panel == 0) widths.append(0);  // the playlist's pane, hidden
        windows_.panes->setSizes(widths);
        if (form_ == PaneForm::Resizable) {
            int room = 0;
            for (int w : windows_.panes->sizes()) room += w;
            const int last = panel == 2 ? 2 : 1;
            widths[last] = room;
            for (int i = 0; i < last; ++i) widths[last] -= widths[i];
            widths[last] = std::max(widths[last], 0);
            windows_.panes->setSizes(widths);
        }
        setWidths(*windows_.files,
                  columnWidths(sizes, panel == 0 ? kFilesColumns : kFilesColumnsWithPlaylist));
        if (panel == 2) setWidths(*windows_.playlist, columnWidths(sizes, kPlaylistColumns));
        windows_.panes->show();
    } else if (panel == 1) {
        windows_.searchBox->setGeometry(windowRect(ctl::SearchText));
        windows_.results->setGeometry(windowRect(ctl::SearchArea));
        windows_.searchBox->show();
        windows_.results->show();
    } else if (panel == 4) {
        windows_.history->setGeometry(windowRect(ctl::HistoryArea));
        windows_.history->show();
    }
}

void LibraryBrowser::storeWidths(int panel) {
    if (windows_.panes == nullptr || (panel != 0 && panel != 2)) return;
    ColumnSizes& sizes = settings().columnSizes;
    storeColumnWidths(sizes, panel == 0 ? kFilesColumns : kFilesColumnsWithPlaylist,
                      widthsOf(*windows_.files));
    if (panel == 2) storeColumnWidths(sizes, kPlaylistColumns, widthsOf(*windows_.playlist));
    if (form_ != PaneForm::Resizable) return;
    // The panes in desk pixels (the desk may be shown scaled).
    const int deskWidth =
        std::max(skin_->control(panel == 0 ? ctl::FilesArea : ctl::PlaylistArea).width, 0);
    const int shownWidth = std::max(windows_.panes->width(), 1);
    const QList<int> widths = windows_.panes->sizes();
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
        if (panel == 0 || panel == 2) windows_.panes->hide();
        if (panel == 1) {
            windows_.searchBox->hide();
            windows_.results->hide();
        }
        if (panel == 4) windows_.history->hide();
        shownPanel_ = -1;
        return;
    }
    shownPanel_ = panel;
    layOut(panel);
    if (panel == 1) {
        windows_.searchBox->setFocus();
        // Once the desk has drawn the panel: without a search file, the offer of a scan.
        QTimer::singleShot(0, windows_.searchBox, [this] { offerScan(); });
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

void LibraryBrowser::applyNamingSettings() {
    const bool fileNames = get(settings().fileNameTitles) != 0;
    library().setFileNamesOnly(fileNames);
    search_->setFileNamesOnly(fileNames);
    for (TrackListModel* model : {filesModel_.get(), playlistModel_.get(), historyModel_.get()})
        model->refreshAll();
    if (windows_.results != nullptr) windows_.results->viewport()->update();
}

void LibraryBrowser::destroy() {
    if (destroyed_) return;
    if (keyWatch_ != nullptr) keyWatch_->stop();
    endDrag();
    library().cancelDrag();
    if (shownPanel_ >= 0) storeWidths(shownPanel_);
    if (windows_.history != nullptr)
        storeColumnWidths(settings().columnSizes, kHistoryColumns, widthsOf(*windows_.history));
    if (windows_.results != nullptr)
        storeColumnWidths(settings().columnSizes, kSearchColumns,
                          widthsOf(*windows_.results->horizontalHeader()));
    destroyed_ = true;
    QObject::disconnect(focusWatch_);
    folders_->stop();
    delete windows_.panes;
    delete windows_.history;
    delete windows_.searchBox;
    delete windows_.results;
}

// ---------------------------------------------------------------------------------------
// The folder tree

std::string LibraryBrowser::selectedFolder() const { return folders_->selectedFolder(); }

bool LibraryBrowser::filling() const { return folders_->filling(); }

void LibraryBrowser::refillFiles() { folders_->refillFiles(); }

void LibraryBrowser::refreshRecord(const TrackRecord* record) { library().recordChanged(record); }

// ---------------------------------------------------------------------------------------
// Buttons and keys

void LibraryBrowser::onButton(int id) {
    if (destroyed_) return;
    switch (id) {
        case ctl::SetHomeFolder:
            folders_->setHomeFolderToSelection();
            break;
        case ctl::GoDesktop:
            folders_->goDesktop();
            break;
        case ctl::GoHomeFolder:
            folders_->goHomeFolder();
            break;
        case ctl::Save:
            if (shownPanel_ == 2) commands_->savePlaylist();
            if (shownPanel_ == 4) commands_->saveHistory();
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

void LibraryBrowser::onDeleteKey() {
    if (!destroyed_) commands_->removeFocusedRows();
}

bool LibraryBrowser::onEnterKey() { return !destroyed_ && commands_->activateFocusedRow(); }

// ---------------------------------------------------------------------------------------
// The preview and a controller's browsing

std::optional<TrackEntry> LibraryBrowser::focusedEntry() const {
    using List = MusicLibrary::List;
    for (List list : {List::Files, List::Playlist, List::History}) {
        const TrackListView* view = windows_.viewOf(list);
        if (view == nullptr || !view->isVisible() || !view->hasFocus()) continue;
        const int row = view->currentIndex().row();
        TrackList& rows = const_cast<LibraryBrowser*>(this)->library().list(list);
        if (row < 0 || row >= rows.size() || rows.row(row).entry.record == nullptr)
            return std::nullopt;
        return rows.row(row).entry;
    }
    const SearchResultsView* results = windows_.results;
    if (results == nullptr || !results->isVisible() || !results->hasFocus()) return std::nullopt;
    const int row = results->currentIndex().row();
    if (row < 0 || row >= resultsModel_->rowCount()) return std::nullopt;
    return resultsModel_->entry(row, settings().cdDrive,
                                const_cast<LibraryBrowser*>(this)->library().database());
}

bool LibraryBrowser::previewFocusedRow() {
    if (destroyed_ || desk() == nullptr) return false;
    const std::optional<TrackEntry> entry = focusedEntry();
    if (!entry) return false;
    desk()->preview().toggle(*entry);
    return true;
}

LibraryBrowser::Browsed LibraryBrowser::browsed() const {
    using List = MusicLibrary::List;
    const auto shown = [](QAbstractItemView* view) { return view != nullptr && view->isVisible(); };
    for (List list : {List::Files, List::Playlist, List::History}) {
        TrackListView* view = windows_.viewOf(list);
        if (shown(view) && view->hasFocus()) return {view, list};
    }
    if (shown(windows_.tree) && windows_.tree->hasFocus()) return {windows_.tree, std::nullopt};
    switch (shownPanel_) {
        case 0:
            return {windows_.files, List::Files};
        case 1:
            return {windows_.results, std::nullopt};
        case 2:
            return {windows_.playlist, List::Playlist};
        case 4:
            return {windows_.history, List::History};
        default:
            return {};
    }
}

void LibraryBrowser::browse(int steps) {
    if (destroyed_ || steps == 0) return;
    QAbstractItemView* view = browsed().view;
    if (view == nullptr || view->model()->rowCount() == 0) return;
    QModelIndex at = view->currentIndex();
    if (view == windows_.tree) {
        // The tree by its visible rows; the folder reached is read into the files list.
        if (!at.isValid()) at = view->model()->index(0, 0);
        for (int i = 0; i < std::abs(steps); ++i) {
            const QModelIndex next =
                steps > 0 ? windows_.tree->indexBelow(at) : windows_.tree->indexAbove(at);
            if (!next.isValid()) break;
            at = next;
        }
    } else {
        const int last = view->model()->rowCount() - 1;
        const int row =
            at.isValid() ? std::clamp(at.row() + steps, 0, last) : (steps > 0 ? 0 : last);
        at = view->model()->index(row, 0);
    }
    view->setCurrentIndex(at);
    view->scrollTo(at);
}

void LibraryBrowser::browsePress() {
    if (destroyed_) return;
    const Browsed b = browsed();
    if (b.view == nullptr) return;
    const QModelIndex at = b.view->currentIndex();
    if (!at.isValid()) return;
    if (b.view == windows_.tree) {
        windows_.tree->setExpanded(at, !windows_.tree->isExpanded(at));
    } else if (b.list) {
        library().chooseEntry(*b.list, at.row());  // as Enter on the first column
    } else if (desk() != nullptr) {
        // A search result goes where a double-click sends it.
        const int s = desk()->selectedDeck();
        const int deck = !desk()->isBusy(s) || desk()->isBusy(1 - s) ? s : 1 - s;
        library().loadEntryOnto(
            resultsModel_->entry(at.row(), settings().cdDrive, library().database()), deck);
    }
}

void LibraryBrowser::loadBrowsedRow(int deck) {
    if (destroyed_) return;
    const Browsed b = browsed();
    if (b.view == nullptr || b.view == windows_.tree) return;
    const QModelIndex at = b.view->currentIndex();
    if (!at.isValid()) return;
    if (b.list)
        library().loadRowOnto(*b.list, at.row(), deck);
    else
        library().loadEntryOnto(
            resultsModel_->entry(at.row(), settings().cdDrive, library().database()), deck);
}

void LibraryBrowser::setSaveAsker(SaveAsker asker) { commands_->setSaveAsker(std::move(asker)); }

// ---------------------------------------------------------------------------------------
// The search

void LibraryBrowser::runSearch() {
    if (destroyed_) return;
    resultsModel_->runSearch(windows_.searchBox->text());
    windows_.searchBox->selectAll();
}

void LibraryBrowser::reloadSearch() {
    if (destroyed_) return;
    ++searchLoads_;
    library().disk().loadSearchFile(settings().homeFolder,
                                    [this, load = searchLoads_](std::shared_ptr<SearchIndex> read) {
                                        // Only the newest read counts.
                                        if (destroyed_ || load != searchLoads_) return;
                                        resultsModel_->adopt(std::move(*read));
                                        searchRead_ = true;
                                        if (shownPanel_ == 1) offerScan();
                                    });
}

void LibraryBrowser::offerScan() {
    // The panel may have gone again before this came round; the question waits for it,
    // and for the search file to have been read.
    if (destroyed_ || shownPanel_ != 1 || !searchRead_ || search_->loaded()) return;
    afterDialog(offerHardDiskScan(&window_, *search_));
}

void LibraryBrowser::afterDialog(bool searchFileWritten) {
    if (destroyed_) return;
    if (searchFileWritten) reloadSearch();
    // Back to the desk, the search box taking the keys again (without a window manager
    // nothing else would activate the desk when the dialog goes).
    window_.activateWindow();
    if (shownPanel_ == 1) windows_.searchBox->setFocus();
}

// ---------------------------------------------------------------------------------------
// The library's own drag

void LibraryBrowser::showDragCursor(MusicLibrary::DragCursor cursor) { drag_->showCursor(cursor); }

MusicLibrary::PlaylistSpot LibraryBrowser::playlistSpotAt(int32_t x, int32_t y) {
    return drag_->playlistSpotAt(x, y);
}

void LibraryBrowser::endDrag() { drag_->end(); }

}  // namespace spinlorex
