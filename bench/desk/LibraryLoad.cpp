// The desk with a DJ's whole collection: 100,000 records in the internal database and a
// folder of 10,000 tracks as the files browser's home. Prints how long the desk takes to
// start, to fill the files list the first time (records created) and the next time
// (records found), and to sort it by tempo; and the longest time the desk's event loop
// went without a turn meanwhile (the desk draws on that loop). Then a wide folder, 60,000
// tracks beside 60,000 sub-folders, is expanded in the folder tree and then selected into
// the files list: the loop's longest pause until each shows it whole.
//
//   build/bench/spinlorex_library_bench          (QT_QPA_PLATFORM=offscreen, or xvfb-run -a)
//
// Targets: start within 1 s, first fill within 300 ms, next fill within 100 ms, Bpm sort
// within 50 ms; no pause of the loop over 50 ms while the wide folder opens.

#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../LibraryData.h"
#include "LoopWatch.h"
#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/library/LibraryBrowser.h"
#include "library/FolderListing.h"
#include "library/views/TrackListView.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "skin/SkinControl.h"

namespace {

using namespace spinlorex;
using bench::Clock;
using bench::LoopWatch;
using bench::ms;

template <typename Condition>
void runUntil(Condition done) {
    while (!done()) QApplication::processEvents(QEventLoop::AllEvents, 1);
}

constexpr int kWideFolder = 60'000;

// A folder of kWideFolder tracks (empty files) and as many sub-folders.
std::filesystem::path writeWideFolder(const std::filesystem::path& root) {
    const std::filesystem::path wide = root / "wide";
    std::filesystem::create_directories(wide);
    for (int i = 0; i < kWideFolder; ++i) {
        const std::string number = std::to_string(i);
        std::ofstream(wide / ("Wide Artist " + number + " - Tune.mp3"));
        std::filesystem::create_directory(wide / ("Folder " + number));
    }
    return wide;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SPINLOREX_AUDIO",
           std::getenv("SPINLOREX_AUDIO") ? std::getenv("SPINLOREX_AUDIO") : "null", 1);
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("spinlorex-library-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "config");
    setenv("SPINLOREX_CONFIG_DIR", (root / "config").c_str(), 1);

    QApplication app(argc, argv);
    std::printf("writing %d database records and a folder of %d tracks...\n",
                bench::LibraryData::kRecords, bench::LibraryData::kFolderTracks);
    const bench::LibraryData data(root);
    settings().resetToDefaults();
    settings().homeFolder = data.home().string();
    settings().initialFolder = storedInitialFolder(data.crate().string());
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);

    int status = 0;
    {
        LoopWatch watch;
        DeskApp desk;
        const auto t0 = Clock::now();
        if (!desk.create()) {
            std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
            std::filesystem::remove_all(root);
            return 1;
        }
        desk.window().show();
        const double start = ms(Clock::now() - t0);
        LibraryBrowser& library = *desk.library();
        watch.start();
        runUntil([&] { return !library.filling(); });
        const double firstFill = ms(Clock::now() - t0) - start;
        const double firstPause = watch.stop();
        const int rows = library.filesView().model()->rowCount();

        watch.start();
        const auto t1 = Clock::now();
        library.refillFiles();
        runUntil([&] { return !library.filling(); });
        const double secondFill = ms(Clock::now() - t1);
        const double secondPause = watch.stop();

        QElapsedTimer sortTimer;
        sortTimer.start();
        emit library.filesView().header()->sectionClicked(2);
        QApplication::processEvents();
        const double sort = static_cast<double>(sortTimer.nsecsElapsed()) / 1e6;

        std::printf("writing a folder of %d tracks and %d sub-folders...\n", kWideFolder,
                    kWideFolder);
        const std::filesystem::path wide = writeWideFolder(root);
        // The folder above it as the tree's top; then the wide folder is expanded in the
        // tree (its sub-folders only) and selected (its files in the list), as by hand.
        library.showPanel(0, true);
        settings().initialFolder = storedInitialFolder(root.string());
        library.onButton(ctl::GoHomeFolder);
        runUntil([&] { return !library.filling(); });
        QTreeView& treeView = library.tree();
        QAbstractItemModel& tree = *treeView.model();
        const QModelIndex top = tree.index(0, 0);
        QModelIndex wideIndex;
        for (int row = 0; row < tree.rowCount(top); ++row)
            if (tree.index(row, 0, top).data().toString() == "wide")
                wideIndex = tree.index(row, 0, top);
        watch.start();
        const auto t2 = Clock::now();
        treeView.expand(wideIndex);
        runUntil([&] { return !library.filling(); });
        const double wideTree = ms(Clock::now() - t2);
        const double wideTreePause = watch.stop();
        const int wideFolders = tree.rowCount(wideIndex);
        watch.start();
        const auto t3 = Clock::now();
        treeView.setCurrentIndex(wideIndex);
        runUntil([&] { return !library.filling(); });
        const double wideList = ms(Clock::now() - t3);
        const double wideListPause = watch.stop();
        const int wideFiles = library.filesView().model()->rowCount();

        std::printf("desk start with %d records: %.0f ms (target 1000)\n",
                    bench::LibraryData::kRecords, start);
        std::printf(
            "first fill of %d rows: %.0f ms (target 300), longest pause of the desk's loop %.0f "
            "ms\n",
            rows, firstFill, firstPause);
        std::printf("next fill: %.0f ms (target 100), longest pause of the desk's loop %.0f ms\n",
                    secondFill, secondPause);
        std::printf("Bpm sort: %.1f ms (target 50)\n", sort);
        std::printf(
            "wide folder expanded in the tree (%d sub-folders, and whether each has any): %.0f "
            "ms, longest pause of the desk's loop %.0f ms (target 50)\n",
            wideFolders, wideTree, wideTreePause);
        std::printf(
            "wide folder selected, the files list filled (%d rows): %.0f ms, longest pause of the "
            "desk's loop %.0f ms (target 50)\n",
            wideFiles, wideList, wideListPause);
        if (rows != bench::LibraryData::kFolderTracks) {
            std::printf("the files list holds %d rows instead of %d\n", rows,
                        bench::LibraryData::kFolderTracks);
            status = 1;
        }
        if (wideFolders != kWideFolder || wideFiles != kWideFolder) {
            std::printf("the wide folder shows %d folders and %d files instead of %d\n",
                        wideFolders, wideFiles, kWideFolder);
            status = 1;
        }
        desk.destroy();
    }
    std::filesystem::remove_all(root);
    return status;
}
