// The scan dialogs, "Delete a CD", the Stop window and the search results' table, over a
// temporary home folder and a test tree standing for the machine's drives.

#include <gtest/gtest.h>

#include <QtGui/QValidator>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTableView>
#include <QtWidgets/QTreeWidget>

#include <filesystem>

#include "app/dialogs/DeleteCdDialog.h"
#include "app/dialogs/DialogFixture.h"
#include "app/dialogs/ScanDialogs.h"
#include "app/dialogs/StopWindow.h"
#include "library/SearchIndex.h"
#include "library/TrackDatabase.h"
#include "library/views/SearchResultsModel.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using drives::DriveType;

// Answers the next message box with the given button; the result holds what it showed.
std::shared_ptr<test::SeenMessage> answerNext(QMessageBox::StandardButton answer) {
    auto seen = std::make_shared<test::SeenMessage>();
    test::withNextModal<QMessageBox>([seen, answer](QMessageBox& box) {
        *seen = {box.windowTitle(), box.text(), box.icon(), box.parentWidget()};
        box.button(answer)->click();
    });
    return seen;
}

class ScanDialogsTest : public test::DialogTest {
protected:
    std::string put(const std::string& relative, size_t size = 1) {
        const fs::path path = tree.path() / relative;
        fs::create_directories(path.parent_path());
        return test::writeFile(path.string(), test::Bytes(size, 'x'));
    }
    std::string root(const std::string& relative) const {
        return (tree.path() / relative).string();
    }
    std::string searchFile() const { return homeDir.file(SearchIndex::kFileName); }
    void writeSearchFile(const std::string& s) {
        test::writeFile(searchFile(), test::Bytes(s.begin(), s.end()));
    }
    std::string searchText() const {
        const test::Bytes bytes = test::readFile(searchFile());
        return std::string(bytes.begin(), bytes.end());
    }
    drives::Drive drive(const std::string& at, DriveType type) const {
        return {at, "/dev/x", "ext4", type};
    }
    std::vector<drives::Drive> machine() const {
        return {drive(root("hd"), DriveType::Fixed), drive(root("stick"), DriveType::Removable),
                drive(root("cd"), DriveType::CdRom), drive(root("hd/x:/mnt"), DriveType::Fixed),
                drive(root("hd/inner"), DriveType::Fixed)};
    }

    test::TempDir tree;
};

TEST_F(ScanDialogsTest, HardDiskScanOfTheCheckedDrives) {
    put("hd/a.mp3", 2);
    put("hd/b.wav", 3);
    put("hd/inner/c.mp3", 4);
    put("stick/d.mp3", 5);
    put("hd/x:/mnt/e.mp3", 6);  // on a drive that is not offered, but a drive all the same
    writeSearchFile("CD1=/x.mp3,1\r\n" + root("hd") + ":/gone.mp3,1\r\n");

    ScanHardDiskDialog dialog(&host.desk, settings().homeFolder, machine());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Auto Search of MP3 files on the hard drive");
    QListWidget& list = dialog.driveList();
    const auto* question = dialog.findChild<QLabel*>();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), "Check the hard disks you want to scan");
    EXPECT_TRUE(question->isVisible());
    EXPECT_EQ(question->buddy(), &list);
    ASSERT_EQ(list.count(), 4);  // a mount point holding ":/" cannot be told from its lines
    EXPECT_EQ(list.item(0)->text().toStdString(), root("hd"));
    const Qt::CheckState states[] = {Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Checked};
    for (int row = 0; row < 4; ++row) EXPECT_EQ(list.item(row)->checkState(), states[row]) << row;
    EXPECT_TRUE(dialog.mp3Box().isChecked());
    EXPECT_TRUE(dialog.wavBox().isChecked());
    EXPECT_TRUE(dialog.sndfileBox().isChecked());

    // Nothing of any kind to look for: OK cannot be pressed.
    dialog.mp3Box().setChecked(false);
    dialog.wavBox().setChecked(false);
    EXPECT_TRUE(dialog.okButton().isEnabled());
    dialog.sndfileBox().setChecked(false);
    EXPECT_FALSE(dialog.okButton().isEnabled());
    dialog.mp3Box().setChecked(true);
    EXPECT_TRUE(dialog.okButton().isEnabled());

    for (int row = 0; row < 4; ++row) list.item(row)->setCheckState(Qt::Unchecked);
    const auto nothing = test::answerNextMessage();
    dialog.okButton().click();
    EXPECT_EQ(nothing->title, "Spinlorex");
    EXPECT_EQ(nothing->text, "Check the hard disks you want to scan");
    EXPECT_TRUE(dialog.isVisible());

    list.item(0)->setCheckState(Qt::Checked);
    list.item(1)->setCheckState(Qt::Checked);
    dialog.okButton().click();  // MP3 only
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(searchText(),
              "CD1=/x.mp3,1\r\n" + root("hd") + ":/a.mp3,2\r\n" + root("stick") + ":/d.mp3,5\r\n");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // the Stop window is gone
}

