// The folder tree and the files list's loader read the disk on workers: a wide folder,
// folders that cannot be read, and a disk that never answers while the desk goes on.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "app/DeskAppFixture.h"
#include "library/views/FolderLoader.h"
#include "library/views/FolderTreeModel.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using test::processUntil;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Folders whose reads block until the test opens them: a disk that does not answer.
// Shared with the reads' threads, which may outlive the model that started them.
class Gates {
public:
    explicit Gates(std::set<std::string> closed) : closed_(std::move(closed)) {}
    // Read's thread: blocks while the folder named `path` ends in is closed.
    void pass(const std::string& path) {
        std::unique_lock lock(mutex_);
        const std::string name = fs::path(path).filename().string();
        ++waiting_[name];
        opened_.wait(lock, [&] { return !closed_.count(name); });
        --waiting_[name];
    }
    void open(const std::string& name) {
        std::lock_guard lock(mutex_);
        closed_.erase(name);
        opened_.notify_all();
    }
    int waiting(const std::string& name) {
        std::lock_guard lock(mutex_);
        return waiting_[name];
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    std::set<std::string> closed_;
    std::map<std::string, int> waiting_;
};

// The real disk, except that folders of a closed gate do not answer and folders named
// "Locked..." cannot be read (as the listing answers for a folder without permission).
FolderTreeModel::Disk stubDisk(const std::shared_ptr<Gates>& gates) {
    FolderTreeModel::Disk disk;
    const auto locked = [](const std::string& path) {
        return fs::path(path).filename().string().starts_with("Locked");
    };
    disk.subFolders = [gates, locked](const std::string& folder) {
        gates->pass(folder);
        return locked(folder) ? std::vector<SubFolder>{} : listSubFolders(folder);
    };
    disk.hasSubFolders = [gates, locked](const std::string& folder) {
        gates->pass(folder);
        return !locked(folder) && hasSubFolders(folder);
    };
    return disk;
}

void settle() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    processUntil([&] { return std::chrono::steady_clock::now() > until; });
}

class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::qtApp() == nullptr) GTEST_SKIP();
    }
    std::vector<std::string> rowNames(const FolderTreeModel& model, const QModelIndex& parent) {
        std::vector<std::string> names;
        for (int row = 0; row < model.rowCount(parent); ++row)
            names.push_back(model.index(row, 0, parent).data().toString().toStdString());
        return names;
    }
    test::TempDir dir;
};

// 60,000 entries come from a listing made up in memory: made on the disk, they take a
// minute to write and remove on a busy machine (the library bench opens such a folder).
TEST_F(FolderTreeTest, AFolderOf60000SubFoldersAndTracksComesWholeAndInOrder) {
    constexpr int kCount = 60'000;
    const auto numbered = [](const char* pattern, int i) {
        char name[32];
        std::snprintf(name, sizeof name, pattern, i);
        return std::string(name);
    };
    FolderTreeModel::Disk disk;
    disk.isFolder = [](const std::string&) { return true; };
    disk.subFolders = [numbered](const std::string& folder) {
        std::vector<SubFolder> folders;
        if (folder != "/wide") return folders;
        for (int i = 0; i < kCount; ++i) {
            const std::string name = numbered(i % 2 ? "Crate %05d" : "crate %05d", i);
            folders.push_back({name, "/wide/" + name});
        }
        return folders;
    };
    disk.hasSubFolders = [](const std::string& folder) {
        return std::stoi(folder.substr(folder.size() - 5)) % 1000 == 7;
    };
    FolderTreeModel model(nullptr, disk);
    std::vector<char> told(kCount, 0);  // a view was told to ask the row again
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& first, const QModelIndex& last) {
                         if (first.parent() != model.top()) return;
                         for (int row = first.row(); row <= last.row(); ++row)
                             told[size_t(row)] = 1;
                     });
    model.showFolder("/wide");
    ASSERT_TRUE(processUntil([&] { return !model.reading(); }, 60));
    const std::vector<std::string> names = rowNames(model, model.top());
    ASSERT_EQ(names.size(), size_t(kCount));
    for (int i = 0; i < kCount; i += 997)
        EXPECT_EQ(lower(names[size_t(i)]), numbered("crate %05d", i));
    // Each row learnt whether it has sub-folders, across every batch of answers.
    int expandable = 0;
    for (int row = 0; row < kCount; ++row) {
        const bool has = model.hasChildren(model.index(row, 0, model.top()));
        expandable += has;
        if (has != (row % 1000 == 7) || !told[size_t(row)]) ADD_FAILURE() << "row " << row;
    }
    EXPECT_EQ(expandable, kCount / 1000);

    std::vector<FolderItem> files;
    FolderLoader loader([&](std::vector<FolderItem> items) { files = std::move(items); },
                        [numbered](const std::string&) {
                            std::vector<FolderItem> items(kCount);
                            for (int i = 0; i < kCount; ++i)
                                items[size_t(i)].displayName = numbered("Tune %05d.mp3", i);
                            return items;
                        });
    loader.request("/wide");
    ASSERT_TRUE(processUntil([&] { return !loader.pending(); }, 60));
    ASSERT_EQ(files.size(), size_t(kCount));
    EXPECT_EQ(files.back().displayName, numbered("Tune %05d.mp3", kCount - 1));
}

