#pragma once

#include <QtCore/QString>

#include <functional>

#include "library/MusicLibrary.h"
#include "library/views/LibraryWindows.h"

class QWidget;

namespace spinlorex {

class FolderBrowser;

// What the library's lists do with their rows at the user's word: a row chosen
// (double-click, Enter), the "Bpm" and "Comment" dialogs of columns 2 and 3, the selected
// rows removed (DELETE), and the playlist or the history saved to a file the user names.
//
// Owns the question for a file to save to; the lists are the library's, the views the
// library browser's. Main thread only.
class TrackListCommands {
public:
    // Asks for a file to save to: the dialog's title, filter and default suffix; empty
    // when cancelled.
    using SaveAsker =
        std::function<QString(const QString& title, const QString& filter, const QString& suffix)>;

    // Dialogs open over `window`; a playlist saved into the shown folder refills `folders`'
    // files list.
    TrackListCommands(QWidget& window, MusicLibrary& library, const LibraryWindows& windows,
                      FolderBrowser& folders);

    // A row of `list` chosen in `column`: the tempo or comment dialog, or the row loaded.
    void activate(MusicLibrary::List list, int row, int column);
    // DELETE: the selected rows of the playlist or history, whichever has the focus.
    void removeFocusedRows();
    // Enter: the current row of the shown list with the focus chosen; false when none has.
    bool activateFocusedRow();
    void savePlaylist();
    void saveHistory();
    void setSaveAsker(SaveAsker asker) { askSave_ = std::move(asker); }

private:
    QWidget& window_;
    MusicLibrary& library_;
    const LibraryWindows& windows_;
    FolderBrowser& folders_;
    SaveAsker askSave_;
};

}  // namespace spinlorex