TEST_F(ScanDialogsTest, HardDiskScanThatCannotWriteTheFile) {
    put("hd/a.mp3");
    const std::string notAFolder = homeDir.file("file");
    test::writeFile(notAFolder, {});
    ScanHardDiskDialog dialog(&host.desk, notAFolder, machine());
    dialog.show();
    const auto error = test::answerNextMessage();
    dialog.okButton().click();
    EXPECT_EQ(error->title, "Spinlorex");
    EXPECT_EQ(error->text, "File creation error");
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ScanDialogsTest, CdScanProposesANameAndAsksBeforeReplacing) {
    put("cd/Music/a.mp3", 2);
    put("cd/b.wav", 3);
    writeSearchFile("CD1=/x.mp3,1\r\nCD2=/y.mp3,1\r\n");
    settings().cdDrive = root("cd") + "/";

    auto dialog = std::make_unique<ScanCdDialog>(&host.desk, settings().homeFolder, machine());
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Auto scan of mp3 files");
    EXPECT_EQ(dialog->driveList().count(), 5);
    EXPECT_EQ(dialog->driveList().currentText().toStdString(), root("cd"));
    EXPECT_EQ(dialog->nameBox().text(), "CD3");
    // A name that would break its lines cannot be typed.
    const QValidator& names = *dialog->nameBox().validator();
    for (QString bad : {"a=b", "a:b", "/x", "a\nb"}) {
        int at = 0;
        EXPECT_EQ(names.validate(bad, at), QValidator::Invalid) << bad.toStdString();
    }
    QString good = "Rock/Pop, 2";
    int at = 0;
    EXPECT_EQ(names.validate(good, at), QValidator::Acceptable);

    // No name: the dialog stays.
    dialog->nameBox().setText("");
    dialog->scanButton().click();
    EXPECT_TRUE(dialog->isVisible());
    // An existing disc: "No" keeps the dialog open and the file as it was.
    dialog->nameBox().setText("CD2");
    auto question = answerNext(QMessageBox::No);
    dialog->scanButton().click();
    EXPECT_EQ(question->title, "Spinlorex");
    EXPECT_EQ(question->text,
              "This CD already exists in the database. Do you want to replace its content ?");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(searchText(), "CD1=/x.mp3,1\r\nCD2=/y.mp3,1\r\n");
    // "Yes": the old lines go, the new ones come after the others; the drive is stored.
    settings().cdDrive = "";
    question = answerNext(QMessageBox::Yes);
    dialog->scanButton().click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(settings().cdDrive, root("cd"));
    EXPECT_EQ(searchText(), "CD1=/x.mp3,1\r\nCD2=/b.wav,3\r\nCD2=/Music/a.mp3,2\r\n");

    // A new name is appended without a question; no drive chosen keeps the dialog open.
    settings().cdDrive = "/nowhere";
    dialog = std::make_unique<ScanCdDialog>(&host.desk, settings().homeFolder, machine());
    dialog->show();
    EXPECT_EQ(dialog->driveList().currentIndex(), -1);
    EXPECT_EQ(dialog->nameBox().text(), "CD3");
    dialog->scanButton().click();
    EXPECT_TRUE(dialog->isVisible());
    dialog->driveList().setCurrentIndex(2);
    dialog->scanButton().click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(searchText(),
              "CD1=/x.mp3,1\r\nCD2=/b.wav,3\r\nCD2=/Music/a.mp3,2\r\nCD3=/b.wav,3\r\nCD3=/Music/"
              "a.mp3,2\r\n");
}

