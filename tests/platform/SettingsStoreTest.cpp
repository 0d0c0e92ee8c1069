// The settings file as the desk loads and saves it: defaults, reading rules, the skin's
// version gate, the column repair, the CD drive, and saves that never leave a broken file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/settings/RegFile.h"
#include "platform/settings/SettingsStore.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using drives::Drive;
using enum drives::DriveType;
using Columns = std::array<int32_t, Settings::kColumnSizes>;

const std::vector<Drive> kMachine = {{"/", "/dev/sda1", "ext4", Fixed},
                                     {"/media/stick", "/dev/sdb1", "vfat", Removable},
                                     {"/media/cd", "/dev/sr0", "iso9660", CdRom}};

std::string hexBytes(size_t count, uint8_t value = 0) {
    std::string out = "hex:";
    for (size_t i = 0; i < count; ++i) out += (i ? "," : "") + std::string(value ? "41" : "00");
    return out;
}

std::string columnsHex(const Columns& columns) {
    reg::File file;
    std::vector<uint8_t> data;
    for (int32_t c : columns)
        for (int shift = 0; shift < 32; shift += 8) data.push_back(uint8_t(uint32_t(c) >> shift));
    file.findOrAdd("K").set(reg::binaryValue("", data));
    const std::string text = reg::format(file);
    return text.substr(text.find("=") + 1);
}

// Sets an environment variable (unsets it for null) for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        if (old != nullptr) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string file() const { return dir.file("settings.reg"); }
    // Loads a file of these value lines under the settings key.
    void load(const std::string& values, const std::vector<Drive>& drives = kMachine) {
        const std::string text = "REGEDIT4\n\n[" + std::string(kSettingsKey) + "]\n" + values;
        test::writeFile(file(), test::Bytes(text.begin(), text.end()));
        loadSettings(s, file(), drives);
    }
    std::string saved() const {
        const test::Bytes bytes = test::readFile(file());
        return std::string(bytes.begin(), bytes.end());
    }
    test::TempDir dir;
    // The default home folder is made in here, not in the user's own data folder.
    ScopedEnv data_{"XDG_DATA_HOME", dir.file("data").c_str()};
    Settings s;
};

TEST_F(SettingsStoreTest, WithoutFileEveryDefaultHolds) {
    const Settings fresh;
    set(s.autoBpm, 7), set(s.longMix, 40), set(s.maximized, 5), s.skin = "old";
    s.soundCardGuid = Settings::DeviceId{};
    loadSettings(s, dir.file("missing.reg"), kMachine);
    for (auto field : {&Settings::autoBpm, &Settings::longMix, &Settings::maximized})
        EXPECT_EQ(get(s.*field), get(fresh.*field));
    EXPECT_EQ(s.homeFolder, dir.file("data/spinlorex"));
    EXPECT_TRUE(std::filesystem::is_directory(s.homeFolder));
    EXPECT_EQ(s.cdDrive, "/media/cd");
    EXPECT_EQ(s.skin, "");
    EXPECT_EQ(s.columnSizes, Settings::kDefaultColumnSizes);
    EXPECT_FALSE(s.initialFolder || s.soundCardGuid || s.soundCard1Guid || s.soundCard2Guid);
}

TEST_F(SettingsStoreTest, ColumnSizesNeedExactly112BytesAndAreRepaired) {
    for (size_t size : {111u, 113u}) {
        load("\"Column Sizes\"=" + hexBytes(size, 0x41) + "\n");
        EXPECT_EQ(s.columnSizes, Settings::kDefaultColumnSizes) << size;
    }
    Columns stored = {0, 0,  0,  0,  5,  -5, 0, 0, 1, 0,  0,  0, 7,  8,
                      9, 10, 11, 12, 13, 14, 0, 0, 0, -1, -3, 0, 15, 300};
    load("\"Column Sizes\"=" + columnsHex(stored) + "\n");
    const Columns repaired = {16, 16, 16, 16, 16, 16, 16, 16, 1, 0,  0,  0,  7,  8,
                              9,  10, 11, 12, 13, 14, 0,  0,  0, -1, 16, 16, 16, 300};
    EXPECT_EQ(s.columnSizes, repaired);
}

