#pragma once

#include <QtCore/QAbstractItemModel>
#include <QtWidgets/QFileIconProvider>

#include <memory>
#include <string>
#include <vector>

namespace spinlorex {

// The files browser's folder tree: one top item, either a folder (shown by its name) or
// the desktop (the home folder and every mounted drive). A folder's sub-folders are read
// from the disk when it is expanded and forgotten when it is collapsed, so every
// expansion sees the disk as it is now; whether a folder has sub-folders is asked only
// for the items a view shows.
//
// Main thread only.
class FolderTreeModel : public QAbstractItemModel {
public:
    explicit FolderTreeModel(QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The tree holds one top item for `folder`; false (the tree then empty) when it is not
    // a folder.
    bool showFolder(const std::string& folder);
    // The tree holds the desktop.
    void showDesktop();
    // The top item.
    QModelIndex top() const;
    // The folder of an item; empty for the desktop.
    std::string pathOf(const QModelIndex& index) const;
    // Forgets the children of a collapsed item (read again on the next expansion).
    void forget(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    enum class Kind { Desktop, Drive, Folder };
    struct Node {
        QString name;
        std::string path;
        Kind kind = Kind::Folder;
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;
        bool fetched = false;
        mutable int hasFolders = -1;  // -1 not asked yet
    };
    Node* nodeOf(const QModelIndex& index) const;
    int rowOf(const Node* node) const;
    void setTop(std::unique_ptr<Node> top);

    std::unique_ptr<Node> top_;
    QFileIconProvider icons_;
};

}  // namespace spinlorex
