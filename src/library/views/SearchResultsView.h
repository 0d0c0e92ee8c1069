#pragma once

#include <QtWidgets/QTableView>

#include <functional>
#include <vector>

#include "library/views/RowDragGesture.h"

namespace spinlorex {

class SearchResultsModel;

// The search results in report form, like the library's other lists: whole rows selected,
// one line of text per row (200,000 rows stay instant), the columns "Title", "Artist",
// "Disc" and "Path", sorted by a click on their headers. A result is not opened by a
// double-click: pressing on a row and moving the mouse hands the selected rows to the
// library's own drag, onto a deck or into the playlist.
//
// Main thread only.
class SearchResultsView : public QTableView {
public:
    SearchResultsView(SearchResultsModel& model, std::function<void()> beginDrag,
                      QWidget* parent = nullptr);

    // The selected rows, ascending.
    std::vector<int> selectedRows() const { return selectedRowsOf(*this); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> beginDrag_;
    RowDragGesture drag_;
};

}  // namespace spinlorex
