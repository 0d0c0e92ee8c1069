#include "library/views/SearchResultsView.h"

#include <QtGui/QMouseEvent>
#include <QtWidgets/QHeaderView>

#include "library/views/SearchResultsModel.h"

namespace spinlorex {

SearchResultsView::SearchResultsView(SearchResultsModel& model, std::function<void()> beginDrag,
                                     QWidget* parent)
    : QTableView(parent), beginDrag_(std::move(beginDrag)) {
    setModel(&model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setCornerButtonEnabled(false);
    // Rows of one fixed height: the view never measures the rows it does not show.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setSectionsMovable(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sortOnHeaderClicks(*this, model);
}

void SearchResultsView::mousePressEvent(QMouseEvent* event) {
    drag_.press(*event, indexAt(event->position().toPoint()).isValid());
    QTableView::mousePressEvent(event);
}

void SearchResultsView::mouseMoveEvent(QMouseEvent* event) {
    // As in the library's other lists: a press on a row and a move drag the selected rows;
    // the selection is not dragged wider.
    if (!(event->buttons() & Qt::LeftButton)) {
        QTableView::mouseMoveEvent(event);
        return;
    }
    if (!beginDrag_ || !drag_.startsDrag(*event)) return;
    setState(QAbstractItemView::NoState);
    beginDrag_();
}

void SearchResultsView::mouseReleaseEvent(QMouseEvent* event) {
    drag_.release();
    QTableView::mouseReleaseEvent(event);
}

}  // namespace spinlorex
