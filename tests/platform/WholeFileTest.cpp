// Files read whole and replaced whole.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/core/WholeFile.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    const test::Bytes bytes = test::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(WholeFile, OnlyARegularFileWithinTheLimitIsRead) {
    const test::TempDir dir;
    const std::string file = dir.file("a.txt");
    test::writeFile(file, {'a', 'b', 'c', 0, 'd'});
    std::string text = "old";
    EXPECT_EQ(readWholeFile(file, text, 5), FileRead::Read);
    EXPECT_EQ(text, std::string("abc\0d", 5));
    EXPECT_EQ(readWholeFile(file, text, 4), FileRead::TooLarge);
    EXPECT_TRUE(text.empty());

    EXPECT_EQ(readWholeFile(dir.file("absent"), text), FileRead::Missing);
    EXPECT_EQ(readWholeFile(file + "/under-a-file", text), FileRead::Missing);
    EXPECT_EQ(readWholeFile(dir.path().string(), text), FileRead::NotAFile);
    EXPECT_EQ(readWholeFile("/dev/zero", text), FileRead::NotAFile);
    // A pipe with no writer would block a reader that waited for one.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(readWholeFile(dir.file("pipe"), text), FileRead::NotAFile);
    // The kernel's files report no size: the limit holds while reading.
    EXPECT_EQ(readWholeFile("/proc/self/maps", text, 10), FileRead::TooLarge);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(readWholeFile("/proc/self/maps", text), FileRead::Read);
    EXPECT_GT(text.size(), 10u);
}

TEST(WholeFile, AReplacementThatFailsHalfWayKeepsTheOldFileWhole) {
    const test::TempDir dir;
    const std::string file = dir.file("set.txt");
    ASSERT_TRUE(replaceFile(file, "old\n"));
    fs::permissions(file, fs::perms(0640));
    const std::string bigger(100000, 'x');

    // The disk fills up in the middle of the write.
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tiny = old;
    tiny.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = replaceFile(file, bigger);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(contents(file), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);  // no temporary left
    // A whole write keeps the file's permissions.
    ASSERT_TRUE(replaceFile(file, bigger));
    EXPECT_EQ(contents(file), bigger);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
}

TEST(WholeFile, LinksFoldersAndDevicesAreNotReplaced) {
    const test::TempDir dir;
    const std::string file = dir.file("set.txt");
    ASSERT_TRUE(replaceFile(file, "old\n"));
    // A file kept as a link stays a link to the file it names.
    fs::create_symlink(file, dir.path() / "link.txt");
    ASSERT_TRUE(replaceFile(dir.file("link.txt"), "new\n"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(contents(file), "new\n");

    EXPECT_FALSE(replaceFile(dir.path(), "a folder stays"));
    EXPECT_FALSE(replaceFile("/dev/full", "a device stays"));
    EXPECT_FALSE(replaceFile(dir.file("no/such/folder.txt"), "x"));
    ASSERT_TRUE(
        replaceFile(dir.file("made/folder.txt"), "x", FileReplacement::Folder::Create, 0600));
    EXPECT_EQ(contents(dir.file("made/folder.txt")), "x");
    EXPECT_EQ(fs::status(dir.file("made/folder.txt")).permissions(), fs::perms(0600));
}

}  // namespace
}  // namespace spinlorex
