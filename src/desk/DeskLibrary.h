#pragma once

#include <cstdint>
#include <string>

namespace spinlorex {

// What the desk asks of the music library. Until the library exists, NoLibrary answers:
// an empty playlist, nothing to enter in the history, no drags. Main thread only.
class DeskLibrary {
public:
    virtual ~DeskLibrary() = default;
    // Loads the next playlist entry onto the deck; false when the playlist gave nothing.
    virtual bool loadNextFromPlaylist(int deck) = 0;
    // The track at `path` could not be loaded on the deck. When it came from the playlist
    // feeding the deck, the playlist's next track goes there, so an unattended set plays
    // on past a file that cannot be read.
    virtual void loadFailed(int deck, const std::string& path) = 0;
    // The deck's track has been loaded for 40 s: it enters the history.
    virtual void addToHistory(int deck) = 0;
    // The library's own drag of rows, when one is under way.
    virtual bool dragActive() const = 0;
    virtual void dragOver(int32_t x, int32_t y) = 0;
    virtual void dropOnDeck(int32_t x, int32_t y) = 0;
    // Shows or hides the list view of a panel (0 files, 1 search, 2 playlist, 4 history).
    virtual void showPanel(int panel, bool show) = 0;
    // Buttons and keys of the library panels.
    virtual void onButton(int id) = 0;
    virtual void onDeleteKey() = 0;
    // ENTER: true when a library list has the keyboard focus and took the key for its
    // focused row (as a double-click); the desk's own ENTER then does nothing.
    virtual bool onEnterKey() = 0;
    virtual void runSearch() = 0;
    // V: true when a library list (or the search results) has the keyboard focus and its
    // current row went to the preview in the headphones (or, previewed already, stopped).
    virtual bool previewFocusedRow() { return false; }
    // A controller's browsing: the browsed list is the one with the keyboard focus, else
    // the shown panel's (panel 0 the files, 1 the search results, 2 the playlist, 4 the
    // history). `browse` moves its current row by `steps` (+: down), `browsePress` chooses
    // the row as Enter does (the folder tree opens the folder), and `loadBrowsedRow` puts
    // the row on that deck, with the "Baby secure" rule of drops.
    virtual void browse(int steps) { (void)steps; }
    virtual void browsePress() {}
    virtual void loadBrowsedRow(int deck) { (void)deck; }
    // The settings that name tracks and keys changed: the lists show them anew.
    virtual void namingChanged() {}
};

class NoLibrary : public DeskLibrary {
public:
    bool loadNextFromPlaylist(int) override { return false; }
    void loadFailed(int, const std::string&) override {}
    void addToHistory(int) override {}
    bool dragActive() const override { return false; }
    void dragOver(int32_t, int32_t) override {}
    void dropOnDeck(int32_t, int32_t) override {}
    void showPanel(int, bool) override {}
    void onButton(int) override {}
    void onDeleteKey() override {}
    bool onEnterKey() override { return false; }
    void runSearch() override {}
};

}  // namespace spinlorex
