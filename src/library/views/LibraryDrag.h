#pragma once

#include <cstdint>

#include "library/MusicLibrary.h"
#include "library/views/LibraryWindows.h"

class QWidget;

namespace spinlorex {

class SearchResultsModel;

// The window side of the library's own drag: rows of a list or search results picked up,
// the mouse held by the desk window until the release, the library's cursors shown, and
// the playlist row found under a desk point. What a drag does is the library's
// (MusicLibrary).
//
// Owns only whether a drag is under way; the windows are the library browser's. Main
// thread only.
class LibraryDrag {
public:
    LibraryDrag(QWidget& window, MusicLibrary& library, const LibraryWindows& windows,
                const SearchResultsModel& results, const DeskMapping& fromDesk);

    // The selected rows of `from`'s view picked up.
    void startFromList(MusicLibrary::List from);
    // The selected search results picked up, each an entry of its own.
    void startFromResults();
    void showCursor(MusicLibrary::DragCursor cursor);
    // The playlist under a point of the desk, and its row there (-1: none).
    MusicLibrary::PlaylistSpot playlistSpotAt(int32_t x, int32_t y) const;
    // The mouse released and the cursor restored. Safe without a drag.
    void end();

private:
    void follow();

    QWidget& window_;
    MusicLibrary& library_;
    const LibraryWindows& windows_;
    const SearchResultsModel& results_;
    const DeskMapping& fromDesk_;
    bool dragging_ = false;
};

}  // namespace spinlorex