TEST_F(ScanDialogsTest, DeleteACdListsDiscsAndDrivesWithTheirCounts) {
    writeSearchFile("CD1=/a.mp3\r\n/media/x:/b.mp3,1\r\nCD1=/c.mp3\r\nRock=/d.mp3\r\n");
    auto dialog = std::make_unique<DeleteCdDialog>(&host.desk, settings().homeFolder);
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Delete a CD");
    QTreeWidget& list = dialog->discList();
    EXPECT_EQ(list.headerItem()->text(0), "Disc");
    EXPECT_EQ(list.headerItem()->text(1), "Files");
    EXPECT_EQ(list.columnWidth(0), 200);
    EXPECT_EQ(list.columnWidth(1), 50);
    ASSERT_EQ(list.topLevelItemCount(), 3);
    const QStringList discs = {"CD1", "/media/x:", "Rock"}, counts = {"2", "1", "1"};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list.topLevelItem(row)->text(0), discs[row]);
        EXPECT_EQ(list.topLevelItem(row)->text(1), counts[row]);
    }
    // Nothing selected: no success, nothing deleted.
    dialog->deleteButton().click();
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_EQ(searchText(), "CD1=/a.mp3\r\n/media/x:/b.mp3,1\r\nCD1=/c.mp3\r\nRock=/d.mp3\r\n");

    dialog = std::make_unique<DeleteCdDialog>(&host.desk, settings().homeFolder);
    dialog->show();
    dialog->discList().topLevelItem(0)->setSelected(true);
    dialog->discList().topLevelItem(1)->setSelected(true);
    dialog->deleteButton().click();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_EQ(searchText(), "Rock=/d.mp3\r\n");
}

TEST_F(ScanDialogsTest, StopWindowShowsTheWalkAndStopsIt) {
    ScanProgress progress;
    StopWindow window(&host.desk, progress);
    const std::string folder = "/media/me/" + std::string(300, 'x') + "/end";
    window.showProgress(folder, 12);
    EXPECT_TRUE(window.folderText().text().startsWith("/media/me/"));
    EXPECT_TRUE(window.folderText().text().endsWith("/end"));
    EXPECT_LT(window.folderText().text().size(), 300);
    EXPECT_EQ(window.countText().text(), "12 files");
    EXPECT_EQ(window.windowTitle(), "Scanning");  // named, without a title bar
    EXPECT_FALSE(window.windowFlags() & Qt::WindowTitleHint);

    // Stop (or Escape) asks the walk to end; the window stays until it has.
    for (int i = 0; i < 40; ++i) put("hd/f" + std::to_string(i) + "/a.mp3");
    const std::vector<drives::Drive> drives = {drive(root("hd"), DriveType::Fixed)};
    const std::vector<std::string> chosen = {root("hd")};
    auto job = hardDiskScan(settings().homeFolder, chosen, drives, kScanBoth);
    bool stopped = false;
    test::withNextModal<StopWindow>([&stopped](StopWindow& up) {
        EXPECT_TRUE(up.isVisible());
        up.reject();
        stopped = !up.stopButton().isEnabled();
    });
    const ScanJob::Result result = runWithStopWindow(&host.desk, *job);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(job->progress().stopRequested());
    EXPECT_FALSE(job->progress().abandonRequested());
    EXPECT_NE(result, ScanJob::Result::WriteFailed);
    EXPECT_TRUE(fs::exists(searchFile()));
}

