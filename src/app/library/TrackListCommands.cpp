#include "app/library/TrackListCommands.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtWidgets/QFileDialog>

#include "app/dialogs/TrackDialogs.h"
#include "library/TrackDatabase.h"
#include "library/views/FolderBrowser.h"
#include "library/views/TrackListView.h"

namespace spinlorex {

TrackListCommands::TrackListCommands(QWidget& window, MusicLibrary& library,
                                     const LibraryWindows& windows, FolderBrowser& folders)
    : window_(window), library_(library), windows_(windows), folders_(folders) {
    askSave_ = [this](const QString& title, const QString& filter, const QString& suffix) {
        QFileDialog ask(&window_, title, QString(), filter);
        ask.setAcceptMode(QFileDialog::AcceptSave);
        ask.setFileMode(QFileDialog::AnyFile);
        ask.setDefaultSuffix(suffix);
        if (ask.exec() != QDialog::Accepted || ask.selectedFiles().isEmpty()) return QString();
        return ask.selectedFiles().front();
    };
}

void TrackListCommands::activate(MusicLibrary::List list, int row, int column) {
    TrackList& rows = library_.list(list);
    if (row < 0 || row >= rows.size()) return;
    TrackRecord* record = rows.row(row).entry.record;
    if (column == 2 || column == 3) {
        // The tempo and the comment are the record's; a playlist file has none.
        if (record == nullptr) return;
        if (column == 2) {
            if (const auto text = askBpm(&window_, record->currentBpm()))
                library_.setBpm(record, parseBpmText(text->toStdString()));
        } else if (const auto text =
                       askComment(&window_, QString::fromStdString(*trackComment(record)))) {
            library_.setComment(record, text->toStdString());
        }
        return;
    }
    library_.chooseEntry(list, row);
}

void TrackListCommands::removeFocusedRows() {
    for (MusicLibrary::List list : {MusicLibrary::List::Playlist, MusicLibrary::List::History}) {
        TrackListView* view = windows_.viewOf(list);
        if (view != nullptr && view->hasFocus()) library_.removeRows(list, view->selectedRows());
    }
}

bool TrackListCommands::activateFocusedRow() {
    for (MusicLibrary::List list :
         {MusicLibrary::List::Files, MusicLibrary::List::Playlist, MusicLibrary::List::History}) {
        TrackListView* view = windows_.viewOf(list);
        if (view != nullptr && view->isVisible() && view->hasFocus())
            return view->activateCurrent();
    }
    return false;
}

void TrackListCommands::savePlaylist() {
    const QString path = askSave_("Save a Playlist", "Playlist (*.m3u)", "m3u");
    // The folder must exist; a file that cannot be written leaves the playlist as it was.
    if (path.isEmpty() || !QFileInfo(path).dir().exists()) return;
    // Written on a thread of its own; the files list shows the new file once it is there.
    library_.savePlaylist(path.toStdString(), [this](bool written) {
        if (written) folders_.refillFiles();
    });
}

void TrackListCommands::saveHistory() {
    const QString path = askSave_("Save the history list", "Text (*.txt)", "txt");
    if (path.isEmpty() || !QFileInfo(path).dir().exists()) return;
    library_.saveHistory(path.toStdString());
}

}  // namespace spinlorex
