// Choosing a backend, identifying devices, and the WAV backend's file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/sound/SoundTestSupport.h"

namespace spinlorex::test {
namespace {

TEST(SoundSystem, TheEnvironmentChoosesTheBackend) {
    const auto backend = [](const char* value) -> std::string {
        const ScopedEnv choice("SPINLOREX_AUDIO",
                               value ? std::optional<std::string>(value) : std::nullopt);
        auto system = sound::soundSystemFromEnvironment();
        return system ? system->backendName() : "(none)";
    };
    EXPECT_EQ(backend(nullptr), "portaudio");
    EXPECT_EQ(backend(""), "portaudio");
    EXPECT_EQ(backend("portaudio"), "portaudio");
    EXPECT_EQ(backend("null"), "null");
    EXPECT_EQ(backend("wav:/tmp/x.wav"), "wav");
    EXPECT_EQ(backend("wav:"), "(none)");
    EXPECT_EQ(backend("jack"), "(none)");
    EXPECT_EQ(backend("NULL"), "(none)");
}

TEST(SoundSystem, IdentifiersAreStableHashesOfHostApiAndName) {
    // Stored in the settings: this value must never change.
    EXPECT_EQ(sound::toHex(sound::deviceIdFor("ALSA", "pulse")),
              "2ca0a0e2118588b751140fc9967f4261");
    EXPECT_NE(sound::deviceIdFor("ab", "c"), sound::deviceIdFor("a", "bc"));

    auto system = sound::createNullSystem(std::make_shared<sound::ManualClock>());
    const auto devices = system->devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_FALSE(devices[0].id.has_value());
    ASSERT_TRUE(devices[1].id.has_value());
    EXPECT_TRUE(devices[1].isDefault);
    sound::SoundError error = sound::SoundError::Other;
    EXPECT_NE(system->open(devices[1].id, 2, true, error), nullptr);
    EXPECT_EQ(error, sound::SoundError::None);
}

TEST(SoundSystem, AnUnknownIdentifierFailsToOpenOnEveryBackend) {
    TempDir dir;
    const sound::DeviceId unknown = sound::deviceIdFor("nowhere", "nothing");
    std::unique_ptr<sound::SoundSystem> systems[] = {sound::createNullSystem(),
                                                     sound::createWavSystem(dir.file("x.wav")),
                                                     sound::createPortAudioSystem()};
    for (auto& system : systems) {
        sound::SoundError error = sound::SoundError::None;
        EXPECT_EQ(system->open(unknown, 2, false, error), nullptr) << system->backendName();
        EXPECT_EQ(error, sound::SoundError::Other) << system->backendName();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.wav")));
}

TEST(WavSystem, TheFileHoldsWhatDevicesPlayedAcrossReopening) {
    TempDir dir;
    const std::string path = dir.file("session.wav");
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createWavSystem(path, clock);
    system->devices();
    clock->advance(100);  // no device yet: nothing is played
    EXPECT_FALSE(std::filesystem::exists(path)) << "listing devices must not create the file";

    auto first = openDefault(*system);
    auto buffer = makeBuffer(*first, 500);
    fill(*buffer, 0, 500, [](int32_t, int) { return int16_t{100}; });
    ASSERT_TRUE(buffer->play());
    clock->advance(300);
    buffer.reset();
    clock->advance(200);  // the device plays silence without buffers
    first.reset();
    clock->advance(1000);  // no device: nothing is played

    auto second = openDefault(*system);
    clock->advance(77);
    second.reset();
    system.reset();

    const auto samples = readWavSamples(path);
    ASSERT_EQ(samples.size(), 2u * (300 + 200 + 77));
    EXPECT_EQ(std::count(samples.begin(), samples.begin() + 600, 100), 600);
    EXPECT_EQ(std::count(samples.begin() + 600, samples.end(), 0), 2 * (200 + 77));

    sound::SoundError error = sound::SoundError::None;
    auto unwritable = sound::createWavSystem(dir.file("missing/folder/x.wav"));
    EXPECT_EQ(unwritable->open(std::nullopt, 2, false, error), nullptr);
    EXPECT_EQ(error, sound::SoundError::Other);
}

}  // namespace
}  // namespace spinlorex::test
