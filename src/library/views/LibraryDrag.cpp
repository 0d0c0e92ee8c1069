#include "library/views/LibraryDrag.h"

#include <QtGui/QCursor>
#include <QtGui/QGuiApplication>
#include <QtWidgets/QWidget>

#include <vector>

#include "library/views/SearchResultsModel.h"
#include "library/views/SearchResultsView.h"
#include "library/views/TrackListView.h"
#include "platform/settings/Settings.h"
#include "resources/Resources.h"

namespace spinlorex {

namespace {

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

LibraryDrag::LibraryDrag(QWidget& window, MusicLibrary& library, const LibraryWindows& windows,
                         const SearchResultsModel& results, const DeskMapping& fromDesk)
    : window_(window),
      library_(library),
      windows_(windows),
      results_(results),
      fromDesk_(fromDesk) {}

void LibraryDrag::startFromList(MusicLibrary::List from) {
    TrackListView* view = windows_.viewOf(from);
    if (view == nullptr || dragging_) return;
    library_.beginDrag(from, view->selectedRows());
    follow();
}

void LibraryDrag::startFromResults() {
    if (windows_.results == nullptr || dragging_) return;
    // Each result becomes an entry of its own: a disc's file under the "CD Drive".
    std::vector<TrackEntry> entries;
    for (int row : windows_.results->selectedRows())
        entries.push_back(results_.entry(row, settings().cdDrive, library_.database()));
    library_.beginDrag(std::move(entries));
    follow();
}

void LibraryDrag::follow() {
    if (!library_.dragActive()) return;
    dragging_ = true;
    QGuiApplication::setOverrideCursor(dragCursor(library_.dragCount() == 1
                                                      ? MusicLibrary::DragCursor::DropOne
                                                      : MusicLibrary::DragCursor::DropSeveral));
    // The desk follows the mouse until the release, wherever it goes.
    window_.grabMouse();
}

void LibraryDrag::showCursor(MusicLibrary::DragCursor cursor) {
    if (dragging_) QGuiApplication::changeOverrideCursor(dragCursor(cursor));
}

MusicLibrary::PlaylistSpot LibraryDrag::playlistSpotAt(int32_t x, int32_t y) const {
    const TrackListView* playlist = windows_.playlist;
    if (playlist == nullptr) return {false, -1};
    const QPoint at = fromDesk_(QRect(x, y, 1, 1)).topLeft();
    const QWidget* under = window_.childAt(at);
    if (under == nullptr || (under != playlist && !playlist->isAncestorOf(under)))
        return {false, -1};
    const QWidget* viewport = playlist->viewport();
    const QPoint inViewport = viewport->mapFrom(&window_, at);
    if (!viewport->rect().contains(inViewport)) return {true, -1};  // its header or border
    return {true, playlist->rowAt(inViewport)};
}

void LibraryDrag::end() {
    if (!dragging_) return;
    dragging_ = false;
    window_.releaseMouse();
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace spinlorex
