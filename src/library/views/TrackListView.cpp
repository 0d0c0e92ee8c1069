#include "library/views/TrackListView.h"

#include <QtCore/QMimeData>
#include <QtCore/QUrl>
#include <QtGui/QDragEnterEvent>
#include <QtGui/QMouseEvent>
#include <QtWidgets/QHeaderView>

#include "library/TrackList.h"
#include "library/views/TrackListModel.h"

namespace spinlorex {

namespace {
std::vector<std::string> localPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}
}  // namespace

TrackListView::TrackListView(TrackListModel& model, Actions actions, QWidget* parent)
    : QTreeView(parent), actions_(std::move(actions)) {
    setModel(&model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // ten thousand rows stay instant
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);
    setDragEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(false);
    // Drops reach a scroll area through its viewport.
    viewport()->setAcceptDrops(static_cast<bool>(actions_.dropPaths));
}

std::vector<int> TrackListView::selectedRows() const { return selectedRowsOf(*this); }

int TrackListView::rowAt(const QPoint& viewportPoint) const {
    const QModelIndex index = indexAt(viewportPoint);
    return index.isValid() ? index.row() : -1;
}

bool TrackListView::activateCurrent() {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !actions_.activate) return false;
    actions_.activate(current.row(), current.column());
    return true;
}

void TrackListView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    if (index.isValid() && index.column() == kColumnLength && actions_.pressLength &&
        event->button() == Qt::LeftButton) {
        const QRect cell = visualRect(index);
        actions_.pressLength(index.row(), cell.width() > 1
                                              ? static_cast<double>(at.x() - cell.left()) /
                                                    static_cast<double>(cell.width() - 1)
                                              : 0.0);
    }
    drag_.press(*event, index.isValid());
    QTreeView::mousePressEvent(event);
}

void TrackListView::mouseMoveEvent(QMouseEvent* event) {
    // A press on a row and a move: the rows go along with the mouse (the desk takes over
    // the mouse until the release); the selection is not dragged wider.
    if (!(event->buttons() & Qt::LeftButton)) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    if (!actions_.beginDrag || !drag_.startsDrag(*event)) return;
    setState(QAbstractItemView::NoState);
    actions_.beginDrag();
}

void TrackListView::mouseReleaseEvent(QMouseEvent* event) {
    drag_.release();
    QTreeView::mouseReleaseEvent(event);
}

void TrackListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid() || !actions_.activate) {
        QTreeView::mouseDoubleClickEvent(event);
        return;
    }
    setCurrentIndex(index);
    actions_.activate(index.row(), index.column());
}

void TrackListView::dragEnterEvent(QDragEnterEvent* event) {
    if (actions_.dropPaths && !localPaths(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TrackListView::dragMoveEvent(QDragMoveEvent* event) {
    if (actions_.dropPaths && !localPaths(event->mimeData()).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TrackListView::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = localPaths(event->mimeData());
    if (!actions_.dropPaths || paths.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    actions_.dropPaths(rowAt(event->position().toPoint()), paths);
}

}  // namespace spinlorex
