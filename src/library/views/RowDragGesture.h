#pragma once

#include <QtCore/QPoint>

#include <vector>

class QAbstractItemView;
class QMouseEvent;

namespace spinlorex {

// The start of the library's own drag in a list: a left press on a row, then a move of at
// least the drag distance with the button held. The list then hands its selected rows to
// the library (the desk follows the mouse until the release) instead of widening the
// selection.
//
// Main thread only.
class RowDragGesture {
public:
    void press(const QMouseEvent& event, bool onRow);
    // True once per press, at the move that starts the drag.
    bool startsDrag(const QMouseEvent& event);
    void release() { armed_ = false; }

private:
    QPoint pressedAt_;
    bool armed_ = false;
};

// The selected rows of a view, ascending.
std::vector<int> selectedRowsOf(const QAbstractItemView& view);

}  // namespace spinlorex
