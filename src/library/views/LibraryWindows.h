#pragma once

#include <QtCore/QPointer>
#include <QtCore/QRect>

#include <functional>

#include "library/MusicLibrary.h"

class QLineEdit;
class QSplitter;
class QTreeView;

namespace spinlorex {

class SearchResultsView;
class TrackListView;

// Maps a rectangle of the 800 x 600 desk to the window's coordinates (the desk is shown
// scaled in full screen).
using DeskMapping = std::function<QRect(const QRect&)>;

// The library's windows in the desk window. The library browser makes them as children of
// the desk window, which owns them until the browser's destroy() takes them down; from
// then on every pointer here is null.
//
// Main thread only.
struct LibraryWindows {
    QPointer<QSplitter> panes;  // the tree, the files and the playlist (panels 0 and 2)
    QPointer<QTreeView> tree;
    QPointer<TrackListView> files;
    QPointer<TrackListView> playlist;
    QPointer<TrackListView> history;
    QPointer<QLineEdit> searchBox;
    QPointer<SearchResultsView> results;

    // The view that shows `list`; null once taken down.
    TrackListView* viewOf(MusicLibrary::List list) const;
};

}  // namespace spinlorex