TEST_F(SettingsStoreTest, SkinIsReadOnlyUnderThisVersion) {
    for (auto [version, skin] : {std::pair{"\"1.12\"", "Night"},
                                 {"\"1.11\"", ""},
                                 {"\"1.12 \"", ""},
                                 {"dword:00000112", ""},
                                 {"hex(1):31,2e,31,32,00", "Night"}}) {
        load(std::string("\"Skin\"=\"Night\"\n\"Version\"=") + version + "\n");
        EXPECT_EQ(s.skin, skin) << version;
    }
    load("\"Skin\"=\"Night\"\n");
    EXPECT_EQ(s.skin, "");
}

TEST_F(SettingsStoreTest, ValuesOfTheWrongTypeOrSizeKeepTheirDefaults) {
    const std::string text511(511, 'x');
    load(
        "\"AutoBpm\"=\"0\"\n"                // a DWORD stored as text
        "\"MasterTempo\"=hex(4):00,00,00\n"  // a DWORD of three bytes
        "\"LongMix\"=hex(4):28,00,00,00\n"   // a DWORD in hex form counts
        "\"Sound card GUID\"=" +
        hexBytes(15) +
        "\n"
        "\"Sound card 1 GUID\"=\"0123456789abcdef\"\n"
        "\"Sound card 2 GUID\"=" +
        hexBytes(16, 1) +
        "\n"
        "\"Home folder\"=\"" +
        text511 +
        "y\"\n"  // 512 bytes and the terminator
        "\"CD Drive\"=hex(2):2f,00\n"
        "\"Skin\"=\"" +
        text511 +
        "\"\n\"Version\"=\"1.12\"\n"
        "\"Initial folder\"=\"/music\"\n"
        "\"baby secure\"=dword:00000002\n"  // names are compared without case
        "\"TOOLTIP\"=dword:00000000\n");
    EXPECT_EQ(get(s.autoBpm), 1);
    EXPECT_EQ(get(s.masterTempo), 1);
    EXPECT_EQ(get(s.longMix), 40);
    EXPECT_FALSE(s.soundCardGuid || s.soundCard1Guid);
    Settings::DeviceId stored;
    stored.fill(0x41);
    EXPECT_EQ(s.soundCard2Guid, stored);
    EXPECT_EQ(s.homeFolder, dir.file("data/spinlorex"));
    EXPECT_EQ(s.cdDrive, "/media/cd");
    EXPECT_EQ(s.skin, text511);
    EXPECT_FALSE(s.initialFolder);
    EXPECT_EQ(get(s.babySecure), 2);
    EXPECT_EQ(get(s.toolTip), 0);

    saveSettings(s, file());  // the value is one: written once, in its own spelling
    const std::string text = saved();
    EXPECT_NE(text.find("\"Baby Secure\"=dword:00000002"), std::string::npos) << text;
    EXPECT_EQ(text.find("baby secure"), std::string::npos) << text;
}

TEST_F(SettingsStoreTest, MalformedLinesCostOnlyTheirOwnValue) {
    load(
        "\"AutoLevel\"=dword:1\n"
        "\"AutoBpm\"=dword:zz\n"
        "garbage \x01\xFF\n"
        "\"Skin\"=\"unterminated\n"
        "\"Column Sizes\"=hex:00,\\\n"
        "\"LimitPitch\"=dword:00000001\n"
        "\"Version\"=\"1.12\"\n");
    EXPECT_EQ(get(s.autoLevel), 1);
    EXPECT_EQ(get(s.autoBpm), 1);
    EXPECT_EQ(s.skin, "");
    EXPECT_EQ(s.columnSizes, Settings::kDefaultColumnSizes);
    EXPECT_EQ(get(s.limitPitch), 1);
}

