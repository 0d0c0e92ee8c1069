#pragma once

#include <QtCore/QAbstractTableModel>
#include <QtGui/QPixmap>

#include <array>
#include <optional>

#include "library/TrackList.h"

namespace spinlorex {

// One library list (files, playlist, history) as a Qt model: the four columns ("Title",
// "Artist", "Bpm", "Comment") and the added ones ("Album", "Genre", "Year", "Key",
// "Length"; the view shows those chosen), the row icons where the list shows them, and
// every text made only when a view asks for it, so a folder of ten thousand files costs
// nothing until its rows are seen. It follows the TrackList through its observer. A row
// whose key mixes with the key to match (the selected deck's) is marked in its key column.
//
// Main thread only.
class TrackListModel : public QAbstractTableModel, private TrackListObserver {
public:
    TrackListModel(TrackList& list, bool showIcons, QObject* parent = nullptr);
    ~TrackListModel() override;

    TrackList& list() { return list_; }

    // Every row of the record shows its texts and icon anew (a tempo measured meanwhile).
    void refreshRecord(const TrackRecord* record);
    // The key rows are marked against (none: no marks); the key column is redrawn when it
    // changed.
    void setKeyToMatch(std::optional<MusicalKey> key);
    // Every row shows its texts anew (the naming or key notation setting changed).
    void refreshAll();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void beforeInsert(int first, int count) override;
    void afterInsert() override;
    void beforeRemove(int first, int count) override;
    void afterRemove() override;
    void beforeReset() override;
    void afterReset() override;
    void rowsChanged(int first, int last) override;

    TrackList& list_;
    bool showIcons_;
    std::array<QPixmap, 4> icons_;
    std::optional<MusicalKey> keyToMatch_;
};

}  // namespace spinlorex
