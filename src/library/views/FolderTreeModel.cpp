#include "library/views/FolderTreeModel.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/drives/Drives.h"

namespace spinlorex {

namespace {

QString displayName(const std::string& path) {
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    return name.isEmpty() ? QString::fromStdString(path) : name;
}

// Whether rows have sub-folders comes in batches: each is one turn of the main thread's
// loop, small enough to keep it answering, and sent at least every kBatchTime, so that a
// row stuck on a hung disk holds back little more than the rows after it.
constexpr size_t kBatchRows = 500;
constexpr std::chrono::milliseconds kBatchTime{20};

}  // namespace

bool FolderTreeModel::isFolderOnDisk(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

FolderTreeModel::FolderTreeModel(QObject* parent) : FolderTreeModel(parent, Disk{}) {}

FolderTreeModel::FolderTreeModel(QObject* parent, Disk disk)
    : QAbstractItemModel(parent),
      disk_(std::move(disk)),
      workers_([this](uint64_t read, Answer answer) { answered(read, std::move(answer)); }) {}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::setTop(std::unique_ptr<Node> top) {
    beginResetModel();
    reads_.clear();  // whatever is still under way answers for items that are gone
    workers_.dropWaiting();
    topGone_ = {};
    std::vector<std::unique_ptr<Node>> old;
    if (top_) old.push_back(std::move(top_));
    top_ = std::move(top);
    endResetModel();
    discard(std::move(old));
}

void FolderTreeModel::discard(std::vector<std::unique_ptr<Node>> nodes) {
    if (nodes.empty()) return;
    // Tens of thousands of rows take a pause of their own to free: a worker frees them.
    auto doomed = std::make_shared<std::vector<std::unique_ptr<Node>>>(std::move(nodes));
    workers_.start([doomed](const auto&) { doomed->clear(); });
}

void FolderTreeModel::showFolder(const std::string& folder, std::function<void()> gone) {
    if (folder.empty()) {
        setTop(nullptr);
        return;
    }
    auto top = std::make_unique<Node>();
    std::string path = std::filesystem::path(folder).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    top->name = displayName(path);
    top->path = std::move(path);
    top->fetched = true;  // its read also tells whether it is a folder at all
    setTop(std::move(top));
    topGone_ = std::move(gone);
    startRead(*top_, true);
}

void FolderTreeModel::showDesktop() {
    auto top = std::make_unique<Node>();
    top->name = QStringLiteral("Desktop");
    top->kind = Kind::Desktop;
    top->fetched = top->listed = true;
    // The desktop: the home folder, then every drive (from the mount table, not the disks).
    auto add = [&](const std::string& path, Kind kind) {
        auto child = std::make_unique<Node>();
        child->name = displayName(path);
        child->path = path;
        child->kind = kind;
        child->parent = top.get();
        child->row = static_cast<int>(top->children.size());
        top->children.push_back(std::move(child));
    };
    add(QDir::homePath().toStdString(), Kind::Folder);
    for (const drives::Drive& drive : drives::listDrives()) add(drive.root, Kind::Drive);
    setTop(std::move(top));
}

QModelIndex FolderTreeModel::top() const { return indexOf(top_.get()); }

std::string FolderTreeModel::pathOf(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node != nullptr ? node->path : std::string();
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::indexOf(const Node* node) const {
    return node != nullptr ? createIndex(node->row, 0, node) : QModelIndex();
}

void FolderTreeModel::startRead(Node& node, bool checkFolder) {
    node.read = workers_.start([disk = disk_, path = node.path, checkFolder](const auto& reply) {
        Answer listing;
        if (checkFolder && !disk.isFolder(path)) {
            listing.folder = false;
            listing.last = true;
            reply(std::move(listing));
            return;
        }
        std::vector<SubFolder> folders = disk.subFolders(path);
        std::vector<std::string> paths;
        paths.reserve(folders.size());
        listing.rows.reserve(folders.size());
        for (SubFolder& folder : folders) {
            auto row = std::make_unique<Node>();
            row->name = QString::fromStdString(folder.name);
            row->path = std::move(folder.path);
            row->row = static_cast<int>(listing.rows.size());
            paths.push_back(row->path);
            listing.rows.push_back(std::move(row));
        }
        listing.last = paths.empty();
        reply(std::move(listing));

        Answer batch;
        auto sent = std::chrono::steady_clock::now();
        for (size_t row = 0; row < paths.size(); ++row) {
            batch.hasFolders.push_back(disk.hasSubFolders(paths[row]) ? 1 : 0);
            const auto now = std::chrono::steady_clock::now();
            batch.last = row + 1 == paths.size();
            if (batch.last || batch.hasFolders.size() >= kBatchRows || now - sent >= kBatchTime) {
                reply(std::move(batch));
                batch = Answer{};
                batch.firstRow = row + 1;
                sent = now;
            }
        }
    });
    reads_[node.read] = &node;
}

void FolderTreeModel::answered(uint64_t read, Answer answer) {
    const auto it = reads_.find(read);
    if (it == reads_.end()) return;  // collapsed, or another top shown, meanwhile
    Node& node = *it->second;
    if (answer.last) {
        reads_.erase(it);
        node.read = 0;
    }
    if (!answer.folder) {
        const std::function<void()> gone = std::move(topGone_);
        setTop(nullptr);
        if (gone) gone();
    } else if (!node.listed) {
        addRows(node, std::move(answer.rows));
    } else {
        learnHasFolders(node, answer.firstRow, answer.hasFolders);
    }
}

void FolderTreeModel::addRows(Node& node, std::vector<std::unique_ptr<Node>> rows) {
    node.listed = true;
    const QModelIndex parent = indexOf(&node);
    if (rows.empty()) {
        emit dataChanged(parent, parent);  // it loses its expander
        return;
    }
    beginInsertRows(parent, 0, static_cast<int>(rows.size()) - 1);
    for (auto& row : rows) row->parent = &node;
    node.children = std::move(rows);
    endInsertRows();
}

void FolderTreeModel::learnHasFolders(Node& node, size_t firstRow,
                                      const std::vector<char>& hasFolders) {
    const size_t end = std::min(firstRow + hasFolders.size(), node.children.size());
    if (firstRow >= end) return;
    for (size_t row = firstRow; row < end; ++row) {
        Node& child = *node.children[row];
        if (!child.fetched) child.hasFolders = hasFolders[row - firstRow];
    }
    // A view asks again whether these rows have children: the empty ones lose the expander
    // they showed until now.
    emit dataChanged(indexOf(node.children[firstRow].get()), indexOf(node.children[end - 1].get()));
}

void FolderTreeModel::dropReads(Node& node) {
    if (node.read != 0) reads_.erase(node.read);
    node.read = 0;
    for (auto& child : node.children) dropReads(*child);
}

void FolderTreeModel::forget(const QModelIndex& index) {
    Node* node = nodeOf(index);
    if (node == nullptr || node->kind == Kind::Desktop || !node->fetched) return;
    dropReads(*node);
    std::vector<std::unique_ptr<Node>> children;
    if (!node->children.empty()) {
        beginRemoveRows(index, 0, static_cast<int>(node->children.size()) - 1);
        children = std::move(node->children);
        node->children.clear();
        endRemoveRows();
    }
    discard(std::move(children));
    node->fetched = node->listed = false;
    node->hasFolders = -1;  // the disk may have changed: the next expansion tells
}

bool FolderTreeModel::loading(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node != nullptr && node->fetched && !node->listed;
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 ? top() : QModelIndex();
    const Node* node = nodeOf(parent);
    if (node == nullptr || row >= static_cast<int>(node->children.size())) return {};
    return indexOf(node->children[static_cast<size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const Node* node = nodeOf(child);
    return node != nullptr ? indexOf(node->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return top_ ? 1 : 0;
    const Node* node = nodeOf(parent);
    return node != nullptr ? static_cast<int>(node->children.size()) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = nodeOf(index);
    if (node == nullptr) return {};
    if (role == Qt::DisplayRole) return node->name;
    if (role == Qt::ToolTipRole) return QString::fromStdString(node->path);
    if (role == Qt::DecorationRole) {
        switch (node->kind) {
            case Kind::Desktop:
                return icons_.icon(QAbstractFileIconProvider::Desktop);
            case Kind::Drive:
                return icons_.icon(QAbstractFileIconProvider::Drive);
            default:
                return icons_.icon(QAbstractFileIconProvider::Folder);
        }
    }
    return {};
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return top_ != nullptr;
    const Node* node = nodeOf(parent);
    if (node == nullptr) return false;
    if (node->fetched) return !node->listed || !node->children.empty();
    // Not known yet (a drive is never asked: it may be a slow disk): it can be expanded.
    return node->hasFolders != 0;
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    return node != nullptr && !node->fetched;
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    Node* node = nodeOf(parent);
    if (node == nullptr || node->fetched) return;
    node->fetched = true;
    startRead(*node, false);
}

}  // namespace spinlorex
