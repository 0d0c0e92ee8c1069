#include "library/LibraryLayout.h"

#include <algorithm>

namespace spinlorex {

namespace {
constexpr int32_t kMinimumPane = 16;
constexpr int32_t kGap = 8;
size_t slot(int group, int column) {
    return static_cast<size_t>(std::clamp(group, 0, 6) * 4 + column);
}
}  // namespace

ColumnWidths columnWidths(const ColumnSizes& sizes, int group) {
    return {sizes[slot(group, 0)], sizes[slot(group, 1)], sizes[slot(group, 2)],
            sizes[slot(group, 3)]};
}

void storeColumnWidths(ColumnSizes& sizes, int group, const ColumnWidths& widths) {
    for (int i = 0; i < 4; ++i) sizes[slot(group, i)] = widths[static_cast<size_t>(i)];
}

PanelPanes resizablePanes(int panel, const PaneRect& area, const ColumnSizes& sizes) {
    PanelPanes panes;
    const auto pane = [&](int32_t x, int32_t width) {
        return PaneRect{x, area.y, std::max(width, 0), area.height};
    };
    if (panel == 2) {
        const int32_t tree = sizes[slot(kPaneWidths, 1)];
        const int32_t files = sizes[slot(kPaneWidths, 2)];
        panes.tree = pane(area.x, tree);
        panes.files = pane(area.x + tree, files);
        panes.playlist = pane(area.x + tree + files, area.width - tree - files);
    } else {
        const int32_t tree = sizes[slot(kPaneWidths, 0)];
        panes.tree = pane(area.x, tree);
        panes.files = pane(area.x + tree, area.width - tree);
        panes.playlist = pane(area.x + area.width, 0);
    }
    return panes;
}

PanelPanes fixedPanes(int panel, const PaneRect& area) {
    PanelPanes panes;
    const auto pane = [&](int32_t x, int32_t width) {
        return PaneRect{x, area.y, std::max(width, 0), area.height};
    };
    if (panel == 2) {
        const int32_t w = area.width - 2 * kGap;
        panes.tree = pane(area.x, w * 20 / 100);
        panes.files = pane(area.x + kGap + w * 20 / 100, w * 40 / 100);
        panes.playlist = pane(area.x + 2 * kGap + w * 60 / 100, w * 40 / 100);
    } else {
        const int32_t w = area.width - kGap;
        panes.tree = pane(area.x, w * 30 / 100);
        panes.files = pane(area.x + kGap + w * 30 / 100, w * 70 / 100);
        panes.playlist = pane(area.x + area.width, 0);
    }
    return panes;
}

void storePaneWidths(ColumnSizes& sizes, int panel, int32_t treeWidth, int32_t filesWidth) {
    if (panel == 2) {
        sizes[slot(kPaneWidths, 1)] = std::max(treeWidth, kMinimumPane);
        sizes[slot(kPaneWidths, 2)] = std::max(filesWidth, kMinimumPane);
    } else if (panel == 0) {
        sizes[slot(kPaneWidths, 0)] = std::max(treeWidth, kMinimumPane);
    }
}

}  // namespace spinlorex
