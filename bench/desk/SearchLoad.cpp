// The search panel of the desk over a search file of 200,000 lines: how long the desk takes
// to start with it (the file is read and every line listed), to show the panel (F2), to
// list the results of two words typed into the box and Enter, to list every line again (the
// empty search) and to sort them by a click on "Title", each until the result list has
// painted its rows; and the memory the search holds beside the file's size.
//
//   build/bench/spinlorex_search_bench          (QT_QPA_PLATFORM=offscreen, or xvfb-run -a)
//
// Targets: the two words' results within 100 ms, the empty search within 200 ms, memory
// at most twice the file's size.

#include <QtCore/QElapsedTimer>
#include <QtGui/QKeyEvent>
#include <QtWidgets/QApplication>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../SearchData.h"
#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/library/LibraryBrowser.h"
#include "library/SearchIndex.h"
#include "library/views/SearchResultsView.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"

namespace {

using namespace spinlorex;

size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void press(QWidget& to, int key, const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&to, &event);
}

// Milliseconds from `act` until the result list has painted what it shows.
template <typename Act>
double untilPainted(SearchResultsView& results, Act act) {
    QElapsedTimer timer;
    timer.start();
    act();
    results.viewport()->repaint();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("SPINLOREX_AUDIO", "null", 0);
    const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                         ("spinlorex-search-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(config);
    setenv("SPINLOREX_CONFIG_DIR", config.c_str(), 1);

    QApplication app(argc, argv);
    std::printf("writing a search file of %d lines...\n", bench::SearchData::kLines);
    const bench::SearchData data;
    settings().resetToDefaults();
    settings().homeFolder = data.home();
    set(settings().multiInstance, 1);
    set(settings().maximized, 0);

    int status = 0;
    {
        DeskApp desk;
        QElapsedTimer timer;
        timer.start();
        if (!desk.create()) {
            std::fprintf(stderr, "the desk did not start: %s\n", fatalError() ? fatalError() : "?");
            std::filesystem::remove_all(config);
            return 1;
        }
        desk.window().show();
        QApplication::processEvents();
        const double start = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        LibraryBrowser& library = *desk.library();
        SearchResultsView& results = library.resultsView();
        QLineEdit& box = library.searchBox();

        const double show = untilPainted(results, [&] { press(desk.window(), Qt::Key_F2); });
        const int everyLine = results.model()->rowCount();
        box.setFocus();
        QApplication::processEvents();
        box.setText("daft punk");
        const double twoWords = untilPainted(results, [&] { press(box, Qt::Key_Return); });
        const int found = results.model()->rowCount();
        box.clear();
        const double empty = untilPainted(results, [&] { press(box, Qt::Key_Return); });
        const int listed = results.model()->rowCount();
        const double sort =
            untilPainted(results, [&] { emit results.horizontalHeader()->sectionClicked(0); });
        // What the search holds for the file (its text, lines and results, and the list's
        // rows): the heap with every line listed, less the heap once the file has gone and
        // the search has been read again.
        const size_t withFile = heapInUse();
        std::filesystem::rename(std::filesystem::path(data.home()) / SearchIndex::kFileName,
                                std::filesystem::path(data.home()) / "moved.txt");
        library.reloadSearch();
        QApplication::processEvents();
        const double perFileByte =
            static_cast<double>(withFile - std::min(withFile, heapInUse())) / data.fileSize();

        std::printf("desk start with %d lines listed: %.0f ms\n", everyLine, start);
        std::printf("F2, the panel painted: %.1f ms\n", show);
        std::printf("two words, %d results painted: %.1f ms (target 100)\n", found, twoWords);
        std::printf("the empty search, %d results painted: %.1f ms (target 200)\n", listed, empty);
        std::printf("a click on \"Title\", sorted and painted: %.1f ms\n", sort);
        std::printf("memory of the search: %.2f bytes per byte of the file (%.1f MB; target 2)\n",
                    perFileByte, data.fileSize() / 1e6);
        if (everyLine != bench::SearchData::kLines || listed != everyLine || found == 0) status = 1;
        desk.destroy();
    }
    std::filesystem::remove_all(config);
    return status;
}