TEST_F(SettingsStoreTest, CdDriveDefaultAndCheck) {
    const Drive floppy{"/media/A", "/dev/sdb", "vfat", Removable},
        c{"/", "/dev/sda1", "ext4", Fixed}, d{"/media/D", "/dev/sr0", "iso9660", CdRom},
        e{"/media/E", "/dev/sr1", "udf", CdRom};
    const std::vector<std::vector<Drive>> machines = {{floppy, c, d, e}, {floppy, c}, {c}, {}};
    const char* defaults[] = {"/media/D", "/media/A", "/", ""};
    for (size_t m = 0; m < machines.size(); ++m) {
        load("", machines[m]);
        EXPECT_EQ(s.cdDrive, defaults[m]) << m;
    }
    for (auto [stored, kept] : {std::pair{"/media/E/", true},
                                {"/media/A", true},
                                {"/", false},
                                {"/media/gone", false},
                                {"", false}}) {
        load("\"CD Drive\"=\"" + std::string(stored) + "\"\n", machines[0]);
        EXPECT_EQ(s.cdDrive, kept ? stored : "/media/D") << stored;
    }
}

void setEverything(Settings& s, uint8_t seed) {
    int32_t n = seed;
    for (auto field :
         {&Settings::limitPitch, &Settings::masterTempo, &Settings::longMix, &Settings::autoZPitch,
          &Settings::autoLevel, &Settings::autoBpm, &Settings::multiInstance, &Settings::crossfader,
          &Settings::maximized, &Settings::outputMode, &Settings::toolTip, &Settings::babySecure,
          &Settings::masterTempoQuality})
        set(s.*field, n++);
    set(s.outputMode, -5);
    s.homeFolder = "/home/me/\"DJ\" \\ sets\n";
    s.cdDrive = "/media/cd";
    s.skin = "Skin \"" + std::to_string(seed) + "\" C:\\";
    s.initialFolder = std::vector<uint8_t>(300, seed);
    for (int32_t& width : s.columnSizes) width = 100 + n++;
    s.soundCardGuid = Settings::DeviceId{seed, 2, 3};
    s.soundCard1Guid = Settings::DeviceId{4, seed};
    s.soundCard2Guid = std::nullopt;
}

void expectSame(const Settings& a, const Settings& b) {
    for (auto field :
         {&Settings::limitPitch, &Settings::masterTempo, &Settings::longMix, &Settings::autoZPitch,
          &Settings::autoLevel, &Settings::autoBpm, &Settings::multiInstance, &Settings::crossfader,
          &Settings::maximized, &Settings::outputMode, &Settings::toolTip, &Settings::babySecure,
          &Settings::masterTempoQuality})
        EXPECT_EQ(get(a.*field), get(b.*field));
    EXPECT_EQ(a.homeFolder, b.homeFolder);
    EXPECT_EQ(a.cdDrive, b.cdDrive);
    EXPECT_EQ(a.skin, b.skin);
    EXPECT_EQ(a.initialFolder, b.initialFolder);
    EXPECT_EQ(a.columnSizes, b.columnSizes);
    EXPECT_EQ(a.soundCardGuid, b.soundCardGuid);
    EXPECT_EQ(a.soundCard1Guid, b.soundCard1Guid);
    EXPECT_EQ(a.soundCard2Guid, b.soundCard2Guid);
}