TEST_F(FolderTreeTest, FoldersThatCannotBeReadShowWithoutChildren) {
    fs::create_directories(dir.path() / "top" / "LockedA" / "hidden");
    fs::create_directories(dir.path() / "top" / "Open" / "inner");
    fs::create_directories(dir.path() / "top" / "Shut" / "hidden");
    const bool root = ::geteuid() == 0;  // reads every folder whatever its permissions
    if (!root) fs::permissions(dir.path() / "top" / "Shut", fs::perms::none);

    FolderTreeModel model(nullptr, stubDisk(std::make_shared<Gates>(std::set<std::string>{})));
    model.showFolder((dir.path() / "top").string());
    ASSERT_TRUE(processUntil([&] { return !model.reading(); }));
    ASSERT_EQ(rowNames(model, model.top()), (std::vector<std::string>{"LockedA", "Open", "Shut"}));
    const QModelIndex locked = model.index(0, 0, model.top());
    const QModelIndex open = model.index(1, 0, model.top());
    const QModelIndex shut = model.index(2, 0, model.top());
    EXPECT_FALSE(model.hasChildren(locked));
    EXPECT_TRUE(model.hasChildren(open));
    EXPECT_EQ(model.hasChildren(shut), root);
    // Opened anyway (a view may ask): no rows, nothing left loading.
    for (const QModelIndex& index : {locked, shut}) {
        model.fetchMore(index);
        ASSERT_TRUE(processUntil([&] { return !model.reading(); }));
        EXPECT_FALSE(model.loading(index));
        EXPECT_EQ(model.rowCount(index), root && index == shut ? 1 : 0);
    }
    if (!root) fs::permissions(dir.path() / "top" / "Shut", fs::perms::owner_all);

    // A top folder that is not there: the tree empties and says so.
    bool gone = false;
    model.showFolder((dir.path() / "absent").string(), [&] { gone = true; });
    EXPECT_EQ(model.rowCount(), 1);  // shown at once, before the disk answers
    EXPECT_TRUE(model.hasChildren(model.top()));
    ASSERT_TRUE(processUntil([&] { return gone; }));
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(FolderTreeTest, AHungFolderStaysLoadingWhileOthersOpenAndTheCloseLeavesIt) {
    for (const char* sub : {"Hung/inner", "Open/inner", "Slow/inner"})
        fs::create_directories(dir.path() / "top" / sub);
    test::writeFile((dir.path() / "top" / "Open" / "A - B.mp3").string(), test::Bytes(10, 0));
    const auto gates = std::make_shared<Gates>(std::set<std::string>{"Hung", "Slow"});
    const auto path = [&](const char* name) { return (dir.path() / "top" / name).string(); };

    auto model = std::make_unique<FolderTreeModel>(nullptr, stubDisk(gates));
    model->showFolder(path(""));
    ASSERT_TRUE(processUntil([&] { return model->rowCount(model->top()) == 3; }));
    const QModelIndex hung = model->index(0, 0, model->top());
    const QModelIndex open = model->index(1, 0, model->top());
    const QModelIndex slow = model->index(2, 0, model->top());
    model->fetchMore(hung);
    model->fetchMore(slow);
    model->fetchMore(open);
    ASSERT_TRUE(processUntil([&] { return model->rowCount(open) == 1; }));
    EXPECT_TRUE(model->loading(hung));
    EXPECT_TRUE(model->hasChildren(hung));  // it can still be expanded
    EXPECT_EQ(model->rowCount(hung), 0);

    // Collapsed before its answer: the answer, when it comes, is dropped.
    ASSERT_TRUE(processUntil([&] { return gates->waiting("Slow") == 1; }));
    model->forget(slow);
    EXPECT_FALSE(model->loading(slow));
    gates->open("Slow");
    ASSERT_TRUE(processUntil([&] { return gates->waiting("Slow") == 0; }));
    settle();  // for the answer to come, and be dropped
    EXPECT_EQ(model->rowCount(slow), 0);

    // The files list: a hung folder's read does not keep another folder from its answer.
    std::vector<FolderItem> files;
    auto loader = std::make_unique<FolderLoader>(
        [&](std::vector<FolderItem> items) { files = std::move(items); },
        [gates](const std::string& folder) {
            gates->pass(folder);
            return listFolderFiles(folder);
        });
    loader->request(path("Hung"));
    ASSERT_TRUE(processUntil([&] { return gates->waiting("Hung") == 3; }));
    loader->request(path("Open"));
    ASSERT_TRUE(processUntil([&] { return !loader->pending(); }));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].displayName, "A - B.mp3");
    loader->request(path("Hung"));

    // Closing returns while the reads still hang. A close that joined them would wait until
    // this watchdog opened the gate, and fail.
    std::atomic<bool> closed = false, forced = false;
    std::thread watchdog([&] {
        if (!test::waitFor([&] { return closed.load(); }, 20)) forced = true;
        gates->open("Hung");
    });
    loader.reset();
    model.reset();
    closed = true;
    watchdog.join();
    EXPECT_FALSE(forced);
    EXPECT_TRUE(test::waitFor([&] { return gates->waiting("Hung") == 0; }));
}

