#include "library/views/FolderBrowser.h"

#include <QtCore/QDir>
#include <QtCore/QStandardPaths>
#include <QtWidgets/QTreeView>

#include "library/FolderListing.h"
#include "library/MusicLibrary.h"
#include "library/views/FolderLoader.h"
#include "library/views/FolderTreeModel.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

FolderBrowser::FolderBrowser(QTreeView& tree, MusicLibrary& library)
    : tree_(&tree),
      library_(library),
      model_(std::make_unique<FolderTreeModel>()),
      loader_(std::make_unique<FolderLoader>([this](std::vector<FolderItem> items) {
          library_.beginFilesFill(std::move(items));
          fillSlice();
      })) {
    fillTimer_.setSingleShot(true);
    fillTimer_.setInterval(0);
    QObject::connect(&fillTimer_, &QTimer::timeout, [this] { fillSlice(); });
    tree.setModel(model_.get());
    QObject::connect(&tree, &QTreeView::collapsed, &tree,
                     [this](const QModelIndex& index) { model_->forget(index); });
    QObject::connect(tree.selectionModel(), &QItemSelectionModel::currentChanged, &tree,
                     [this] { folderSelected(); });
}

FolderBrowser::~FolderBrowser() = default;

void FolderBrowser::openFolder(std::vector<std::string> folders) {
    if (tree_ == nullptr) return;
    std::erase(folders, std::string());
    fillSuppressed_ = true;
    if (folders.empty()) {
        model_->showDesktop();
    } else {
        // Shown at once; when the tree's read finds it is not there (any more), the next
        // one opens instead, after the last the desktop.
        std::string first = std::move(folders.front());
        folders.erase(folders.begin());
        model_->showFolder(first, [this, rest = std::move(folders)] { openFolder(rest); });
    }
    fillSuppressed_ = false;
    const QModelIndex top = model_->top();
    tree_->expand(top);
    tree_->setCurrentIndex(top);  // the selection fills the files list
}

void FolderBrowser::folderSelected() {
    if (fillSuppressed_ || loader_ == nullptr) return;
    library_.dropFilesFill();
    library_.files().clear();
    const std::string folder = selectedFolder();
    if (folder.empty())
        loader_->drop();  // the desktop lists no files: a folder's late answer must not show
    else
        loader_->request(folder);
}

std::string FolderBrowser::selectedFolder() const {
    return tree_ != nullptr ? model_->pathOf(tree_->currentIndex()) : std::string();
}

void FolderBrowser::fillSlice() {
    // A slice finds or adds some thousands of records: a few milliseconds.
    constexpr size_t kRowsPerSlice = 4096;
    if (!library_.stepFilesFill(kRowsPerSlice)) fillTimer_.start();
}

bool FolderBrowser::filling() const {
    return (loader_ != nullptr && loader_->pending()) || model_->reading() ||
           library_.fillingFiles();
}

void FolderBrowser::refillFiles() { folderSelected(); }

void FolderBrowser::goHomeFolder() {
    const std::string stored =
        initialFolderPath(settings().initialFolder, settings().homeFolder, std::string());
    if (!stored.empty()) {
        openFolder({stored});  // one that is gone opens the desktop
        return;
    }
    // Without one: the user's music folder, else their home folder.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    openFolder({music.toStdString(), QDir::homePath().toStdString()});
}

void FolderBrowser::goDesktop() { openFolder({}); }

void FolderBrowser::setHomeFolderToSelection() {
    if (tree_ == nullptr) return;
    const QModelIndex selected = tree_->currentIndex();
    const std::string folder = model_->pathOf(selected);
    if (!selected.isValid() || selected == model_->top() || folder.empty()) return;
    settings().initialFolder = storedInitialFolder(folder);
    goHomeFolder();
}

void FolderBrowser::stop() {
    loader_.reset();
    fillTimer_.stop();
    library_.dropFilesFill();
    library_.files().clear();
    model_->showFolder({});
}

}  // namespace spinlorex
