#include "library/views/FolderBrowser.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
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
      loader_(std::make_unique<FolderLoader>(
          [this](std::vector<FolderItem> items) { library_.fillFiles(items); })) {
    tree.setModel(model_.get());
    QObject::connect(&tree, &QTreeView::collapsed, &tree,
                     [this](const QModelIndex& index) { model_->forget(index); });
    QObject::connect(tree.selectionModel(), &QItemSelectionModel::currentChanged, &tree,
                     [this] { folderSelected(); });
}

FolderBrowser::~FolderBrowser() = default;

std::string FolderBrowser::musicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return music.toStdString();
    return QDir::homePath().toStdString();
}

void FolderBrowser::openFolder(const std::string& folder) {
    if (tree_ == nullptr) return;
    fillSuppressed_ = true;
    // A folder that is not there (any more) opens the desktop instead.
    if (folder.empty() || !model_->showFolder(folder)) model_->showDesktop();
    fillSuppressed_ = false;
    const QModelIndex top = model_->top();
    // Read now: a hidden tree would only read it when it is first laid out.
    if (model_->canFetchMore(top)) model_->fetchMore(top);
    tree_->expand(top);
    tree_->setCurrentIndex(top);  // the selection fills the files list
}

void FolderBrowser::folderSelected() {
    if (fillSuppressed_ || loader_ == nullptr) return;
    library_.files().clear();
    const std::string folder = selectedFolder();
    if (!folder.empty()) loader_->request(folder);
}

std::string FolderBrowser::selectedFolder() const {
    return tree_ != nullptr ? model_->pathOf(tree_->currentIndex()) : std::string();
}

bool FolderBrowser::filling() const { return loader_ != nullptr && loader_->pending(); }

void FolderBrowser::refillFiles() { folderSelected(); }

void FolderBrowser::goHomeFolder() {
    openFolder(initialFolderPath(settings().initialFolder, settings().homeFolder, musicFolder()));
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
    library_.files().clear();
    model_->showFolder({});
}

}  // namespace spinlorex
