#include "library/views/SearchResultsModel.h"

#include <QtGui/QGuiApplication>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QTableView>

#include <algorithm>

#include "library/LibraryLayout.h"
#include "library/SearchIndex.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

// The index's four, then the lists' added ones (the view shows those chosen).
constexpr int kResultColumns = SearchIndex::kColumns + kAddedColumnCount;

// The wait cursor while the results are rebuilt or sorted.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

SearchResultsModel::SearchResultsModel(SearchIndex& index, QObject* parent)
    : QAbstractTableModel(parent), index_(index) {}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(index_.resultCount());
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultColumns;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() ||
        static_cast<size_t>(index.row()) >= index_.resultCount())
        return {};
    // Names need not be UTF-8: what cannot be decoded shows as a replacement mark, while
    // the line itself, which drags use, keeps its bytes.
    const auto notation = static_cast<KeyNotation>(std::clamp(get(settings().keyNotation), 0, 2));
    const std::string text =
        index_.resultText(static_cast<size_t>(index.row()), index.column(), notation);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[kResultColumns] = {
        "Title", "Artist", "Disc", "Path", "Album", "Genre", "Year", "Key", "Length"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kResultColumns)
        return {};
    return QString(kHeaders[section]);
}

void SearchResultsModel::runSearch(const QString& text) {
    const WaitCursor wait;
    beginResetModel();
    const QByteArray bytes = text.toUtf8();
    index_.runSearch(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    endResetModel();
}

void SearchResultsModel::reload() {
    const WaitCursor wait;
    beginResetModel();  // the rows point into the text that goes
    index_.load();
    index_.refreshResults();
    endResetModel();
}

void SearchResultsModel::adopt(SearchIndex&& loaded) {
    const WaitCursor wait;
    beginResetModel();
    index_.adoptText(std::move(loaded));
    endResetModel();
}

Qt::SortOrder SearchResultsModel::sortByColumn(int column) {
    const WaitCursor wait;
    beginResetModel();
    index_.sortResults(column);
    endResetModel();
    return index_.resultsDescending() ? Qt::DescendingOrder : Qt::AscendingOrder;
}

TrackEntry SearchResultsModel::entry(int row, std::string_view cdDrive,
                                     TrackDatabase& database) const {
    return index_.resultEntry(static_cast<size_t>(row), cdDrive, database);
}

void sortOnHeaderClicks(QTableView& view, SearchResultsModel& model) {
    QHeaderView* header = view.horizontalHeader();
    header->setSectionsClickable(true);
    // A new search or a reload lists the newest lines first again: no column's order shows.
    QObject::connect(&model, &QAbstractItemModel::modelReset, header,
                     [header] { header->setSortIndicatorShown(false); });
    QObject::connect(header, &QHeaderView::sectionClicked, &model, [header, &model](int column) {
        const Qt::SortOrder order = model.sortByColumn(column);
        header->setSortIndicatorShown(true);
        header->setSortIndicator(column, order);
    });
}

}  // namespace spinlorex
