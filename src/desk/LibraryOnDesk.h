#pragma once

#include <cstdint>

#include "desk/DeskLibrary.h"
#include "library/MusicLibrary.h"

namespace spinlorex {

class MixingDesk;
class TrackDatabase;

// The music library as the desk sees it, without windows: the playlist that feeds the
// decks, the history, the buttons that need no window ("Shuffle", "New songs only") and
// the library's own drag. spinlorex-tool runs it headless; the desk window's library
// browser adds the windows, the dialogs and the keyboard focus.
//
// Main thread only.
class LibraryOnDesk : public DeskLibrary {
public:
    explicit LibraryOnDesk(TrackDatabase& database);
    ~LibraryOnDesk() override;

    // The desk, once it exists (null: detached). Until then nothing reaches a deck.
    void attach(MixingDesk* desk);
    MixingDesk* desk() const { return desk_; }
    MusicLibrary& library() { return library_; }

    bool loadNextFromPlaylist(int deck) override;
    void loadFailed(int deck, const std::string& path) override;
    void addToHistory(int deck) override;
    bool dragActive() const override;
    void dragOver(int32_t x, int32_t y) override;
    void dropOnDeck(int32_t x, int32_t y) override;
    void showPanel(int, bool) override {}
    void onButton(int id) override;
    void onDeleteKey() override {}
    bool onEnterKey() override { return false; }
    void runSearch() override {}

protected:
    // The window's part of a drag: the cursor over the desk, the playlist row under a
    // desk point, and the end of the drag (capture released, cursor restored).
    virtual void showDragCursor(MusicLibrary::DragCursor) {}
    virtual MusicLibrary::PlaylistSpot playlistSpotAt(int32_t, int32_t) { return {}; }
    virtual void endDrag() {}

private:
    MusicLibrary library_;
    MixingDesk* desk_ = nullptr;
};

}  // namespace spinlorex