TEST_F(FolderTreeTest, ReadsStuckOnAHungDiskHoldFewThreadsAndTheNextStartsWhenOneReturns) {
    fs::create_directories(dir.path() / "Hung");
    fs::create_directories(dir.path() / "Open");
    test::writeFile((dir.path() / "Open" / "A - B.mp3").string(), test::Bytes(10, 0));
    const auto gates = std::make_shared<Gates>(std::set<std::string>{"Hung"});
    std::vector<FolderItem> files;
    FolderLoader loader([&](std::vector<FolderItem> items) { files = std::move(items); },
                        [gates](const std::string& folder) {
                            gates->pass(folder);
                            return listFolderFiles(folder);
                        });
    constexpr int kMost = FolderReads<std::vector<FolderItem>>::kMaxRunning;
    for (int i = 0; i < kMost + 3; ++i) loader.request((dir.path() / "Hung").string());
    loader.request((dir.path() / "Open").string());
    ASSERT_TRUE(processUntil([&] { return gates->waiting("Hung") >= kMost; }));
    settle();
    EXPECT_EQ(gates->waiting("Hung"), kMost);
    EXPECT_TRUE(loader.pending());
    gates->open("Hung");
    ASSERT_TRUE(processUntil([&] { return !loader.pending(); }));
    ASSERT_EQ(files.size(), 1u);
}

}  // namespace
}  // namespace spinlorex
