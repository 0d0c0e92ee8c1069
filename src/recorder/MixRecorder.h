#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>

#include "audio/SampleSink.h"
#include "platform/core/WavFileWriter.h"

namespace spinlorex {

// Records what the listener hears to a 44100 Hz 16-bit stereo WAV file. The soft mix hands
// it the played frames on the sound thread; they go into a ring of half a second, and a
// writer thread of its own moves them to disk every 50 ms in batches of at least 2250
// frames, so the sound thread never waits for the file system.
//
// Nothing is lost silently: the header's sizes are brought up to date twice a second, so a
// desk killed mid-recording leaves a file that plays up to its last second; a write that
// fails (a full disk) ends the recording with a valid file of what was written and says
// so in describe(), which then counts only what the file holds; frames that find the ring
// full (a disk that stalls) are counted. A recording past 4 GiB goes on as RF64.
class MixRecorder : public SampleSink {
public:
    static constexpr int32_t kRingFrames = 22050;
    static constexpr int32_t kMinBatch = 2250;
    static constexpr size_t kMaxFileNameShown = 256;
    // How often the writer makes the file whole up to what it wrote.
    static constexpr std::chrono::milliseconds kSizesInterval{500};

    // Main thread. A file that cannot be created leaves a recorder that has failed: it
    // takes frames and writes nothing, and describe() says why.
    // `drainInterval` is how often the writer thread wakes, `largestRiffSize` where the
    // file turns RF64 (tests shorten both).
    explicit MixRecorder(const std::string& path,
                         std::chrono::milliseconds drainInterval = std::chrono::milliseconds(50),
                         uint64_t largestRiffSize = WavFileWriter::kLargestRiffSize);
    // Stops the writer, writes every frame still in the ring and finishes the file with its
    // chunk sizes. Main thread.
    ~MixRecorder() override;

    // Sound thread: never blocks, locks or allocates.
    void write(const int16_t* frames, int32_t count) override;
    // Main thread: "Saving WAV file\nFileName: ...\nTime Recorded: h:mm:ss\nFileSize: x.x Mo",
    // the first line saying why when the recording stopped by itself, then kRf64Line once
    // the file is RF64, and a last line with the time lost when frames found the ring full.
    std::string describe() const override;
    // Any thread.
    bool failed() const override { return failed_.load(std::memory_order_acquire); }
    int64_t framesLost() const override { return lost_.load(std::memory_order_relaxed); }
    // Any thread: how many times the writer thread has looked at the ring (it sleeps up to
    // drainInterval after each look; tests wait for the first).
    int32_t writerPasses() const { return writerPasses_.load(std::memory_order_acquire); }

    bool hasFile() const { return hasFile_; }
    // Any thread: frames handed to the file; once failed(), those the file holds.
    int64_t framesWritten() const { return framesWritten_.load(std::memory_order_relaxed); }
    // Any thread: the file's header is RF64 (the recording passed 4 GiB).
    bool isRf64() const { return rf64_.load(std::memory_order_relaxed); }

    static constexpr const char* kSavingLine = "Saving WAV file";
    static constexpr const char* kFailedLine = "Recording stopped: the file cannot be written";
    static constexpr const char* kRf64Line = "Format: RF64 (over 4 GB)";

private:
    void writerLoop();
    // Writes what the ring holds when it is at least `minimum` frames (or wrapped). True
    // when frames were written.
    bool drain(int32_t minimum);
    void fail() { failed_.store(true, std::memory_order_release); }
    // Writer thread: the file took no more; what it holds is what was recorded.
    void failWriting();

    std::string fileName_;
    WavFileWriter file_;
    bool hasFile_ = false;
    std::unique_ptr<int16_t[]> ring_;
    // Each index is written by one side and read by the other: the sound thread releases
    // ringWrite_ after copying frames in, the writer releases ringRead_ after copying
    // them out, so neither touches a frame the other has not finished with.
    std::atomic<int32_t> ringWrite_{0};
    std::atomic<int32_t> ringRead_{0};
    std::atomic<int64_t> framesWritten_{0};
    std::atomic<int64_t> lost_{0};
    std::atomic<int32_t> writerPasses_{0};
    std::atomic<bool> failed_{false};
    std::atomic<bool> rf64_{false};
    std::chrono::milliseconds drainInterval_;
    std::atomic<bool> stop_{false};
    std::binary_semaphore wake_{0};  // ends the writer's pause at once when stopping
    std::thread writer_;
};

}  // namespace spinlorex
