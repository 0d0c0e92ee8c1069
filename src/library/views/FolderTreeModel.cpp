#include "library/views/FolderTreeModel.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#include <filesystem>

#include "library/FolderListing.h"
#include "platform/drives/Drives.h"

namespace spinlorex {

namespace {
QString displayName(const std::string& path) {
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    return name.isEmpty() ? QString::fromStdString(path) : name;
}
}  // namespace

FolderTreeModel::FolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

FolderTreeModel::~FolderTreeModel() = default;

void FolderTreeModel::setTop(std::unique_ptr<Node> top) {
    beginResetModel();
    top_ = std::move(top);
    endResetModel();
}

bool FolderTreeModel::showFolder(const std::string& folder) {
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        setTop(nullptr);
        return false;
    }
    auto top = std::make_unique<Node>();
    std::string path = std::filesystem::path(folder).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    top->name = displayName(path);
    top->path = std::move(path);
    setTop(std::move(top));
    return true;
}

void FolderTreeModel::showDesktop() {
    auto top = std::make_unique<Node>();
    top->name = QStringLiteral("Desktop");
    top->kind = Kind::Desktop;
    top->fetched = true;
    // The desktop: the home folder, then every drive.
    auto add = [&](const std::string& path, Kind kind) {
        auto child = std::make_unique<Node>();
        child->name = displayName(path);
        child->path = path;
        child->kind = kind;
        child->parent = top.get();
        top->children.push_back(std::move(child));
    };
    add(QDir::homePath().toStdString(), Kind::Folder);
    for (const drives::Drive& drive : drives::listDrives()) add(drive.root, Kind::Drive);
    setTop(std::move(top));
}

QModelIndex FolderTreeModel::top() const {
    return top_ ? createIndex(0, 0, top_.get()) : QModelIndex();
}

std::string FolderTreeModel::pathOf(const QModelIndex& index) const {
    const Node* node = nodeOf(index);
    return node != nullptr ? node->path : std::string();
}

FolderTreeModel::Node* FolderTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

int FolderTreeModel::rowOf(const Node* node) const {
    if (node->parent == nullptr) return 0;
    const auto& siblings = node->parent->children;
    for (size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == node) return static_cast<int>(i);
    return 0;
}

void FolderTreeModel::forget(const QModelIndex& index) {
    Node* node = nodeOf(index);
    if (node == nullptr || node->kind == Kind::Desktop || !node->fetched) return;
    if (!node->children.empty()) {
        beginRemoveRows(index, 0, static_cast<int>(node->children.size()) - 1);
        node->children.clear();
        endRemoveRows();
    }
    node->fetched = false;
    node->hasFolders = -1;
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row == 0 && top_ ? top() : QModelIndex();
    const Node* node = nodeOf(parent);
    if (node == nullptr || row >= static_cast<int>(node->children.size())) return {};
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const Node* node = nodeOf(child);
    if (node == nullptr || node->parent == nullptr) return {};
    return createIndex(rowOf(node->parent), 0, node->parent);
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
    if (node->fetched) return !node->children.empty();
    // A drive is not read before it is opened: it may be a slow disk.
    if (node->kind == Kind::Drive) return true;
    if (node->hasFolders < 0) node->hasFolders = hasSubFolders(node->path) ? 1 : 0;
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
    const std::vector<SubFolder> folders = listSubFolders(node->path);
    if (folders.empty()) return;
    beginInsertRows(parent, 0, static_cast<int>(folders.size()) - 1);
    for (const SubFolder& folder : folders) {
        auto child = std::make_unique<Node>();
        child->name = QString::fromStdString(folder.name);
        child->path = folder.path;
        child->parent = node;
        node->children.push_back(std::move(child));
    }
    endInsertRows();
}

}  // namespace spinlorex