TEST_F(SettingsStoreTest, SaveThenLoadGivesEveryValueBack) {
    const std::string nested = dir.file("new/folder/settings.reg");
    setEverything(s, 9);
    saveSettings(s, nested);  // creates the folders
    Settings back;
    loadSettings(back, nested, kMachine);
    expectSame(s, back);

    // A device no longer chosen is gone; a folder not held keeps what the file had.
    s.soundCardGuid.reset();
    s.soundCard2Guid = Settings::DeviceId{7};
    s.initialFolder.reset();
    s.homeFolder.clear();
    saveSettings(s, nested);
    loadSettings(back, nested, kMachine);
    EXPECT_FALSE(back.soundCardGuid);
    EXPECT_EQ(back.soundCard2Guid, s.soundCard2Guid);
    EXPECT_EQ(back.initialFolder, std::vector<uint8_t>(300, 9));
    EXPECT_EQ(back.homeFolder, "/home/me/\"DJ\" \\ sets\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("new/folder")), {}), 1);
}

TEST_F(SettingsStoreTest, SaveKeepsWhatTheStoreDoesNotKnow) {
    load("\"Future option\"=dword:00000003\n\"AutoBpm\"=\"stale text\"\n[Other]\n\"X\"=\"y\"\n");
    saveSettings(s, file());
    const reg::File back = reg::parse(saved(), "none");
    EXPECT_EQ(back.find(kSettingsKey)->find("Future option")->data,
              (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(back.find(kSettingsKey)->find("AutoBpm")->type, uint32_t{reg::kDword});
    EXPECT_NE(back.find("Other")->find("X"), nullptr);
}

TEST_F(SettingsStoreTest, FailedSaveLeavesTheOldFile) {
    setEverything(s, 1);
    saveSettings(s, file());
    const std::string before = saved();
    setEverything(s, 2);

    // The folder cannot even be made.
    saveSettings(s, dir.file("settings.reg/inside/settings.reg"));
    EXPECT_EQ(saved(), before);

    // The folder may not be written to (by a user without the right to, even under root).
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0555));
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        saveSettings(s, file());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0700));
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "root rights cannot be dropped here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(saved(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(SettingsStoreTest, AStoredHomeFolderKeepsItsMeaningAndNothingIsMadeForIt) {
    load("\"Home folder\"=\"" + dir.file("gone") + "\"\n");
    EXPECT_EQ(s.homeFolder, dir.file("gone"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("gone")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
    // Without one, the data folder's own, made on the spot (also from a file without it).
    load("\"AutoBpm\"=dword:00000000\n");
    EXPECT_EQ(s.homeFolder, dir.file("data/spinlorex"));
    EXPECT_TRUE(std::filesystem::is_directory(s.homeFolder));
}

TEST(DefaultHomeFolder, EnvironmentChoosesTheFolder) {
    const auto folder = [](const char* xdg, const char* home) {
        ScopedEnv data("XDG_DATA_HOME", xdg), user("HOME", home);
        return defaultHomeFolder();
    };
    EXPECT_EQ(folder("/xdg", "/home/me"), "/xdg/spinlorex");
    EXPECT_EQ(folder("", "/home/me"), "/home/me/.local/share/spinlorex");
    EXPECT_EQ(folder("relative", "/home/me"), "/home/me/.local/share/spinlorex");
    EXPECT_EQ(folder(nullptr, nullptr), std::filesystem::current_path().string());
}

TEST(SettingsFilePath, EnvironmentChoosesTheFolder) {
    const auto path = [](const char* configDir, const char* xdg, const char* home) {
        for (auto [name, value] : {std::pair{"SPINLOREX_CONFIG_DIR", configDir},
                                   {"XDG_CONFIG_HOME", xdg},
                                   {"HOME", home}})
            value ? setenv(name, value, 1) : unsetenv(name);
        return settingsFilePath().string();
    };
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    EXPECT_EQ(path("/cfg", "/xdg", "/home/me"), "/cfg/settings.reg");
    EXPECT_EQ(path("", "/xdg", "/home/me"), "/xdg/spinlorex/settings.reg");
    EXPECT_EQ(path(nullptr, "relative", "/home/me"), "/home/me/.config/spinlorex/settings.reg");
    EXPECT_EQ(path(nullptr, nullptr, nullptr), "");
    path(nullptr, nullptr, home ? savedHome.c_str() : nullptr);
}

TEST(SettingsStore, SavesCutShortByAKillAreRemovedAtTheNextStart) {
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "settings.reg";
    // A program that no longer runs, and one that does (a save of its own under way).
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string leftover = file.string() + ".tmp-" + std::to_string(gone) + "-123";
    const std::string underWay = file.string() + ".tmp-" + std::to_string(::getppid()) + "-456";
    for (const std::string& path : {leftover, underWay, dir.file("other.tmp-1-1")})
        test::writeFile(path, {1});
    removeLeftoverSaves(file);
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_TRUE(std::filesystem::exists(underWay));
    EXPECT_TRUE(std::filesystem::exists(dir.file("other.tmp-1-1")));
}

}  // namespace
}  // namespace spinlorex
