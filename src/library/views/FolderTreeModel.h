#pragma once

#include <QtCore/QAbstractItemModel>
#include <QtWidgets/QFileIconProvider>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "library/FolderListing.h"
#include "library/views/FolderReads.h"

namespace spinlorex {

// The files browser's folder tree: one top item, either a folder (shown by its name) or
// the desktop (the home folder and every mounted drive). A folder's sub-folders are read
// when it is expanded and forgotten when it is collapsed, so every expansion sees the
// disk as it is now.
//
// The disk is read on worker threads only (FolderReads): an expanded folder shows its
// rows when their read answers, and then learns of each row whether it has sub-folders.
// Until an item is known to be empty it shows that it can be expanded. A collapse drops
// the answers still due for what it hides; showing another top item drops them all.
//
// Main thread only.
class FolderTreeModel : public QAbstractItemModel {
public:
    // Whether `path` is a folder (following links); false when it cannot be told. Any thread.
    static bool isFolderOnDisk(const std::string& path);
    // How the tree reads the disk (by default the file system itself); each function runs
    // on a read's thread and may outlive the model, so it must own what it uses.
    struct Disk {
        std::function<bool(const std::string& path)> isFolder = isFolderOnDisk;
        std::function<std::vector<SubFolder>(const std::string& folder)> subFolders =
            listSubFolders;
        std::function<bool(const std::string& folder)> hasSubFolders = spinlorex::hasSubFolders;
    };

    explicit FolderTreeModel(QObject* parent = nullptr);
    FolderTreeModel(QObject* parent, Disk disk);
    ~FolderTreeModel() override;

    // The tree holds one top item for `folder` at once, read in the background; when the
    // read finds it is not a folder, the tree empties and `gone` runs. An empty path
    // empties the tree.
    void showFolder(const std::string& folder, std::function<void()> gone = {});
    // The tree holds the desktop.
    void showDesktop();
    // The top item.
    QModelIndex top() const;
    // The folder of an item; empty for the desktop.
    std::string pathOf(const QModelIndex& index) const;
    // Forgets the children of a collapsed item (read again on the next expansion).
    void forget(const QModelIndex& index);
    // The item was expanded and its rows have not come yet.
    bool loading(const QModelIndex& index) const;
    // Some read has not answered everything yet.
    bool reading() const { return !reads_.empty(); }

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
        int row = 0;  // among the parent's children
        std::vector<std::unique_ptr<Node>> children;
        bool fetched = false;  // its rows were asked for
        bool listed = false;   // and have come
        int hasFolders = -1;   // -1 not known yet
        uint64_t read = 0;     // the read under way for its rows, 0 for none
    };
    // What a read hands back: first the folder's sub-folders, then, in batches, whether
    // each of them has sub-folders of its own. The rows' nodes are made on the read's
    // thread: for a folder of tens of thousands that is a pause the main thread is spared.
    struct Answer {
        bool folder = true;                       // false: the top item is not a folder
        std::vector<std::unique_ptr<Node>> rows;  // the first answer
        size_t firstRow = 0;                      // later answers: rows firstRow...
        std::vector<char> hasFolders;             // ... and whether each has sub-folders
        bool last = false;                        // nothing more comes from this read
    };

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    void setTop(std::unique_ptr<Node> top);
    void startRead(Node& node, bool checkFolder);
    void answered(uint64_t read, Answer answer);
    void addRows(Node& node, std::vector<std::unique_ptr<Node>> rows);
    void learnHasFolders(Node& node, size_t firstRow, const std::vector<char>& hasFolders);
    void dropReads(Node& node);
    void discard(std::vector<std::unique_ptr<Node>> nodes);

    Disk disk_;
    std::unique_ptr<Node> top_;
    std::function<void()> topGone_;
    std::unordered_map<uint64_t, Node*> reads_;  // reads under way, by the node they list
    QFileIconProvider icons_;
    FolderReads<Answer> workers_;
};

}  // namespace spinlorex
