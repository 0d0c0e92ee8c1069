#include "recorder/MixRecorder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "support/ChildProcess.h"
#include "support/ConstantReader.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/SndfileRead.h"
#include "support/WavFile.h"

namespace spinlorex {
namespace {

using namespace std::chrono_literals;

// Frames that carry their own index (left the low 15 bits, right the next 15), so a file's
// order and completeness can be checked.
std::vector<int16_t> numberedFrames(int32_t from, int32_t count) {
    std::vector<int16_t> frames(static_cast<size_t>(count) * 2);
    for (int32_t i = 0; i < count; ++i) {
        frames[2 * static_cast<size_t>(i)] = static_cast<int16_t>((from + i) & 0x7FFF);
        frames[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>((from + i) >> 15);
    }
    return frames;
}

// The first frame of the file whose number is wrong, or -1 when all are in order.
int32_t firstFrameOutOfOrder(const test::WavFile& wav) {
    for (size_t f = 0; f + 1 < wav.samples.size(); f += 2)
        if ((wav.samples[f] | (wav.samples[f + 1] << 15)) != static_cast<int32_t>(f / 2))
            return static_cast<int32_t>(f / 2);
    return -1;
}

TEST(MixRecorder, OneMinuteIsDescribedAndWrittenWhole) {
    test::TempDir dir;
    const std::string path = dir.file("mix.wav");
    {
        MixRecorder recorder(path, 1ms);
        ASSERT_TRUE(recorder.hasFile());
        // 140 pieces of 18900 frames, each drained (but for less than one batch) before the
        // next arrives, as the ring holds only half a second.
        for (int32_t p = 0; p < 140; ++p) {
            recorder.write(numberedFrames(p * 18900, 18900).data(), 18900);
            ASSERT_TRUE(
                test::waitFor([&] { return recorder.framesWritten() > (p + 1) * 18900 - 2250; }));
        }
        // The minute ends exactly at the ring's start: the last batch drains whole.
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 2646000; }));
        EXPECT_EQ(recorder.describe(), "Saving WAV file\nFileName: " + path +
                                           "\nTime Recorded: 0:01:00\nFileSize: 10.1 Mo");
        EXPECT_FALSE(recorder.failed());
    }
    const test::WavFile wav = test::readWav(path);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.sampleRate, 44100u);
    EXPECT_EQ(wav.bitsPerSample, 16);
    ASSERT_EQ(wav.dataSize, 2646000u * 4);
    EXPECT_EQ(firstFrameOutOfOrder(wav), -1);
}

TEST(MixRecorder, TheLastFramesAreWrittenAtStopAndTheSizesKeptUpWhileRecording) {
    test::TempDir dir;
    const std::string path = dir.file("short.wav");
    {
        MixRecorder recorder(path, 1ms);
        recorder.write(numberedFrames(0, 10000).data(), 10000);
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 10000; }));
        // While the recording runs, the file already plays up to what was written.
        ASSERT_TRUE(test::waitFor([&] { return test::readWav(path).dataSize == 10000u * 4; }, 3));
        EXPECT_TRUE(test::readWav(path).playable);
        // Fewer frames than a batch: they wait in the ring until the stop.
        recorder.write(numberedFrames(10000, 2249).data(), 2249);
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(recorder.framesWritten(), 10000);
    }
    const test::WavFile wav = test::readWav(path);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.dataSize, 12249u * 4);
    EXPECT_EQ(firstFrameOutOfOrder(wav), -1);
}

TEST(MixRecorder, AWrappedRingStillWritesFramesInOrder) {
    test::TempDir dir;
    const std::vector<int16_t> frames = numberedFrames(0, 25000);
    {
        MixRecorder recorder(dir.file("wrap.wav"), 1ms);
        recorder.write(frames.data(), 20000);
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 20000; }));
        // 2050 frames up to the ring's end, 2950 after the wrap: two pieces on disk.
        recorder.write(&frames[20000 * 2], 5000);
        ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == 25000; }));
    }
    const test::WavFile wav = test::readWav(dir.file("wrap.wav"));
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.samples, frames);
}

TEST(MixRecorder, FramesThatFindTheRingFullAreCountedAndNeverTearWhatWaits) {
    test::TempDir dir;
    const std::string path = dir.file("stalled.wav");
    {
        // A writer that does not come back (a disk that stalls): the ring fills up.
        MixRecorder recorder(path, std::chrono::hours(1));
        // Its one look at the empty ring comes first; a late one would drain the ring.
        ASSERT_TRUE(test::waitFor([&] { return recorder.writerPasses() >= 1; }));
        recorder.write(numberedFrames(0, 20000).data(), 20000);
        recorder.write(numberedFrames(20000, 5000).data(), 5000);
        EXPECT_EQ(recorder.framesLost(), 25000 - (MixRecorder::kRingFrames - 1));
        EXPECT_FALSE(recorder.failed());
        const std::string text = recorder.describe();
        EXPECT_EQ(text.substr(0, 16), "Saving WAV file\n");
        EXPECT_NE(text.find("\nLost: 0.1 s"), std::string::npos) << text;
    }
    // What waited in the ring is written whole at the stop, in order.
    const test::WavFile wav = test::readWav(path);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.dataSize, uint32_t(MixRecorder::kRingFrames - 1) * 4);
    EXPECT_EQ(firstFrameOutOfOrder(wav), -1);
}

