// What the files browser reads from the disk, where its panes go, and its home folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "library/FolderListing.h"
#include "library/LibraryLayout.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesOf(const std::vector<SubFolder>& folders) {
    std::vector<std::string> names;
    for (const SubFolder& f : folders) names.push_back(f.name);
    return names;
}

TEST(FolderListing, TracksAndPlaylistsInNameOrderWithLinksAsShortcuts) {
    test::TempDir dir;
    const fs::path music = dir.path() / "music";
    const fs::path elsewhere = dir.path() / "elsewhere";
    fs::create_directories(music / "Sub" / "Deep");
    fs::create_directories(elsewhere / "Folder");
    for (const char* name : {"A - One.mp3", "b.WAV", "list.M3U", "notes.txt", ".hidden.mp3"})
        test::writeFile((music / name).string(), test::Bytes(10, 0));
    fs::create_directory(music / "folder.mp3");
    const std::string target =
        test::writeFile((elsewhere / "Target - X.mp3").string(), test::Bytes(321, 0));
    fs::create_symlink(target, music / "Link.mp3");
    fs::create_symlink("../elsewhere/Target - X.mp3",
                       music / "shortcut");  // named without extension
    fs::create_symlink(dir.path() / "nowhere.mp3", music / "dead.mp3");
    fs::create_symlink(elsewhere / "Folder", music / "LinkedDir");

    const std::vector<FolderItem> items = listFolderFiles(music.string());
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].displayName, "A - One.mp3");
    EXPECT_EQ(items[0].path, (music / "A - One.mp3").string());
    EXPECT_EQ(items[0].size, 10u);
    EXPECT_FALSE(items[0].playlist);
    EXPECT_EQ(items[1].displayName, "b.WAV");
    EXPECT_EQ(items[2].displayName, "Link.mp3");  // the link's name, the target's path and size
    EXPECT_EQ(items[2].path, fs::canonical(target).string());
    EXPECT_EQ(items[2].size, 321u);
    EXPECT_EQ(items[3].displayName, "list.M3U");
    EXPECT_TRUE(items[3].playlist);
    EXPECT_EQ(items[4].displayName, "shortcut");
    EXPECT_EQ(items[4].path, fs::canonical(target).string());

    EXPECT_EQ(namesOf(listSubFolders(music.string())),
              (std::vector<std::string>{"folder.mp3", "LinkedDir", "Sub"}));
    EXPECT_TRUE(hasSubFolders((music / "Sub").string()));
    EXPECT_FALSE(hasSubFolders((music / "Sub" / "Deep").string()));
    EXPECT_FALSE(hasSubFolders((music / "LinkedDir").string()));

    EXPECT_TRUE(listFolderFiles((dir.path() / "absent").string()).empty());
    EXPECT_TRUE(listSubFolders(target).empty());
}

TEST(FolderListing, HomeFolderSetting) {
    const std::string home = "/home/dj/.local/share/spinlorex";
    EXPECT_EQ(initialFolderPath(std::nullopt, home, "/home/dj/Music"), "/home/dj/Music");
    EXPECT_EQ(initialFolderPath(std::vector<uint8_t>{}, home, "/m"), "/m");
    EXPECT_EQ(initialFolderPath(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, home, "/m"),
              home);
    EXPECT_EQ(initialFolderPath(std::vector<uint8_t>{0xFF, 0xFF, 0xFF}, home, "/m"),
              "\xFF\xFF\xFF");
    EXPECT_EQ(initialFolderPath(storedInitialFolder("/data/crates"), home, "/m"), "/data/crates");
    std::vector<uint8_t> terminated = storedInitialFolder("/x");
    terminated.push_back(0);
    EXPECT_EQ(initialFolderPath(terminated, home, "/m"), "/x");
}

TEST(LibraryLayout, PanesOfBothFormsAndTheWidthsTheyKeep) {
    ColumnSizes sizes{195, 128, 46,  154, 251, 149, 50,  248, 251, 149, 50,  248, 193, 127,
                      0,   0,   267, 165, 0,   264, 150, 82,  0,   0,   160, 118, 245, 16};
    const PaneRect area{76, 355, 699, 235};
    // Without stored widths the panes fill the area left to right, apart, the files list
    // wider than the tree and panel 2's playlist as wide as its files list.
    const int32_t areaRight = area.x + area.width;
    for (const int panel : {0, 2}) {
        const PanelPanes p = fixedPanes(panel, area);
        const auto right = [](const PaneRect& r) { return r.x + r.width; };
        EXPECT_EQ(p.tree.x, area.x) << panel;
        EXPECT_LT(right(p.tree), p.files.x) << panel;
        EXPECT_LT(p.tree.width, p.files.width) << panel;
        const PaneRect& last = panel == 2 ? p.playlist : p.files;
        EXPECT_LE(right(last), areaRight) << panel;
        EXPECT_GE(right(last), areaRight - 2) << panel;  // rounding only
        for (const PaneRect& r : {p.tree, p.files, p.playlist})
            EXPECT_TRUE(r.y == area.y && r.height == area.height) << panel;
        if (panel == 2) {
            EXPECT_LT(right(p.files), p.playlist.x);
            EXPECT_EQ(p.playlist.width, p.files.width);
        } else {
            EXPECT_EQ(p.playlist.width, 0);
        }
    }
    EXPECT_EQ(resizablePanes(0, area, sizes),
              (PanelPanes{{76, 355, 160, 235}, {236, 355, 539, 235}, {775, 355, 0, 235}}));
    EXPECT_EQ(resizablePanes(2, area, sizes),
              (PanelPanes{{76, 355, 118, 235}, {194, 355, 245, 235}, {439, 355, 336, 235}}));

    EXPECT_EQ(columnWidths(sizes, kPlaylistColumns), (ColumnWidths{193, 127, 0, 0}));
    storeColumnWidths(sizes, kFilesColumnsWithPlaylist, {1, 2, 3, 4});
    EXPECT_EQ(columnWidths(sizes, kFilesColumnsWithPlaylist), (ColumnWidths{1, 2, 3, 4}));
    EXPECT_EQ(columnWidths(sizes, kHistoryColumns), (ColumnWidths{267, 165, 0, 264}));
    storePaneWidths(sizes, 0, 3, 999);
    storePaneWidths(sizes, 2, 200, 10);
    storePaneWidths(sizes, 4, 1, 1);
    EXPECT_EQ(columnWidths(sizes, kPaneWidths), (ColumnWidths{16, 200, 16, 16}));

    // The added columns' setting: what it names comes back; what it cannot read is left out.
    EXPECT_EQ(parseAddedColumns("4=120,7=48"), (AddedColumnWidths{120, 0, 0, 48, 0}));
    EXPECT_EQ(addedColumnsText({0, 90, 0, 0, 30}), "5=90,8=30");
    EXPECT_EQ(parseAddedColumns("8=30,3=10,9=5,x,6=,7=-4,5=2x,6=70"),
              (AddedColumnWidths{0, 0, 70, 0, 30}));
    EXPECT_EQ(parseAddedColumns(""), AddedColumnWidths{});
}

}  // namespace
}  // namespace spinlorex
