// The real backend end to end: a tone written the way the engine writes (ahead of the
// write cursor, up to the play cursor) goes through PortAudio and ALSA's pulse plug-in into
// a null sink of a PulseAudio daemon that this test runs itself; the sink's monitor is
// recorded with parec. Then the daemon is killed under the playing device.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <thread>

#include "platform/sound/PulseSupport.h"
#include "platform/sound/SoundTestSupport.h"

namespace spinlorex::test {
namespace {

TEST(PortAudioSystem, PlaysAToneIntoAPulseAudioSinkAndSurvivesTheServerDying) {
    // Whatever hangs, the process ends (and the kernel ends its children) after this.
    alarm(120);
    TempDir dir;
    const std::string socketPath = dir.file("native");
    std::string why;
    auto server =
        startPulse(dir, socketPath, {"sink_name=spinlorex_test rate=44100 channels=2"}, why);
    if (!server) GTEST_SKIP() << "PulseAudio cannot start here: " << why;
    const ScopedEnv pulseServer("PULSE_SERVER", "unix:" + socketPath);

    auto system = sound::createPortAudioSystem();
    std::optional<sound::DeviceId> target;
    std::cout << "[ devices  ]\n";
    for (const sound::DeviceInfo& device : system->devices()) {
        std::cout << "    " << (device.id ? sound::toHex(*device.id) : "default")
                  << (device.isDefault ? " * " : "   ") << device.description << "\n";
        if (device.description == "ALSA: pulse") target = device.id;
    }
    sound::SoundError error = sound::SoundError::Other;
    auto device = system->open(target, 2, false, error);
    ASSERT_NE(device, nullptr) << "open failed with error " << static_cast<int>(error);
    ASSERT_EQ(device->setPrimaryFormat(), sound::SoundError::None);

    Child recorder({"parec", "--device=spinlorex_test.monitor", "--raw", "--format=s16le",
                    "--rate=44100", "--channels=2", "--latency-msec=20"},
                   {"PULSE_SERVER=unix:" + socketPath}, dir.file("recorded.raw"),
                   dir.file("parec.log"));
    const auto recordedBytes = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(dir.file("recorded.raw"), ec);
        return ec ? 0 : size;
    };
    ASSERT_TRUE(waitFor([&] { return recordedBytes() > 0; }, std::chrono::seconds(5)))
        << "parec records nothing";

    // A 441 Hz tone, kept topped up as the engine's soft mix does: from the write cursor
    // at first, then from where the last write ended up to the play cursor.
    constexpr int32_t kFrames = 22050;
    auto buffer = makeBuffer(*device, kFrames);
    ASSERT_TRUE(buffer->play());
    int64_t toneFrame = 0;
    int32_t writeAt = cursorsOf(*buffer).second, lastPlay = 0, moves = 0;
    const auto tone = [&](int32_t, int c) {
        const double s =
            8000 * std::sin(2 * std::numbers::pi * 441 * static_cast<double>(toneFrame) / 44100);
        if (c == 1) ++toneFrame;
        return static_cast<int16_t>(std::lround(s));
    };
    for (const auto end = Clock::now() + std::chrono::milliseconds(1500); Clock::now() < end;) {
        auto [play, write] = cursorsOf(*buffer);
        ASSERT_GE(play, 0);
        ASSERT_LT(write, kFrames);
        // What is written at the write cursor is never what the callback is mixing.
        ASSERT_GE((write - play + kFrames) % kFrames, sound::kPortAudioWriteLead);
        moves += play != lastPlay;
        lastPlay = play;
        int32_t room = (play - writeAt + kFrames) % kFrames;
        room = (room == 0 ? kFrames : room) - 1;
        // In pieces, each handed over as soon as it is written, as a sound thread's passes
        // do; one lock over the whole buffer would hold back what the callback soon reads.
        while (room > 0) {
            const int32_t piece = std::min(room, 1024);
            fill(*buffer, writeAt, piece, tone);
            writeAt = (writeAt + piece) % kFrames;
            room -= piece;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(moves, 10) << "the play cursor hardly moves";
    recorder.stop(SIGINT);

    // The tone's left channel, in windows of 100 ms: those wholly within the tone must carry 88
    // zero crossings each (441 Hz).
    const Bytes raw = readFile(dir.file("recorded.raw"));
    const auto left = [&](size_t frame) {
        return static_cast<int16_t>(raw[4 * frame] | raw[4 * frame + 1] << 8);
    };
    int loudWindows = 0, crossings = 0;
    double loudestRms = 0;
    for (size_t start = 0; start + 4410 <= raw.size() / 4; start += 4410) {
        double energy = 0;
        int windowCrossings = 0;
        for (size_t f = start; f < start + 4410; ++f) {
            energy += static_cast<double>(left(f)) * left(f);
            windowCrossings += f > start && (left(f) >= 0) != (left(f - 1) >= 0);
        }
        const double rms = std::sqrt(energy / 4410);
        loudestRms = std::max(loudestRms, rms);
        if (rms > 5000) ++loudWindows, crossings += windowCrossings;  // tone alone: 5657
    }
    std::cout << "[ recorded ] " << raw.size() / 4 << " frames, " << loudWindows
              << " loud windows of 100 ms, loudest RMS " << loudestRms << ", "
              << (loudWindows ? crossings / loudWindows : 0) << " zero crossings per window\n";
    EXPECT_GE(loudWindows, 8) << "the tone did not reach the sink";
    if (loudWindows > 0) {
        EXPECT_NEAR(crossings / static_cast<double>(loudWindows), 88.2, 3);
    }

    // The server goes away mid-play: the cursors must report it, and nothing may hang.
    server->stop(SIGKILL);
    const auto killed = Clock::now();
    int32_t play = 0, write = 0;
    EXPECT_TRUE(waitFor([&] { return !buffer->cursors(play, write); }, std::chrono::seconds(10)))
        << "cursors still readable after the server died";
    std::cout
        << "[ vanished ] cursors failed "
        << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()
        << " ms after the server was killed\n";
    EXPECT_FALSE(buffer->cursors(play, write)) << "a lost device must stay lost";
    device.reset();
    buffer.reset();
    alarm(0);
}

}  // namespace
}  // namespace spinlorex::test