TEST(MixRecorder, AFullDiskEndsTheRecordingWithAValidFileOfWhatWasWritten) {
    test::TempDir dir;
    const std::string path = dir.file("full.wav");
    // The file may not grow past 40000 frames and half of the next one.
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = WavFileWriter::kDataOffset + 40000 * 4 + 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    {
        MixRecorder recorder(path, 1ms);
        for (int32_t p = 0; p < 10 && !recorder.failed(); ++p) {
            recorder.write(numberedFrames(p * 10000, 10000).data(), 10000);
            test::waitFor(
                [&] { return recorder.framesWritten() == (p + 1) * 10000 || recorder.failed(); },
                5);
        }
        ASSERT_TRUE(test::waitFor([&] { return recorder.failed(); }, 5));
        // Frames the writer had taken but the file never got are not counted as recorded.
        EXPECT_EQ(recorder.framesWritten(), 40000);
        const std::string text = recorder.describe();
        EXPECT_EQ(text.substr(0, text.find('\n')), MixRecorder::kFailedLine);
        EXPECT_NE(text.find("\nFileSize: 0.2 Mo"), std::string::npos) << text;
        recorder.write(numberedFrames(0, 100).data(), 100);  // taken and dropped quietly
        EXPECT_EQ(recorder.framesLost(), 0);
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    const test::WavFile wav = test::readWav(path);
    ASSERT_TRUE(wav.valid);  // the half frame is cut off, the sizes say what is there
    EXPECT_EQ(wav.dataSize, 40000u * 4);
    EXPECT_EQ(firstFrameOutOfOrder(wav), -1);
}

TEST(MixRecorder, ARecordingPastTheRiffLimitGoesOnAsRf64AndSaysSo) {
    test::TempDir dir;
    const std::string path = dir.file("long.wav");
    {
        // RF64 from 20000 frames on instead of 4 GiB.
        MixRecorder recorder(path, 1ms, WavFileWriter::kDataOffset - 8 + 20000 * 4);
        for (int32_t p = 0; p < 3; ++p) {
            recorder.write(numberedFrames(p * 10000, 10000).data(), 10000);
            ASSERT_TRUE(test::waitFor([&] { return recorder.framesWritten() == (p + 1) * 10000; }));
        }
        ASSERT_TRUE(test::waitFor([&] { return recorder.isRf64(); }, 3));
        EXPECT_EQ(recorder.describe(), "Saving WAV file\nFileName: " + path +
                                           "\nTime Recorded: 0:00:00\nFileSize: 0.1 Mo\n"
                                           "Format: RF64 (over 4 GB)");
    }
    const test::SndfileRead read = test::readWithSndfile(path);
    ASSERT_TRUE(read.opened);
    EXPECT_EQ(read.majorFormat, SF_FORMAT_RF64);
    EXPECT_EQ(read.frames, 30000);
    EXPECT_EQ(read.samples, numberedFrames(0, 30000));
}

TEST(MixRecorder, AFileThatCannotBeCreatedHasFailedAndSaysSo) {
    MixRecorder recorder("/nonexistent-folder/mix.wav", 1ms);
    EXPECT_FALSE(recorder.hasFile());
    EXPECT_TRUE(recorder.failed());
    recorder.write(numberedFrames(0, 4000).data(), 4000);
    EXPECT_EQ(recorder.framesWritten(), 0);
    EXPECT_EQ(recorder.describe().substr(0, recorder.describe().find('\n')),
              MixRecorder::kFailedLine);
}

// ---- A recording desk killed at random moments ----

constexpr int kHanded = 0;     // frames handed to the recorder so far
constexpr int kRecording = 1;  // 1 once the recording runs

// Hands every frame on to the recorder and counts it for the parent.
class CountingSink : public SampleSink {
public:
    CountingSink(std::unique_ptr<SampleSink> inner, std::atomic<int64_t>& counter)
        : inner_(std::move(inner)), counter_(counter) {}
    void write(const int16_t* frames, int32_t count) override {
        inner_->write(frames, count);
        counter_.fetch_add(count, std::memory_order_release);
    }
    std::string describe() const override { return inner_->describe(); }

private:
    std::unique_ptr<SampleSink> inner_;
    std::atomic<int64_t>& counter_;
};

class QuietDesk : public DeskControl, public DeskNotifier {
    void setDeckPitch(int, int32_t) override {}
    void setDeckLevel(int, int32_t) override {}
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
};

// The child: a desk in the soft mix playing a constant track on the null backend's wall
// clock and recording it, until it is killed.
TEST(RecordingDeskChild, DISABLED_RecordsUntilKilled) {
    const char* folder = std::getenv("SPINLOREX_KILL_DIR");
    ASSERT_NE(folder, nullptr);
    test::SharedCounters progress(std::string(folder) + "/progress", false);
    ASSERT_TRUE(progress.ok());
    set(settings().outputMode, 1);
    set(settings().multiInstance, 1);
    TrackDatabase database;
    QuietDesk desk;
    DeckPair decks(database, desk, desk, test::constantReaders(1000, -1000, 600),
                   test::constantReaders(0, 0));
    const auto system = sound::createNullSystem();
    AudioEngine engine(decks, *system, nullptr);
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(decks[0].loadTrack(TrackEntry{"", "", "constant.wav", nullptr}));
    decks[0].play();
    // A lowered RF64 limit, when given, makes the file RF64 after its first refreshes.
    const char* riffLimit = std::getenv("SPINLOREX_KILL_RIFF_LIMIT");
    engine.output()->attachRecorder(std::make_unique<CountingSink>(
        std::make_unique<MixRecorder>(std::string(folder) + "/mix.wav", 50ms,
                                      riffLimit != nullptr ? std::strtoull(riffLimit, nullptr, 10)
                                                           : WavFileWriter::kLargestRiffSize),
        progress[kHanded]));
    progress[kRecording].store(1);
    for (;;) std::this_thread::sleep_for(1s);
}

TEST(MixRecorder, ADeskKilledWhileRecordingLeavesAFileThatPlaysAllButItsLastSecond) {
    std::mt19937 random(std::random_device{}());
    const int rounds = test::killRounds(3);
    int64_t worstLoss = 0, totalLoss = 0;
    for (int round = 0; round < rounds; ++round) {
        // Every second desk records RF64 from its first refresh on.
        const bool rf64 = round % 2 == 1;
        constexpr uint64_t kRf64Limit = 4096;
        SCOPED_TRACE(testing::Message() << "round " << round << (rf64 ? " (RF64)" : ""));
        test::TempDir dir;
        test::SharedCounters progress(dir.file("progress"), true);
        ASSERT_TRUE(progress.ok());
        std::vector<std::pair<std::string, std::string>> environment = {
            {"SPINLOREX_KILL_DIR", dir.path().string()}, {"SPINLOREX_AUDIO", "null"}};
        if (rf64) environment.emplace_back("SPINLOREX_KILL_RIFF_LIMIT", std::to_string(kRf64Limit));
        const pid_t child = test::startChildTest("RecordingDeskChild.DISABLED_RecordsUntilKilled",
                                                 environment, dir.file("child.log"));
        ASSERT_GT(child, 0);
        ASSERT_TRUE(test::waitFor([&] { return progress[kRecording].load() == 1; }, 20));
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(random)));
        test::killChild(child);
        const int64_t handed = progress[kHanded].load(std::memory_order_acquire);

        // Read as another program would; a plain WAV must also have sizes within the file.
        const test::SndfileRead wav = test::readWithSndfile(dir.file("mix.wav"));
        ASSERT_TRUE(wav.opened);
        const int64_t frames = wav.frames;
        if (!rf64) {
            ASSERT_TRUE(test::readWav(dir.file("mix.wav")).playable);
        } else if (WavFileWriter::kDataOffset - 8 + 4 * uint64_t(frames) > kRf64Limit) {
            EXPECT_EQ(wav.majorFormat, SF_FORMAT_RF64);
        }
        EXPECT_LE(frames, handed);
        EXPECT_GE(frames, handed - 44100) << "handed " << handed;
        worstLoss = std::max(worstLoss, handed - frames);
        totalLoss += handed - frames;
        // Silence until the deck was heard, then the deck fading in to the crossfader's
        // middle gain: a torn or shifted frame would put a sample on the wrong side.
        for (size_t i = 0; i + 1 < wav.samples.size(); i += 2) {
            const bool inRange = wav.samples[i] >= 0 && wav.samples[i] <= 750 &&
                                 wav.samples[i + 1] <= 0 && wav.samples[i + 1] >= -750;
            ASSERT_TRUE(inRange) << "frame " << i / 2 << ": " << wav.samples[i] << ", "
                                 << wav.samples[i + 1];
        }
        if (frames > 22050) {
            EXPECT_EQ(wav.samples[2 * static_cast<size_t>(frames) - 2], 750);
        }
        if (HasFailure()) break;
    }
    std::cout << "[ killed   ] " << rounds
              << " recording desks; every file plays; lost at the end: at most "
              << worstLoss * 1000 / 44100 << " ms, on average "
              << totalLoss * 1000 / 44100 / std::max(rounds, 1) << " ms\n";
}

}  // namespace
}  // namespace spinlorex
