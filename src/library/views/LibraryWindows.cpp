#include "library/views/LibraryWindows.h"

#include "library/views/TrackListView.h"

namespace spinlorex {

TrackListView* LibraryWindows::viewOf(MusicLibrary::List list) const {
    switch (list) {
        case MusicLibrary::List::Playlist:
            return playlist;
        case MusicLibrary::List::History:
            return history;
        default:
            return files;
    }
}

}  // namespace spinlorex
