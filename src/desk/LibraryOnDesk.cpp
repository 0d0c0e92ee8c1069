#include "desk/LibraryOnDesk.h"

#include "desk/MixingDesk.h"

namespace spinlorex {
namespace {

// What the library calls the skin control under a drag.
MusicLibrary::DropZone dropZoneOf(int control) {
    using Zone = MusicLibrary::DropZone;
    switch (control) {
        case ctl::Infos1:
        case ctl::Title1:
        case ctl::Disc1:
            return Zone::Deck1;
        case ctl::Infos2:
        case ctl::Title2:
        case ctl::Disc2:
            return Zone::Deck2;
        case ctl::PlaylistArea:
            return Zone::Playlist;
        case ctl::MenuPlaylist:
            return Zone::PlaylistButton;
        case ctl::RhythmWindow:
            return Zone::RhythmWindow;
        default:
            return Zone::Elsewhere;
    }
}

}  // namespace

LibraryOnDesk::LibraryOnDesk(TrackDatabase& database) : library_(database) {}

LibraryOnDesk::~LibraryOnDesk() = default;

void LibraryOnDesk::attach(MixingDesk* desk) {
    desk_ = desk;
    library_.attach(desk);
}

bool LibraryOnDesk::loadNextFromPlaylist(int deck) { return library_.loadNextFromPlaylist(deck); }

void LibraryOnDesk::loadFailed(int deck, const std::string& path) {
    library_.loadFailed(deck, path);
}

void LibraryOnDesk::addToHistory(int deck) { library_.addToHistory(deck); }

bool LibraryOnDesk::dragActive() const { return library_.dragActive(); }

void LibraryOnDesk::dragOver(int32_t x, int32_t y) {
    if (desk_ != nullptr) showDragCursor(library_.dragCursor(dropZoneOf(desk_->controlAt(x, y))));
}

void LibraryOnDesk::dropOnDeck(int32_t x, int32_t y) {
    const int control = desk_ != nullptr ? desk_->controlAt(x, y) : ctl::None;
    const MusicLibrary::PlaylistSpot spot =
        control == ctl::PlaylistArea ? playlistSpotAt(x, y) : MusicLibrary::PlaylistSpot{};
    // The drag ends first: a question the drop asks must find the mouse free.
    endDrag();
    library_.dropOnDeck(dropZoneOf(control), spot);
}

void LibraryOnDesk::onButton(int id) {
    if (id == ctl::Shuffle) library_.shufflePlaylist();
    if (id == ctl::NewSongsOnly) library_.removePlayedFromPlaylist();
}

}  // namespace spinlorex
