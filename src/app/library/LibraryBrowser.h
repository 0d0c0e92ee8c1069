#pragma once

#include <QtCore/QObject>
#include <QtCore/QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/library/TrackListCommands.h"
#include "desk/LibraryOnDesk.h"
#include "library/views/LibraryWindows.h"

class QAbstractItemView;
class QTimer;
class QWidget;

namespace spinlorex {

class AddedColumns;
class FolderBrowser;
class LibraryDrag;
class SearchIndex;
class SearchResultsModel;
class TrackListModel;
struct SkinModel;

// The music library in the desk window: the folder tree and the files list (panel 0),
// the search box and its results (panel 1), the playlist beside the tree and the files
// (panel 2), and the history (panel 4), each in its skin rectangle, the lists in the
// skin's "FontColor" on "FontBackColor". The panes of panels 0 and 2 sit in a splitter
// whose widths, like the lists' column widths, live in the "Column Sizes" setting.
// Double-clicks and Enter choose rows, column 2 and 3 open the "Bpm" and "Comment"
// dialogs, rows and search results are dragged onto the desk with the library's own
// cursors, and the playlist takes files and folders from a file manager. The search holds
// the home folder's search file, which the scan buttons' dialogs rewrite.
//
// The browser owns the windows (LibraryWindows), their models and the search, lays the
// panels out and colours them, and answers the desk's buttons and keys; the folder side
// (FolderBrowser), what the lists do with their rows (TrackListCommands) and the drag's
// window side (LibraryDrag) are parts of their own.
//
// Main thread only.
class LibraryBrowser : public LibraryOnDesk {
public:
    // The two forms of panels 0 and 2: panes the user resizes, their widths kept in the
    // settings, or fixed proportions.
    enum class PaneForm { Resizable, Fixed };
    using DeskMapping = spinlorex::DeskMapping;
    using SaveAsker = TrackListCommands::SaveAsker;

    // Creates the windows, hidden, as children of `window`, opens the home folder
    // ("Initial folder"; without one the user's music folder) and reads the search file
    // of the "Home folder", listing all its lines. `disk` (null: at once, on this thread)
    // reads playlists, dropped folders and the search file and saves lists for the library;
    // it must outlive the browser.
    LibraryBrowser(QWidget& window, TrackDatabase& database, const SkinModel& skin,
                   DeskMapping fromDesk, PaneForm form = PaneForm::Resizable,
                   LibraryDisk* disk = nullptr);
    ~LibraryBrowser() override;

    // A new skin: the shown panel's widths are stored, every window moves to the new
    // skin's rectangles and takes its colours.
    void applySkin(const SkinModel& skin);
    // The desk moved in the window (full screen on or off): the windows follow.
    void place();
    // Stores the shown panel's widths and the search results' and history's column
    // widths, empties the tree and the files list. Safe to call twice.
    void destroy();

    // ---- DeskLibrary ----
    void showPanel(int panel, bool show) override;
    void onButton(int id) override;
    void onDeleteKey() override;
    bool onEnterKey() override;
    bool previewFocusedRow() override;
    void browse(int steps) override;
    void browsePress() override;
    void loadBrowsedRow(int deck) override;
    // "Search !" and Enter in the search box: the box's text gives the terms, and is
    // selected for the next search.
    void runSearch() override;

    // ---- The folder tree ----
    // The folder whose files the list shows (empty for the desktop).
    std::string selectedFolder() const;
    // A folder is being read for the files list.
    bool filling() const;
    // Reads the selected folder again.
    void refillFiles();

    // Every row of the record shows its texts anew (for a tempo measured meanwhile).
    void refreshRecord(const TrackRecord* record);
    // After "FileNameTitles" or "KeyNotation" changed: the lists and the search name the
    // tracks and write the keys as the settings now say.
    void applyNamingSettings();
    void namingChanged() override { applyNamingSettings(); }

    void setSaveAsker(SaveAsker asker);

    // ---- The search ----
    // The search file read again (after a scan or a deletion) and searched with the last
    // terms.
    void reloadSearch();

    // The windows, for the desk's own tests.
    QSplitter& panes();
    QTreeView& tree();
    TrackListView& filesView();
    TrackListView& playlistView();
    TrackListView& historyView();
    QLineEdit& searchBox();
    SearchResultsView& resultsView();
    SearchIndex& searchIndex() { return *search_; }

protected:
    void showDragCursor(MusicLibrary::DragCursor cursor) override;
    MusicLibrary::PlaylistSpot playlistSpotAt(int32_t x, int32_t y) override;
    void endDrag() override;

private:
    // The list a controller browses (see DeskLibrary::browse): its view (the folder tree,
    // a track list or the search results), and which list a track list is.
    struct Browsed {
        QAbstractItemView* view = nullptr;
        std::optional<MusicLibrary::List> list;  // none: the tree or the search results
    };
    Browsed browsed() const;
    // The current row of the list with the keyboard focus as an entry; none when no list
    // has it (or its row is a playlist file).
    std::optional<TrackEntry> focusedEntry() const;
    void createWindows();
    void applyColours();
    void layOut(int panel);
    void storeWidths(int panel);
    void offerScan();
    uint64_t searchLoads_ = 0;  // reads of the search file asked for
    bool searchRead_ = false;   // one of them answered
    void afterDialog(bool searchFileWritten);
    QRect windowRect(int control) const;

    QWidget& window_;
    const SkinModel* skin_;
    DeskMapping fromDesk_;
    PaneForm form_;

    std::unique_ptr<TrackListModel> filesModel_;
    std::unique_ptr<TrackListModel> playlistModel_;
    std::unique_ptr<TrackListModel> historyModel_;
    std::unique_ptr<SearchIndex> search_;
    std::unique_ptr<SearchResultsModel> resultsModel_;
    LibraryWindows windows_;
    std::unique_ptr<FolderBrowser> folders_;
    std::unique_ptr<LibraryDrag> drag_;
    std::unique_ptr<TrackListCommands> commands_;
    QMetaObject::Connection focusWatch_;
    std::unique_ptr<AddedColumns> addedColumns_;
    QTimer* keyWatch_ = nullptr;  // the selected deck's key, for the lists' marks

    int shownPanel_ = -1;
    bool destroyed_ = false;
};

}  // namespace spinlorex
