// The scans on real folder trees: the walk (order, masks, links, hidden and odd names,
// other drives inside a drive), the scan of the search file (kept lines first, the file
// replaced in one step, stop, thrown away), the disc names, "Delete a CD".

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/ScanJob.h"
#include "library/SearchFileWriter.h"
#include "library/SearchIndex.h"
#include "library/TrackDatabase.h"
#include "support/Files.h"

extern char** environ;

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string text(const std::string& path) {
    const test::Bytes bytes = test::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Lines of a text ended by CR LF (a missing last end shows as a line "<unended>...").
Strings linesOf(const std::string& s) {
    Strings lines;
    size_t at = 0;
    while (at < s.size()) {
        const size_t end = s.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back("<unended>" + s.substr(at));
            break;
        }
        lines.push_back(s.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Stops the walk (or throws the scan away) once so many files are written; checks
// meanwhile that the search file is still the old one.
class CountingObserver : public ScanObserver {
public:
    bool stopRequested() override { return written >= stopAfter || abandonRequested(); }
    bool abandonRequested() override { return written >= abandonAfter; }
    void enteringFolder(std::string_view folder) override { folders.emplace_back(folder); }
    void fileWritten(std::string_view, uint64_t count) override {
        written = count;
        if (!watchedFile.empty()) {
            EXPECT_EQ(text(watchedFile), watchedText);
        }
    }
    uint64_t stopAfter = UINT64_MAX;
    uint64_t abandonAfter = UINT64_MAX;
    uint64_t written = 0;
    Strings folders;
    std::string watchedFile, watchedText;
};

class ScanTest : public ::testing::Test {
protected:
    // A file of `size` bytes at `relative` under the tree, folders made as needed.
    std::string put(const std::string& relative, size_t size = 0) {
        const fs::path path = tree.path() / relative;
        fs::create_directories(path.parent_path());
        test::writeFile(path.string(), test::Bytes(size, 'x'));
        return path.string();
    }
    std::string root(const std::string& relative = "") const {
        return relative.empty() ? tree.path().string() : (tree.path() / relative).string();
    }
    std::string searchFile() const { return home.file(SearchIndex::kFileName); }
    void writeSearchFile(const std::string& s) {
        test::writeFile(searchFile(), test::Bytes(s.begin(), s.end()));
    }
    Strings searchLines() const { return linesOf(text(searchFile())); }

    // The lines the walk writes for `start` (a folder of the tree) under `prefix`.
    Strings walk(const std::string& start, const std::string& prefix, int mask,
                 const WalkLimits& limits = {}, CountingObserver* observer = nullptr) {
        const std::string out = home.file("walk.txt");
        CountingObserver own;
        SearchFileWriter writer(out);
        scanFolder(start, prefix, writer, observer != nullptr ? *observer : own, mask, limits);
        EXPECT_TRUE(writer.commit());
        return linesOf(text(out));
    }

    drives::Drive drive(const std::string& at,
                        drives::DriveType type = drives::DriveType::Fixed) const {
        return {at, "/dev/test", "ext4", type};
    }

    test::TempDir tree, home;
};

TEST_F(ScanTest, FilesComeBeforeSubFoldersByNameWithTheirSizes) {
    put("b.mp3", 3);
    put("a.WAV", 5);
    put("z.Mp3");
    put("c.flac", 2);
    put("d.Ogg", 4);
    put("notes.txt", 1);
    put("mp3", 1);
    put(".hidden.mp3", 1);
    put(".hidden/g.mp3", 1);
    put("sub1/d.mp3", 7);
    put("sub0/e.wav", 11);
    put("sub0/deeper/f.mp3", 13);
    fs::create_directories(root("empty"));
    fs::create_symlink(root("b.mp3"), root("link.mp3"));
    fs::create_symlink(root("sub1"), root("linked folder"));
    mkfifo(root("pipe.mp3").c_str(), 0600);

    EXPECT_EQ(walk(root(), "CD1=", kScanBoth),
              (Strings{"CD1=/a.WAV,5", "CD1=/b.mp3,3", "CD1=/z.Mp3,0", "CD1=/sub0/e.wav,11",
                       "CD1=/sub0/deeper/f.mp3,13", "CD1=/sub1/d.mp3,7"}));
    EXPECT_EQ(
        walk(root(), "/x:", kScanMp3),
        (Strings{"/x:/b.mp3,3", "/x:/z.Mp3,0", "/x:/sub0/deeper/f.mp3,13", "/x:/sub1/d.mp3,7"}));
    EXPECT_EQ(walk(root(), "R=", kScanWav), (Strings{"R=/a.WAV,5", "R=/sub0/e.wav,11"}));
    EXPECT_EQ(walk(root(), "R=", kScanSndfile), (Strings{"R=/c.flac,2", "R=/d.Ogg,4"}));
    EXPECT_EQ(walk(root() + "/", "R=", kScanWav), (Strings{"R=/a.WAV,5", "R=/sub0/e.wav,11"}));
    EXPECT_EQ(walk(root("sub0"), "", kScanBoth), (Strings{"/e.wav,11", "/deeper/f.mp3,13"}));
    EXPECT_EQ(walk(root("no such folder"), "R=", kScanBoth), Strings{});
    EXPECT_EQ(walk(root("b.mp3"), "R=", kScanBoth), Strings{});
}

TEST_F(ScanTest, LinksNeverLeadTheWalkInCircles) {
    put("music/a.mp3", 1);
    put("music/deep/b.mp3", 2);
    fs::create_directory_symlink(root(), root("music/loop"));
    fs::create_symlink("nowhere", root("music/dangling.mp3"));
    CountingObserver observer;
    EXPECT_EQ(walk(root(), "/:", kScanBoth, {}, &observer),
              (Strings{"/:/music/a.mp3,1", "/:/music/deep/b.mp3,2"}));
    EXPECT_EQ(observer.folders, (Strings{root(), root("music"), root("music/deep")}));
}

TEST_F(ScanTest, OddNamesSurviveTheScanTheSearchAndTheDrag) {
    const Strings names = {
        "a,b.mp3",         "x=y.mp3", "c:d.mp3", "Artist - T:1,2=3.mp3", "\xff\xfe latin1 \xe9.mp3",
        "back\\slash.mp3", ",5.mp3"};
    for (size_t i = 0; i < names.size(); ++i) put("m/" + names[i], i + 1);
    put("m/new\nline.mp3", 1);
    put("m/carriage\rreturn.mp3", 1);
    put("line\nfolder/x.mp3", 1);
    put("m/in a:/b.mp3", 3);  // a folder whose name ends in ":"

    const std::vector<drives::Drive> drives = {drive(root())};
    const std::vector<std::string> chosen = {root()};
    auto job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    CountingObserver observer;
    EXPECT_EQ(job->run(observer), ScanJob::Result::Done);
    EXPECT_EQ(job->filesFound(), names.size() + 1);

    SearchIndex index(home.path().string());
    ASSERT_EQ(index.load(), SearchIndex::LoadResult::Loaded);
    TrackDatabase database;
    for (size_t i = 0; i < names.size(); ++i) {
        index.runSearch("\"" + names[i] + "\"");
        ASSERT_EQ(index.resultCount(), 1u) << names[i];
        const TrackEntry entry = index.resultEntry(0, "/cd", database);
        EXPECT_EQ(entry.path, root("m/" + names[i]));
        EXPECT_TRUE(fs::is_regular_file(entry.path)) << entry.path;
        EXPECT_EQ(entry.record->name, names[i]);
        EXPECT_EQ(entry.record->fileSize, i + 1);
        EXPECT_EQ(index.resultText(0, SearchIndex::kDisc), "");
        EXPECT_EQ(index.resultText(0, SearchIndex::kPath), root("m"));
    }
    index.runSearch("\"a:/b\"");
    ASSERT_EQ(index.resultCount(), 1u);
    EXPECT_EQ(index.resultEntry(0, "/cd", database).path, root("m/in a:/b.mp3"));
    index.runSearch("line");
    EXPECT_EQ(index.resultCount(), 0u);  // names with line ends are not written
    index.runSearch("return");
    EXPECT_EQ(index.resultCount(), 0u);
}

TEST_F(ScanTest, RescanningADriveReplacesOnlyItsLinesAndNestedDrivesKeepTheirs) {
    // Drive A holds the folder where drive B is mounted; C is a drive of its own.
    put("a/one.mp3", 1);
    put("a/inner/b1.mp3", 2);
    put("a/inner/sub/b2.wav", 3);
    put("a/z/two.mp3", 4);
    put("c/three.mp3", 5);
    const std::vector<drives::Drive> drives = {
        drive(root("a")), drive(root("a/inner"), drives::DriveType::Removable), drive(root("c"))};
    const std::string keyA = root("a") + ":", keyB = root("a/inner") + ":", keyC = root("c") + ":";
    writeSearchFile("CD1=/x.mp3,1\r\n" + keyA + "/gone.mp3,9\r\nRock=/y.mp3,2\r\n");

    const auto scan = [&](const std::vector<std::string>& chosen, int mask = kScanBoth) {
        auto job = hardDiskScan(home.path().string(), chosen, drives, mask);
        CountingObserver observer;
        EXPECT_EQ(job->run(observer), ScanJob::Result::Done);
    };
    scan({root("a")});
    EXPECT_EQ(searchLines(), (Strings{"CD1=/x.mp3,1", "Rock=/y.mp3,2", keyA + "/one.mp3,1",
                                      keyA + "/z/two.mp3,4"}));
    scan({root("a/inner"), root("c")});
    EXPECT_EQ(searchLines(),
              (Strings{"CD1=/x.mp3,1", "Rock=/y.mp3,2", keyA + "/one.mp3,1", keyA + "/z/two.mp3,4",
                       keyB + "/b1.mp3,2", keyB + "/sub/b2.wav,3", keyC + "/three.mp3,5"}));
    // Rescanning A (MP3 only): the other drives' and discs' lines first, A's new ones after.
    put("a/new.mp3", 6);
    scan({root("a")}, kScanMp3);
    EXPECT_EQ(searchLines(),
              (Strings{"CD1=/x.mp3,1", "Rock=/y.mp3,2", keyB + "/b1.mp3,2", keyB + "/sub/b2.wav,3",
                       keyC + "/three.mp3,5", keyA + "/new.mp3,6", keyA + "/one.mp3,1",
                       keyA + "/z/two.mp3,4"}));
    // "Delete a CD" shows one row per drive and disc; deleting B removes all of its lines.
    SearchIndex index(home.path().string());
    index.load();
    const std::vector<DiscRow> rows = discRows(index);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2].key, keyB);
    EXPECT_EQ(rows[2].lines, 2u);
    EXPECT_EQ(rows[4].key, keyA);
    EXPECT_EQ(rows[4].lines, 3u);
    const std::vector<std::string> keys = {keyB};
    ASSERT_TRUE(deleteDiscs(index, keys));
    EXPECT_EQ(searchLines(),
              (Strings{"CD1=/x.mp3,1", "Rock=/y.mp3,2", keyC + "/three.mp3,5", keyA + "/new.mp3,6",
                       keyA + "/one.mp3,1", keyA + "/z/two.mp3,4"}));
}

TEST_F(ScanTest, DiscScansAppendOrReplaceAndProposeTheFirstFreeName) {
    put("disc/Music/a.mp3", 1);
    put("disc/b.wav", 2);
    put("disc/c.txt", 2);
    const std::vector<drives::Drive> drives = {drive(root("disc"), drives::DriveType::CdRom)};
    writeSearchFile("CD1=/old.mp3,1\r\n/:/home/x.mp3,3\r\nCD2=/y.mp3,2\nCD10=/z.mp3,4\n");

    SearchIndex index(home.path().string());
    index.load();
    EXPECT_EQ(proposeDiscName(index), "CD3");
    EXPECT_TRUE(index.anyLineWithKey("CD1"));
    EXPECT_FALSE(index.anyLineWithKey("Rock"));

    auto job = discScan(home.path().string(), "Rock", root("disc"), false, drives);
    CountingObserver observer;
    EXPECT_EQ(job->run(observer), ScanJob::Result::Done);
    EXPECT_EQ(searchLines(), (Strings{"CD1=/old.mp3,1", "/:/home/x.mp3,3", "CD2=/y.mp3,2",
                                      "CD10=/z.mp3,4", "Rock=/b.wav,2", "Rock=/Music/a.mp3,1"}));

    job = discScan(home.path().string(), "CD1", root("disc"), true, drives);
    EXPECT_EQ(job->run(observer), ScanJob::Result::Done);
    EXPECT_EQ(job->linesReplaced(), 1u);  // CD10 is another disc
    EXPECT_EQ(searchLines(),
              (Strings{"/:/home/x.mp3,3", "CD2=/y.mp3,2", "CD10=/z.mp3,4", "Rock=/b.wav,2",
                       "Rock=/Music/a.mp3,1", "CD1=/b.wav,2", "CD1=/Music/a.mp3,1"}));

    std::string full;
    for (int n = 1; n <= 998; ++n) full += "CD" + std::to_string(n) + "=/a.mp3\r\n";
    writeSearchFile(full);
    index.load();
    EXPECT_EQ(proposeDiscName(index), "CD999");
    writeSearchFile(full.substr(full.find("CD2=")));
    index.load();
    EXPECT_EQ(proposeDiscName(index), "CD1");
}

TEST_F(ScanTest, AStoppedScanKeepsWhatItWroteAndTheOldFileStaysWholeUntilTheEnd) {
    for (int i = 0; i < 5; ++i) put("d/" + std::to_string(i) + ".mp3", 1);
    put("d/sub/x.mp3", 1);
    const std::vector<drives::Drive> drives = {drive(root("d"))};
    const std::string key = root("d") + ":";
    const std::string old = "CD1=/x.mp3,1\r\n" + key + "/old.mp3,1\r\n";
    writeSearchFile(old);

    const std::vector<std::string> chosen = {root("d")};
    auto job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    CountingObserver observer;
    observer.stopAfter = 2;
    observer.watchedFile = searchFile();
    observer.watchedText = old;
    EXPECT_EQ(job->run(observer), ScanJob::Result::Stopped);
    EXPECT_EQ(searchLines(), (Strings{"CD1=/x.mp3,1", key + "/0.mp3,1", key + "/1.mp3,1"}));
    EXPECT_EQ(observer.folders, Strings{root("d")});  // the sub-folder was not entered

    // No temporary file is left behind, and the file keeps its permissions.
    chmod(searchFile().c_str(), 0640);
    job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    observer.stopAfter = 0;
    EXPECT_EQ(job->run(observer), ScanJob::Result::Stopped);
    EXPECT_EQ(searchLines(), Strings{"CD1=/x.mp3,1"});
    struct stat st {};
    ASSERT_EQ(stat(searchFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST_F(ScanTest, AFileThatCannotBeReadOrReplacedIsLeftAlone) {
    put("d/a.mp3", 1);
    const std::vector<drives::Drive> drives = {drive(root("d"))};
    const std::vector<std::string> chosen = {root("d")};
    // A home "folder" that is a file: nothing can be created in it.
    const std::string notAFolder = home.file("file");
    test::writeFile(notAFolder, {});
    CountingObserver observer;
    EXPECT_EQ(hardDiskScan(notAFolder, chosen, drives, kScanBoth)->run(observer),
              ScanJob::Result::CreationFailed);
    // A search file that cannot be read is not replaced by one without its lines.
    fs::create_directory(searchFile());
    EXPECT_EQ(hardDiskScan(home.path().string(), chosen, drives, kScanBoth)->run(observer),
              ScanJob::Result::CreationFailed);
    EXPECT_TRUE(fs::is_directory(searchFile()));
    fs::remove(searchFile());

    // A missing home folder is made.
    const std::string fresh = home.file("new/home");
    auto job = hardDiskScan(fresh, chosen, drives, kScanBoth);
    job->start();
    EXPECT_EQ(job->wait(), ScanJob::Result::Done);
    EXPECT_TRUE(job->finished());
    EXPECT_EQ(job->progress().count(), 1u);
    EXPECT_EQ(job->progress().folder(), root("d"));
    EXPECT_EQ(linesOf(text(fresh + "/" + SearchIndex::kFileName)),
              Strings{root("d") + ":/a.mp3,1"});
}

TEST_F(ScanTest, AScanEndedByTheProgramClosingLeavesTheOldFileByteForByte) {
    for (int i = 0; i < 200; ++i) put("d/f" + std::to_string(i) + "/x.mp3", 1);
    const std::vector<drives::Drive> drives = {drive(root("d"))};
    const std::vector<std::string> chosen = {root("d")};
    const std::string key = root("d") + ":";
    // Line ends as other writers leave them: a rewritten file would not match.
    const std::string old = "CD1=/x.mp3,1\n" + key + "/old.mp3,1\r\n\r\nRock=/y.mp3";
    writeSearchFile(old);
    const auto untouched = [&] {
        EXPECT_EQ(text(searchFile()), old);
        EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
    };

    // Thrown away mid-walk, or before the walk.
    for (const uint64_t after : {2, 0}) {
        CountingObserver observer;
        observer.abandonAfter = after;
        EXPECT_EQ(hardDiskScan(home.path().string(), chosen, drives, kScanBoth)->run(observer),
                  ScanJob::Result::Abandoned);
        untouched();
    }
    // On its worker.
    auto job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    job->progress().requestAbandon();
    job->progress().requestStop();  // a stop does not undo it
    job->start();
    EXPECT_EQ(job->wait(), ScanJob::Result::Abandoned);
    untouched();

    // Destroyed while it runs: thrown away, or whole if it ended first; never the few
    // lines found so far.
    job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    job->start();
    job.reset();
    if (text(searchFile()) != old) {
        EXPECT_EQ(searchLines().size(), 2u + 200u);
    }

    // Stop keeps what was found, also when the job goes before its walk has ended.
    writeSearchFile(old);
    job = hardDiskScan(home.path().string(), chosen, drives, kScanBoth);
    job->start();
    job->progress().requestStop();
    job.reset();
    const Strings lines = searchLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(Strings(lines.begin(), lines.begin() + 2), (Strings{"CD1=/x.mp3,1", "Rock=/y.mp3"}));
}

// The command-line scan stopped by SIGTERM once it has begun to walk: thrown away, as the
// desk's own scan is when the desk closes (a scan that kept its lines would have removed
// the disc's old one). Its progress goes to a terminal that the test stops reading, so the
// walk cannot end before the signal has come.
TEST_F(ScanTest, TheToolsScanInterruptedMidWalkLeavesTheSearchFileAsItWas) {
    // Each folder entered shows a line of about 100 bytes: ten times what a terminal holds.
    const std::string longName(60, 'n');
    for (int i = 0; i < 1000; ++i)
        fs::create_directories(root("disc/" + longName + std::to_string(i)));
    const std::string old = "CD1=/x.mp3,1\r\nDISC=/old.mp3,1\r\n";
    writeSearchFile(old);

    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string toolSide = ::ptsname(terminal);
    const std::string log = tree.file("tool.log");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, toolSide.c_str(), O_RDWR | O_NOCTTY,
                                     0);
    std::vector<std::string> args = {
        SPINLOREX_TOOL_PATH, "scan", "--home", home.path().string(), "--cd", "DISC", root("disc")};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t tool = -1;
    ASSERT_EQ(posix_spawn(&tool, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    char shown[4096];
    pollfd ready{terminal, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 60'000), 1) << "no progress";
    ASSERT_GT(::read(terminal, shown, sizeof shown), 0);
    ASSERT_EQ(::kill(tool, SIGTERM), 0);
    int status = 0;
    while (::waitpid(tool, &status, WNOHANG) == 0) {
        if (::poll(&ready, 1, 100) == 1 && ::read(terminal, shown, sizeof shown) <= 0)
            ::waitpid(tool, &status, 0);  // the tool closed its side: it has ended
    }
    ::close(terminal);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(text(searchFile()), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 1);
}

TEST_F(ScanTest, DeleteACdGroupsEveryDriveAndDiscWithItsCount) {
    writeSearchFile(
        "CD1=/a.mp3\r\nCD10=/b.mp3\r\n/:/c.mp3,1\r\nCD1=/d.mp3\r\n=/empty name.mp3\r\n"
        "plain.mp3\r\n/media/x:/e.mp3\r\nC:\\f.mp3\r\n");
    SearchIndex index(home.path().string());
    index.load();
    const std::vector<DiscRow> rows = discRows(index);
    Strings keys;
    std::vector<size_t> counts;
    for (const DiscRow& row : rows) keys.push_back(row.key), counts.push_back(row.lines);
    EXPECT_EQ(keys, (Strings{"CD1", "CD10", "/:", "", "/media/x:", "C:"}));
    EXPECT_EQ(counts, (std::vector<size_t>{2, 1, 1, 2, 1, 1}));

    // Deleting the row without a name removes its own lines only.
    const std::vector<std::string> gone = {"", "CD1"};
    ASSERT_TRUE(deleteDiscs(index, gone));
    EXPECT_EQ(searchLines(),
              (Strings{"CD10=/b.mp3", "/:/c.mp3,1", "/media/x:/e.mp3", "C:\\f.mp3"}));

    // A drive's key is not a prefix test: the drive at /m/a is not the drive at /m/a:b.
    writeSearchFile("/m/a:/1.mp3,1\r\n/m/a:b:/2.mp3,2\r\n/m/a:/3.mp3,3\r\n");
    index.load();
    EXPECT_EQ(index.removeLinesWithKey("/m/a:"), 2u);
    EXPECT_EQ(index.line(1), "/m/a:b:/2.mp3,2");
    EXPECT_EQ(index.line(0), "");

    // A file that cannot be replaced stays as it was.
    index.load();
    const std::string missingHome = home.file("file");
    test::writeFile(missingHome, {});
    SearchIndex elsewhere(missingHome);
    const std::vector<std::string> all = {"/:"};
    EXPECT_FALSE(deleteDiscs(elsewhere, all));
}

TEST_F(ScanTest, TheDriveHoldingAPath) {
    const std::vector<drives::Drive> drives = {drive("/"), drive(root()), drive(root("a")),
                                               drive(root("ab"))};
    fs::create_directories(root("ab/c"));
    EXPECT_EQ(driveHolding(root("ab/c"), drives)->root, root("ab"));
    EXPECT_EQ(driveHolding(root("a"), drives)->root, root("a"));
    EXPECT_EQ(driveHolding(root("abc"), drives)->root, root());
    EXPECT_EQ(driveHolding("/etc", drives)->root, "/");
    fs::create_directory_symlink(root("ab/c"), root("link"));
    EXPECT_EQ(driveHolding(root("link"), drives)->root, root("ab"));
    EXPECT_FALSE(driveHolding("/etc", std::vector<drives::Drive>{drive(root())}).has_value());
}

}  // namespace
}  // namespace spinlorex
