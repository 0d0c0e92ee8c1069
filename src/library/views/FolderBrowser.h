#pragma once

#include <QtCore/QPointer>
#include <QtCore/QTimer>

#include <memory>
#include <string>
#include <vector>

class QTreeView;

namespace spinlorex {

class FolderLoader;
class FolderTreeModel;
class MusicLibrary;

// The folder side of the library browser: the folder tree and the files list it fills.
// It opens the home folder ("Initial folder"; without one the user's music folder) or
// the desktop, keeps the selected folder as the new home, and reads the selected folder
// in the background into the library's files list.
//
// Owns the tree's model and the folder reader; the tree view is the desk window's, the
// files list the library's. Main thread only.
class FolderBrowser {
public:
    // Shows the folders in `tree` and fills the files list of `library`. Opens nothing
    // yet: goHomeFolder() does.
    FolderBrowser(QTreeView& tree, MusicLibrary& library);
    ~FolderBrowser();

    void goHomeFolder();
    void goDesktop();
    void setHomeFolderToSelection();
    // The folder whose files the list shows (empty for the desktop).
    std::string selectedFolder() const;
    // A folder is being read for the tree or the files list.
    bool filling() const;
    // Reads the selected folder again.
    void refillFiles();
    // The desk window goes: no more folders are read, the tree and the files list are
    // emptied. Safe to call twice.
    void stop();

private:
    // Roots the tree at the first of `folders` that is a folder; the desktop when none is.
    void openFolder(std::vector<std::string> folders);
    void folderSelected();
    // Builds the next slice of the files list's rows; queues the one after.
    void fillSlice();

    QPointer<QTreeView> tree_;
    MusicLibrary& library_;
    std::unique_ptr<FolderTreeModel> model_;
    std::unique_ptr<FolderLoader> loader_;  // null once stopped
    bool fillSuppressed_ = false;
    QTimer fillTimer_;  // the files list's next slice, after the events waiting meanwhile
};

}  // namespace spinlorex
