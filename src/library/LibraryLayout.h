#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace spinlorex {

// Where the library's windows sit in panels 0 (files) and 2 (playlist), and which of the
// "Column Sizes" setting's seven groups of four widths each list uses. Any thread: plain
// arithmetic.

using ColumnSizes = std::array<int32_t, 28>;
using ColumnWidths = std::array<int32_t, 4>;

// The groups (0-based) of "Column Sizes".
enum ColumnGroup : int {
    kFilesColumns = 0,              // the files list in panel 0
    kSearchColumns = 1,             // the search results
    kPlaylistColumns = 3,           // the playlist
    kHistoryColumns = 4,            // the history
    kFilesColumnsWithPlaylist = 5,  // the files list in panel 2
    kPaneWidths = 6,                // the panes: panel 0's tree, panel 2's tree and files
};

ColumnWidths columnWidths(const ColumnSizes& sizes, int group);
void storeColumnWidths(ColumnSizes& sizes, int group, const ColumnWidths& widths);

// The columns the lists show beside their four (library/TrackList.h's 4..8) with their
// widths, as the "Added Columns" setting keeps them ("4=120,7=48"); 0: not shown. A text
// that cannot be read gives what could be (nothing for a bad entry).
inline constexpr int kAddedColumnFirst = 4;
inline constexpr int kAddedColumnCount = 5;
using AddedColumnWidths = std::array<int32_t, kAddedColumnCount>;
AddedColumnWidths parseAddedColumns(std::string_view text);
std::string addedColumnsText(const AddedColumnWidths& columns);

struct PaneRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PaneRect&) const = default;
};

// The three panes of panel 0 or 2 (tree, files list, playlist; the playlist's width is 0
// in panel 0) in the panel's area.
struct PanelPanes {
    PaneRect tree, files, playlist;
    bool operator==(const PanelPanes&) const = default;
};

// Resizable panes (the natural form): panel 0 gives the tree the first pane width of
// group 7 and the files list the rest; panel 2 gives the tree and the files list the
// second and third pane widths and the playlist the rest. Panes touch.
PanelPanes resizablePanes(int panel, const PaneRect& area, const ColumnSizes& sizes);
// Fixed panes: panel 0 splits the area 30 : 70, panel 2 20 : 40 : 40, 8 pixels apart.
PanelPanes fixedPanes(int panel, const PaneRect& area);

// Stores the pane widths of a panel being hidden into group 7: panel 0 its tree's, panel
// 2 its tree's and files list's; a width below 16 is stored as 16.
void storePaneWidths(ColumnSizes& sizes, int panel, int32_t treeWidth, int32_t filesWidth);

}  // namespace spinlorex