TEST_F(ScanDialogsTest, AScanEndedByTheProgramClosingLeavesTheSearchFileAsItWas) {
    for (int i = 0; i < 400; ++i) put("hd/f" + std::to_string(i) + "/a.mp3");
    const std::vector<drives::Drive> drives = {drive(root("hd"), DriveType::Fixed)};
    const std::vector<std::string> chosen = {root("hd")};
    const std::string old = "CD1=/x.mp3,1\r\n" + root("hd") + ":/old.mp3,1\r\n";
    // Thrown away, or whole when the walk was quicker than the close.
    const auto oldOrWhole = [&](ScanJob::Result result) {
        if (result == ScanJob::Result::Done) return;
        EXPECT_EQ(result, ScanJob::Result::Abandoned);
        EXPECT_EQ(searchText(), old);
    };

    // The desk closes its windows as the program ends: that close is not a Stop.
    writeSearchFile(old);
    auto job = hardDiskScan(settings().homeFolder, chosen, drives, kScanBoth);
    test::withNextModal<StopWindow>([&job](StopWindow& up) {
        EXPECT_FALSE(up.close());  // it stays until the walk has ended
        EXPECT_TRUE(job->progress().abandonRequested());
    });
    oldOrWhole(runWithStopWindow(&host.desk, *job));
    EXPECT_TRUE(job->progress().abandonRequested());

    // The application quits, which ends every event loop, the Stop window's too. A file of
    // many lines keeps the scan busy until then.
    std::string many = old;
    for (int i = 0; i < 200'000; ++i)
        many += "CD2=/Music/Artist - Title " + std::to_string(i) + ".mp3,1\r\n";
    writeSearchFile(many);
    job = hardDiskScan(settings().homeFolder, chosen, drives, kScanBoth);
    bool endedFirst = true;
    test::withNextModal<StopWindow>([&](StopWindow&) {
        endedFirst = job->finished();
        QCoreApplication::exit(0);
    });
    const ScanJob::Result result = runWithStopWindow(&host.desk, *job);
    if (!endedFirst) {
        EXPECT_EQ(result, ScanJob::Result::Abandoned);
        EXPECT_TRUE(searchText() == many);  // (a failure would print megabytes)
    }
    // The next tests need event loops again: one run of the application's own loop
    // clears the quit.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

TEST_F(ScanDialogsTest, TheFirstShowingOfTheSearchOffersAScanOnce) {
    SearchIndex index(settings().homeFolder);
    index.load();
    const auto question = answerNext(QMessageBox::No);
    EXPECT_FALSE(offerHardDiskScan(&host.desk, index));
    EXPECT_EQ(question->title, "Spinlorex");
    EXPECT_EQ(question->text, "Do you want Spinlorex to scan your HD for MP3 files ?");
    EXPECT_FALSE(offerHardDiskScan(&host.desk, index));  // no second question
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Yes opens the hard-disk scan (closed here without scanning).
    SearchIndex fresh(settings().homeFolder);
    fresh.load();
    answerNext(QMessageBox::Yes);
    bool opened = false;
    test::withNextModal<ScanHardDiskDialog>([&opened](ScanHardDiskDialog& d) {
        opened = true;
        d.close();
    });
    EXPECT_FALSE(offerHardDiskScan(&host.desk, fresh));
    EXPECT_TRUE(opened);

    // With a search file there is nothing to ask.
    writeSearchFile("CD1=/a.mp3\r\n");
    SearchIndex loaded(settings().homeFolder);
    loaded.load();
    EXPECT_FALSE(offerHardDiskScan(&host.desk, loaded));
}

TEST_F(ScanDialogsTest, ResultsTableShowsSortsAndReloadsTheIndex) {
    writeSearchFile(
        "CD1=/a/B - beta.mp3,10\r\n/:/home/me/A - alpha.mp3,20\r\nCD2=/caf\xff.mp3,5\r\n");
    SearchIndex index(settings().homeFolder);
    SearchResultsModel model(index);
    model.reload();
    EXPECT_EQ(model.rowCount(), 3);
    // The four of the search, then the tags' columns the header's menu may show.
    EXPECT_EQ(model.columnCount(), 9);
    const QStringList headers = {"Title", "Artist", "Disc", "Path",  "Album",
                                 "Genre", "Year",   "Key",  "Length"};
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
    const auto cell = [&model](int row, int column) {
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(cell(0, 0), QString("caf\xef\xbf\xbd"));
    EXPECT_EQ(cell(1, 0), "alpha");
    EXPECT_EQ(cell(1, 1), "A");
    EXPECT_EQ(cell(1, 2), "");
    EXPECT_EQ(cell(1, 3), "/home/me");
    EXPECT_EQ(cell(2, 2), "CD1");
    EXPECT_EQ(cell(2, 3), "/a");
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ToolTipRole).isValid());

    QTableView view;
    view.setModel(&model);
    sortOnHeaderClicks(view, model);
    emit view.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 0), QString("caf\xef\xbf\xbd"));
    EXPECT_EQ(cell(1, 0), "beta");
    emit view.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(view.horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(cell(0, 0), "alpha");

    model.runSearch("BETA alpha");
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(cell(0, 0), "alpha");  // newest first again
    TrackDatabase database;
    const TrackEntry entry = model.entry(1, "/media/cd", database);
    EXPECT_EQ(entry.path, "/media/cd/a/B - beta.mp3");
    EXPECT_EQ(entry.record->fileSize, 10u);

    // After a scan the file is read again and the last terms still apply.
    writeSearchFile(
        "CD1=/a/B - beta.mp3,10\r\n/:/home/me/A - alpha.mp3,20\r\nCD3=/more beta.mp3,5\r\n");
    model.reload();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(cell(0, 0), "more beta");
}

}  // namespace
}  // namespace spinlorex
