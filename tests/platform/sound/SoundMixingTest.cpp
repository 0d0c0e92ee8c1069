// Buffers, cursors and mixing, observed on the manual clock (and through the WAV file,
// which holds exactly what was mixed).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/sound/SoundTestSupport.h"

namespace spinlorex::test {
namespace {

using sound::kNullWriteLatency;
using Cursors = std::pair<int32_t, int32_t>;

TEST(SoundBuffer, CursorsFollowTheClockWrapAndHoldWhileStopped) {
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createNullSystem(clock);
    auto device = openDefault(*system);
    auto buffer = makeBuffer(*device, 1000);
    auto tiny = makeBuffer(*device, 100);

    EXPECT_EQ(cursorsOf(*buffer), Cursors(0, kNullWriteLatency));
    clock->advance(500);  // not playing yet
    EXPECT_EQ(cursorsOf(*buffer), Cursors(0, kNullWriteLatency));

    ASSERT_TRUE(buffer->play());
    ASSERT_TRUE(tiny->play());
    clock->advance(300);
    EXPECT_EQ(cursorsOf(*buffer), Cursors(300, 300 + kNullWriteLatency));
    clock->advance(800);  // past the end: both cursors wrap
    EXPECT_EQ(cursorsOf(*buffer), Cursors(100, 100 + kNullWriteLatency));
    clock->advance(500);
    EXPECT_EQ(cursorsOf(*buffer), Cursors(600, 41));
    // The lead never reaches around a short buffer.
    EXPECT_EQ(cursorsOf(*tiny), Cursors(0, 50));

    ASSERT_TRUE(buffer->stop());
    clock->advance(700);
    EXPECT_EQ(cursorsOf(*buffer), Cursors(600, 41));
    ASSERT_TRUE(buffer->play());
    clock->advance(50);
    EXPECT_EQ(cursorsOf(*buffer), Cursors(650, 91));
}

TEST(SoundBuffer, LockedRegionsWrapAndPlayBackInOrder) {
    TempDir dir;
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createWavSystem(dir.file("out.wav"), clock);
    {
        auto device = openDefault(*system);
        auto buffer = makeBuffer(*device, 1000);

        sound::SoundBuffer::Region region;
        ASSERT_TRUE(buffer->lock(900, 200, region));
        EXPECT_EQ(region.firstFrames, 100);
        EXPECT_EQ(region.secondFrames, 100);
        EXPECT_EQ(region.second + 2 * 900, region.first);
        ASSERT_TRUE(buffer->lock(100, 800, region));
        EXPECT_EQ(region.firstFrames, 800);
        EXPECT_EQ(region.second, nullptr);
        EXPECT_EQ(region.secondFrames, 0);
        for (auto [offset, frames] : {std::pair{-1, 10}, {1000, 10}, {0, 0}, {0, 1001}})
            EXPECT_FALSE(buffer->lock(offset, frames, region)) << offset << " " << frames;

        // Frame f holds (f, -f): written as one wrapping region and one plain one.
        const auto ramp = [](int32_t f, int c) { return static_cast<int16_t>(c == 0 ? f : -f); };
        fill(*buffer, 900, 200, ramp);
        fill(*buffer, 100, 800, ramp);
        ASSERT_TRUE(buffer->play());
        clock->advance(1500);
    }
    system.reset();

    const auto samples = readWavSamples(dir.file("out.wav"));
    ASSERT_EQ(samples.size(), 2u * 1500);
    for (int32_t i = 0; i < 1500; ++i) {
        ASSERT_EQ(samples[2 * i], i % 1000) << i;
        ASSERT_EQ(samples[2 * i + 1], -(i % 1000)) << i;
    }
}

TEST(SoundBuffer, MixesAtVolumesSaturatesAndSilencesAtTheFloor) {
    TempDir dir;
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createWavSystem(dir.file("mix.wav"), clock);
    // Each step of 100 frames sets the volumes and the constant samples of both buffers.
    struct Step {
        int32_t volumeA, volumeB;
        int16_t a, b;
    };
    const Step steps[] = {
        {0, -600, 10000, 8000},        // -6 dB: about half of b
        {-2000, -2000, -20000, 9000},  // -20 dB: a tenth of each
        {0, 0, 30000, 30000},          // saturates high
        {0, 0, -30000, -30000},        // saturates low
        {0, -10000, 1234, 32767},      // the floor is exact silence
    };
    {
        auto device = openDefault(*system);
        auto a = makeBuffer(*device, 100);
        auto b = makeBuffer(*device, 100);
        ASSERT_TRUE(a->play());
        ASSERT_TRUE(b->play());
        for (const Step& s : steps) {
            ASSERT_TRUE(a->setVolume(s.volumeA));
            ASSERT_TRUE(b->setVolume(s.volumeB));
            fill(*a, 0, 100, [&](int32_t, int) { return s.a; });
            fill(*b, 0, 100, [&](int32_t, int) { return s.b; });
            clock->advance(100);
        }
        EXPECT_FALSE(a->setVolume(-10001));
        EXPECT_FALSE(a->setVolume(1));
        EXPECT_EQ(a->volume(), 0);
    }
    system.reset();

    const auto samples = readWavSamples(dir.file("mix.wav"));
    ASSERT_EQ(samples.size(), 2u * 100 * std::size(steps));
    const auto gain = [](int32_t v) { return std::pow(10.0, v / 2000.0); };
    const double expected[] = {10000 + 8000 * gain(-600), (-20000 + 9000) * 0.1, 32767, -32768,
                               1234};
    for (size_t s = 0; s < std::size(steps); ++s)
        for (size_t i = 0; i < 200; ++i)
            ASSERT_NEAR(samples[200 * s + i], expected[s], 1.0) << "step " << s;
}

TEST(SoundDevice, ALostDeviceFailsCleanlyAndRefusesBadBuffers) {
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createNullSystem(clock);
    auto device = openDefault(*system);
    sound::SoundError error = sound::SoundError::None;
    EXPECT_EQ(device->createBuffer(0, error), nullptr);
    EXPECT_EQ(error, sound::SoundError::Other);
    EXPECT_EQ(device->createBuffer(sound::kMaxBufferFrames + 1, error), nullptr);
    EXPECT_EQ(error, sound::SoundError::Other);
    std::vector<std::unique_ptr<sound::SoundBuffer>> buffers;
    for (int i = 0; i < sound::kMaxBuffersPerDevice; ++i)
        buffers.push_back(makeBuffer(*device, 64));
    EXPECT_EQ(device->createBuffer(64, error), nullptr);
    EXPECT_EQ(error, sound::SoundError::Other);
    buffers.pop_back();  // a freed slot is reused
    buffers.push_back(makeBuffer(*device, 64));
    ASSERT_TRUE(buffers[0]->play());

    device.reset();
    int32_t play = 0, write = 0;
    sound::SoundBuffer::Region region;
    EXPECT_FALSE(buffers[0]->cursors(play, write));
    EXPECT_FALSE(buffers[0]->lock(0, 10, region));
    EXPECT_FALSE(buffers[0]->play());
    clock->advance(1000);  // must not reach the buffers of the closed device
    buffers.clear();
}

// Buffers come and go on this thread while another mixes without pause: a buffer freed
// while the mixer still reads it shows up under the address sanitizer.
TEST(SoundDevice, BuffersComeAndGoWhileAnotherThreadMixes) {
    auto clock = std::make_shared<sound::ManualClock>();
    auto system = sound::createNullSystem(clock);
    auto device = openDefault(*system);
    std::atomic<bool> stop{false};
    std::thread mixer([&] {
        while (!stop.load()) clock->advance(4096);
    });
    // Churn only while the mixer runs, and for at least a few hundred of its passes.
    while (clock->elapsedFrames() == 0) std::this_thread::yield();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // A rolling set of buffers keeps the mixer inside one most of the time.
    std::vector<std::unique_ptr<sound::SoundBuffer>> live(8);
    for (int i = 0; i < 2000 || (clock->elapsedFrames() < 300 * 4096 &&
                                 std::chrono::steady_clock::now() < deadline);
         ++i) {
        auto& slot = live[static_cast<size_t>(i) % live.size()];
        slot.reset();
        slot = makeBuffer(*device, 1024 + i % 1000);
        if (!slot || !slot->play()) {
            ADD_FAILURE() << "buffer " << i << " does not play";
            break;
        }
    }
    stop = true;
    mixer.join();
}

TEST(SoundDevice, TheWallClockMovesThePlayCursor) {
    auto system = sound::createNullSystem();
    auto device = openDefault(*system);
    auto buffer = makeBuffer(*device, 44100);
    ASSERT_TRUE(buffer->play());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (cursorsOf(*buffer).first == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto [play, write] = cursorsOf(*buffer);
    EXPECT_GT(play, 0);
    EXPECT_EQ((write - play + 44100) % 44100, sound::kNullWriteLatency);
}

}  // namespace
}  // namespace spinlorex::test
