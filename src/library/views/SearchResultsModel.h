#pragma once

#include <QtCore/QAbstractTableModel>

#include <string_view>

#include "library/TrackRecord.h"

class QTableView;

namespace spinlorex {

class SearchIndex;
class TrackDatabase;

// The search results as a table ("Title", "Artist", "Disc", "Path") for a view: each row
// is a line of the index, its texts made when the view asks for them, so that 200,000
// results cost no more than the index itself. Every change of the results goes through
// here, so the view always matches the index.
//
// Main thread only.
class SearchResultsModel : public QAbstractTableModel {
public:
    explicit SearchResultsModel(SearchIndex& index, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The search box's text: new terms, new results.
    void runSearch(const QString& text);
    // After a scan or a deletion: the file again, the last terms' results.
    void reload();
    // The same with the file read elsewhere (on a worker thread) into `loaded`.
    void adopt(SearchIndex&& loaded);
    // A header click: the index's sort key for that column; the order it sorted in.
    Qt::SortOrder sortByColumn(int column);

    // The entry a dragged row gives (see SearchIndex::resultEntry).
    TrackEntry entry(int row, std::string_view cdDrive, TrackDatabase& database) const;

    SearchIndex& searchIndex() { return index_; }

private:
    SearchIndex& index_;
};

// Header clicks on `view` sort the model by its keys, with the header's indicator showing
// the order until the results are made anew.
void sortOnHeaderClicks(QTableView& view, SearchResultsModel& model);

}  // namespace spinlorex
