#pragma once

#include <QtWidgets/QTreeView>

#include <functional>
#include <string>
#include <vector>

#include "library/views/RowDragGesture.h"

namespace spinlorex {

class TrackListModel;

// A library list in report form: whole rows selected, icons at the left, the columns of
// its model. A double-click (or the browser's Enter) acts on a row and column; pressing
// on a row and moving the mouse starts the library's own drag of the selected rows
// instead of extending the selection; where the list takes files from a file manager,
// dropped files and folders are handed on with the row they were dropped on.
//
// Main thread only.
class TrackListView : public QTreeView {
public:
    struct Actions {
        std::function<void(int row, int column)> activate;  // double-click
        std::function<void()> beginDrag;                    // the selected rows
        // Paths dropped from a file manager before `row` (-1: below the last row); null
        // when the list takes no such drops.
        std::function<void(int row, const std::vector<std::string>& paths)> dropPaths;
        // A press in a row's "Length" cell, at `fraction` (0..1) of the cell's width.
        std::function<void(int row, double fraction)> pressLength;
    };

    TrackListView(TrackListModel& model, Actions actions, QWidget* parent = nullptr);

    // The selected rows, ascending.
    std::vector<int> selectedRows() const;
    // The row at a point of the view's viewport, -1 for none.
    int rowAt(const QPoint& viewportPoint) const;
    // Enter: what a double-click on the current row (in its current column) does; false
    // when there is no current row.
    bool activateCurrent();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    Actions actions_;
    RowDragGesture drag_;
};

}  // namespace spinlorex
