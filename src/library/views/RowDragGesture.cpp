#include "library/views/RowDragGesture.h"

#include <QtGui/QMouseEvent>
#include <QtWidgets/QAbstractItemView>
#include <QtWidgets/QApplication>

#include <algorithm>

namespace spinlorex {

void RowDragGesture::press(const QMouseEvent& event, bool onRow) {
    pressedAt_ = event.position().toPoint();
    armed_ = event.button() == Qt::LeftButton && onRow;
}

bool RowDragGesture::startsDrag(const QMouseEvent& event) {
    if (!armed_ || !(event.buttons() & Qt::LeftButton)) return false;
    if ((event.position().toPoint() - pressedAt_).manhattanLength() <
        QApplication::startDragDistance())
        return false;
    armed_ = false;
    return true;
}

std::vector<int> selectedRowsOf(const QAbstractItemView& view) {
    std::vector<int> rows;
    if (view.selectionModel() == nullptr) return rows;
    for (const QModelIndex& index : view.selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::ranges::sort(rows);
    return rows;
}

}  // namespace spinlorex
