#include "library/views/TrackListModel.h"

#include <algorithm>
#include <string>

#include "platform/settings/Settings.h"
#include "resources/Resources.h"

namespace spinlorex {
namespace {

// In front of the key of a row that mixes with the selected deck's.
constexpr const char* kHarmonicMark = "\u25CF ";

}  // namespace

TrackListModel::TrackListModel(TrackList& list, bool showIcons, QObject* parent)
    : QAbstractTableModel(parent), list_(list), showIcons_(showIcons) {
    if (showIcons_) {
        const QPixmap strip(resources::kLibraryIcons);
        for (size_t i = 0; i < icons_.size(); ++i)
            icons_[i] = strip.copy(static_cast<int>(i) * 16, 0, 16, 16);
    }
    list_.setObserver(this);
}

TrackListModel::~TrackListModel() { list_.setObserver(nullptr); }

void TrackListModel::refreshRecord(const TrackRecord* record) { list_.recordChanged(record); }

int TrackListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.size();
}

int TrackListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTrackColumns;
}

QVariant TrackListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.size()) return {};
    const LibraryRow& row = list_.row(index.row());
    if (role == Qt::DisplayRole) {
        const auto notation =
            static_cast<KeyNotation>(std::clamp(get(settings().keyNotation), 0, 2));
        std::string text = rowText(row.entry, index.column(), notation);
        if (index.column() == kColumnKey && keyToMatch_ && !text.empty())
            if (const auto key = trackKeyOf(row.entry.record, row.entry.tags.get());
                key && keysCompatible(*keyToMatch_, *key))
                text.insert(0, kHarmonicMark);
        return QString::fromStdString(text);
    }
    if (role == Qt::TextAlignmentRole && index.column() >= kColumnYear)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::DecorationRole && showIcons_ && index.column() == 0) {
        const int icon = static_cast<int>(row.icon);
        if (icon >= 0 && icon < static_cast<int>(icons_.size()))
            return icons_[static_cast<size_t>(icon)];
    }
    if (role == Qt::ToolTipRole && index.column() == 0)
        return QString::fromStdString(row.entry.path);
    return {};
}

QVariant TrackListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[kTrackColumns] = {
        "Title", "Artist", "Bpm", "Comment", "Album", "Genre", "Year", "Key", "Length"};
    return section >= 0 && section < kTrackColumns ? QString(kHeaders[section]) : QVariant();
}

Qt::ItemFlags TrackListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TrackListModel::beforeInsert(int first, int count) {
    beginInsertRows({}, first, first + count - 1);
}
void TrackListModel::afterInsert() { endInsertRows(); }
void TrackListModel::beforeRemove(int first, int count) {
    beginRemoveRows({}, first, first + count - 1);
}
void TrackListModel::afterRemove() { endRemoveRows(); }
void TrackListModel::beforeReset() { beginResetModel(); }
void TrackListModel::afterReset() { endResetModel(); }
void TrackListModel::rowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, kTrackColumns - 1));
}

void TrackListModel::setKeyToMatch(std::optional<MusicalKey> key) {
    if (key == keyToMatch_) return;
    keyToMatch_ = key;
    if (list_.size() > 0)
        emit dataChanged(index(0, kColumnKey), index(list_.size() - 1, kColumnKey));
}

void TrackListModel::refreshAll() {
    if (list_.size() > 0) emit dataChanged(index(0, 0), index(list_.size() - 1, kTrackColumns - 1));
}

}  // namespace spinlorex
