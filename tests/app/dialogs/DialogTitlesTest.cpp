// Every window the desk opens over itself says what it is: a title ("Spinlorex" for a
// message), and a text in it saying what it shows or asks.

#include <gtest/gtest.h>

#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>

#include <typeinfo>

#include "app/dialogs/DeleteCdDialog.h"
#include "app/dialogs/DialogFixture.h"
#include "app/dialogs/InfoDialogs.h"
#include "app/dialogs/ScanDialogs.h"
#include "app/dialogs/StopWindow.h"
#include "app/dialogs/TrackDialogs.h"
#include "library/SearchIndex.h"

namespace spinlorex {
namespace {

using DialogTitlesTest = test::DialogTest;

// Some text of the window itself, not only of its buttons.
bool saysWhatItAsks(const QWidget& window) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->text().trimmed().isEmpty()) return true;
    }
    for (const QGroupBox* box : window.findChildren<QGroupBox*>()) {
        if (!box->title().isEmpty()) return true;
    }
    return false;
}

struct Seen {
    std::string kind;
    QString title;
    bool explained = false;
};

TEST_F(DialogTitlesTest, EveryDialogHasATitleAndSaysWhatItAsks) {
    std::vector<Seen> seen;
    const auto note = [&seen](QWidget& window) {
        seen.push_back({typeid(window).name(), window.windowTitle(), saysWhatItAsks(window)});
    };
    // Notes the next modal window once it is up, and closes it unanswered.
    const auto closeNext = [&note] {
        test::withNextModal<QDialog>([&note](QDialog& window) {
            note(window);
            window.done(0);
        });
    };

    closeNext();
    askBpm(&host.desk, 120.0f);
    closeNext();
    askComment(&host.desk, "old");
    closeNext();
    askYesNo(&host.desk, "Are you sure you want to quit Spinlorex?");
    for (const int option : {78, 80, 81, 83}) {
        closeNext();
        openOptionDialog(host, option);
    }
    const std::vector<drives::Drive> machine = {
        {homeDir.path().string(), "/dev/x", "ext4", drives::DriveType::Fixed}};
    {
        ScanHardDiskDialog dialog(&host.desk, settings().homeFolder, machine);
        closeNext();
        dialog.exec();
    }
    {
        ScanCdDialog dialog(&host.desk, settings().homeFolder, machine);
        closeNext();
        dialog.exec();
    }
    {
        DeleteCdDialog dialog(&host.desk, settings().homeFolder);
        closeNext();
        dialog.exec();
    }
    SearchIndex index(settings().homeFolder);
    closeNext();
    offerHardDiskScan(&host.desk, index);
    ScanProgress progress;
    StopWindow stopWindow(&host.desk, progress);
    note(stopWindow);

    ASSERT_EQ(seen.size(), 12u);
    for (const Seen& window : seen) {
        EXPECT_FALSE(window.title.isEmpty()) << window.kind;
        EXPECT_TRUE(window.explained) << window.kind;
    }
    EXPECT_EQ(seen[0].title, "Bpm");
    EXPECT_EQ(seen[1].title, "Comment");
    EXPECT_EQ(seen[2].title, "Spinlorex");
    EXPECT_EQ(seen[5].title, "Spinlorex");  // the about box
}

}  // namespace
}  // namespace spinlorex
