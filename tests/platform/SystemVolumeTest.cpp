#include "platform/volume/SystemVolume.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "support/Files.h"

namespace spinlorex {
namespace {

// A machine's mixer: controls by card and name, each with per-channel values.
class FakeMixer : public MixerAccess {
public:
    std::map<std::pair<std::string, std::string>, std::vector<long>> values;
    long max = 100;
    std::vector<std::string> order;  // card/name visited, for the order check

    std::vector<long> at(const std::string& card, const std::string& name) {
        return values[{card, name}];
    }

    std::vector<Control> controls() override {
        std::vector<Control> list;
        for (const auto& [key, v] : values) list.push_back({key.first, key.second});
        return list;
    }
    bool read(const Control& c, std::vector<long>& out) override {
        order.push_back(c.card + "/" + c.name);
        out = values.at({c.card, c.name});
        return true;
    }
    bool write(const Control& c, const std::vector<long>& v) override {
        values[{c.card, c.name}] = v;
        return true;
    }
    bool maximise(const Control& c) override {
        if (!restoreFile.empty()) fileBeforeRaise = test::readFile(restoreFile);
        for (long& v : values[{c.card, c.name}]) v = max;
        return true;
    }
    std::string restoreFile;  // when set, what it holds is kept at each raise
    test::Bytes fileBeforeRaise;
};

std::string text(const test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(SystemVolume, SavesRaisesAndRestoresEveryControl) {
    auto mixer = std::make_unique<FakeMixer>();
    FakeMixer& m = *mixer;
    m.values[{"A", "Master"}] = {40, 45};
    m.values[{"A", "PCM"}] = {70, 70};
    m.values[{"B", "Master"}] = {10};
    SystemVolume volume(std::move(mixer));
    volume.saveAndMaximise();
    EXPECT_EQ(m.at("A", "Master"), (std::vector<long>{100, 100}));
    EXPECT_EQ(m.at("B", "Master"), (std::vector<long>{100}));
    EXPECT_EQ(m.order.front(), "B/Master");  // visited from the last control to the first

    // A card unplugged meanwhile is not touched again; the others get their values back.
    m.values.erase({"B", "Master"});
    volume.restore();
    EXPECT_EQ(m.at("A", "Master"), (std::vector<long>{40, 45}));
    EXPECT_EQ(m.at("A", "PCM"), (std::vector<long>{70, 70}));
    EXPECT_EQ(m.values.count({"B", "Master"}), 0u);
    EXPECT_FALSE(volume.saved());
    volume.restore();  // nothing saved: nothing happens
}

TEST(SystemVolume, AMachineWithoutCardsIsLeftAlone) {
    SystemVolume volume(std::make_unique<FakeMixer>());
    volume.saveAndMaximise();
    EXPECT_TRUE(volume.saved());
    volume.restore();
    EXPECT_FALSE(volume.saved());
}

TEST(SystemVolume, TheValuesAreOnDiskBeforeAnyIsRaisedAndTheFileGoesWithTheRestore) {
    test::TempDir dir;
    const std::string file = dir.file("config/volumes-to-restore");
    auto mixer = std::make_unique<FakeMixer>();
    FakeMixer& m = *mixer;
    m.values[{"A", "Master"}] = {40, 45};
    m.values[{"B", "PCM"}] = {7};
    m.restoreFile = file;
    SystemVolume volume(std::move(mixer), file);
    volume.saveAndMaximise();
    EXPECT_EQ(text(m.fileBeforeRaise), "spinlorex volumes 1\npid " + std::to_string(::getpid()) +
                                           "\nB\tPCM\t7\nA\tMaster\t40 45\n");
    EXPECT_EQ(m.at("A", "Master"), (std::vector<long>{100, 100}));
    volume.restore();
    EXPECT_EQ(m.at("A", "Master"), (std::vector<long>{40, 45}));
    EXPECT_FALSE(std::filesystem::exists(file));

    // Where the values cannot be kept, nothing is raised.
    test::writeFile(dir.file("not-a-folder"), {});
    auto second = std::make_unique<FakeMixer>(m);
    FakeMixer& n = *second;
    n.restoreFile.clear();
    SystemVolume nowhere(std::move(second), dir.file("not-a-folder") + "/x/volumes-to-restore");
    nowhere.saveAndMaximise();
    EXPECT_EQ(n.at("A", "Master"), (std::vector<long>{40, 45}));
    EXPECT_EQ(n.at("B", "PCM"), (std::vector<long>{7}));
    nowhere.restore();
}

TEST(SystemVolume, ACrashedDesksVolumesAreRestoredAtTheNextStart) {
    test::TempDir dir;
    const std::string file = dir.file("volumes-to-restore");
    auto mixer = std::make_unique<FakeMixer>();
    FakeMixer& m = *mixer;
    m.values[{"A", "Master"}] = {40, 45};
    m.values[{"A", "PCM"}] = {70};
    // A desk that raises the volumes and dies without a word.
    const pid_t child = ::fork();
    if (child == 0) {
        SystemVolume dying(std::make_unique<FakeMixer>(m), file);
        dying.saveAndMaximise();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(std::filesystem::exists(file));

    // The machine as the dead desk left it: everything at full volume.
    m.values[{"A", "Master"}] = {100, 100};
    m.values[{"A", "PCM"}] = {100};
    SystemVolume next(std::move(mixer), file);
    EXPECT_TRUE(next.restoreLeftover());
    EXPECT_EQ(m.at("A", "Master"), (std::vector<long>{40, 45}));
    EXPECT_EQ(m.at("A", "PCM"), (std::vector<long>{70}));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(next.restoreLeftover());  // nothing left

    // The file of a desk that still runs is its own; its crash handler forces it.
    test::writeFile(file, test::Bytes{});
    {
        std::ofstream out(file);
        out << "spinlorex volumes 1\npid " << ::getppid() << "\nA\tPCM\t5\n";
    }
    EXPECT_FALSE(next.restoreLeftover());
    EXPECT_EQ(m.at("A", "PCM"), (std::vector<long>{70}));
    EXPECT_TRUE(next.restoreLeftover(/*force=*/true));
    EXPECT_EQ(m.at("A", "PCM"), (std::vector<long>{5}));
}

}  // namespace
}  // namespace spinlorex
