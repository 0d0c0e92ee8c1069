#include "library/views/AddedColumns.h"

#include <QtWidgets/QHeaderView>
#include <QtWidgets/QMenu>

#include <algorithm>

#include "library/LibraryLayout.h"
#include "library/TrackList.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

constexpr int kNewColumnWidth = 70;

AddedColumnWidths chosen() { return parseAddedColumns(settings().addedColumns); }

}  // namespace

void AddedColumns::follow(QHeaderView& header) {
    headers_.push_back(&header);
    header.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        &header, &QWidget::customContextMenuRequested, &header, [this, &header](const QPoint& at) {
            QMenu menu(&header);
            const AddedColumnWidths widths = chosen();
            for (int i = 0; i < kAddedColumnCount; ++i) {
                const int column = kAddedColumnFirst + i;
                QAction* action =
                    menu.addAction(header.model()->headerData(column, Qt::Horizontal).toString());
                action->setCheckable(true);
                action->setChecked(widths[static_cast<size_t>(i)] > 0);
                QObject::connect(action, &QAction::triggered, &header,
                                 [this, column] { toggle(column); });
            }
            menu.exec(header.mapToGlobal(at));
        });
    QObject::connect(&header, &QHeaderView::sectionResized, &header,
                     [this](int column, int, int width) { widthChanged(column, width); });
    QObject::connect(&header, &QObject::destroyed, &header, [this, h = &header] {
        headers_.erase(std::remove(headers_.begin(), headers_.end(), h), headers_.end());
    });
    apply();
}

void AddedColumns::apply() {
    const AddedColumnWidths widths = chosen();
    applying_ = true;
    for (QHeaderView* header : headers_) {
        for (int i = 0; i < kAddedColumnCount; ++i) {
            const int column = kAddedColumnFirst + i;
            if (column >= header->count()) break;
            const int32_t width = widths[static_cast<size_t>(i)];
            header->setSectionHidden(column, width <= 0);
            if (width > 0) header->resizeSection(column, width);
        }
    }
    applying_ = false;
}

void AddedColumns::toggle(int column) {
    AddedColumnWidths widths = chosen();
    int32_t& width = widths[static_cast<size_t>(column - kAddedColumnFirst)];
    width = width > 0 ? 0 : kNewColumnWidth;
    settings().addedColumns = addedColumnsText(widths);
    apply();
}

void AddedColumns::widthChanged(int column, int width) {
    const int at = column - kAddedColumnFirst;
    if (applying_ || at < 0 || at >= kAddedColumnCount || width <= 0) return;
    AddedColumnWidths widths = chosen();
    if (widths[static_cast<size_t>(at)] <= 0) return;  // hidden: Qt reports 0, kept as is
    widths[static_cast<size_t>(at)] = width;
    settings().addedColumns = addedColumnsText(widths);
}

}  // namespace spinlorex
