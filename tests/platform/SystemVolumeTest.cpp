#include "platform/volume/SystemVolume.h"

#include <gtest/gtest.h>

#include <map>

namespace spinlorex {
namespace {

// A machine's mixer: controls by card and name, each with per-channel values.
class FakeMixer : public MixerAccess {
public:
    std::map<std::pair<std::string, std::string>, std::vector<long>> values;
    long max = 100;
    std::vector<std::string> order;  // card/name visited, for the order check

    std::vector<long> at(const std::string& card, const std::string& name) { return values[{card, name}]; }

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
        for (long& v : values[{c.card, c.name}]) v = max;
        return true;
    }
};

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

}  // namespace
}  // namespace spinlorex
