#include "library/LibraryLayout.h"

#include <algorithm>
#include <charconv>

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

AddedColumnWidths parseAddedColumns(std::string_view text) {
    AddedColumnWidths columns{};
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        int column = 0;
        int width = 0;
        const char* end = item.data() + item.size();
        const auto [afterColumn, e1] = std::from_chars(item.data(), end, column);
        if (e1 != std::errc() || afterColumn == end || *afterColumn != '=') continue;
        const auto [afterWidth, e2] = std::from_chars(afterColumn + 1, end, width);
        if (e2 != std::errc() || afterWidth != end) continue;
        const int at = column - kAddedColumnFirst;
        if (at < 0 || at >= kAddedColumnCount || width <= 0) continue;
        columns[static_cast<size_t>(at)] = std::min(width, 4000);
    }
    return columns;
}

std::string addedColumnsText(const AddedColumnWidths& columns) {
    std::string text;
    for (int at = 0; at < kAddedColumnCount; ++at) {
        const int32_t width = columns[static_cast<size_t>(at)];
        if (width <= 0) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(kAddedColumnFirst + at) + '=' + std::to_string(width);
    }
    return text;
}

}  // namespace spinlorex
