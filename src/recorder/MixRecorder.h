#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "audio/SampleSink.h"
#include "platform/core/WavFileWriter.h"

namespace spinlorex {

// Records what the listener hears to a 44100 Hz 16-bit stereo WAV file. The soft mix hands
// it the played frames on the sound thread; they go into a ring of half a second, and a
// writer thread of its own moves them to disk every 50 ms in batches of at least 2250
// frames, so the sound thread never waits for the file system.
class MixRecorder : public SampleSink {
public:
    static constexpr int32_t kRingFrames = 22050;
    static constexpr int32_t kMinBatch = 2250;
    static constexpr size_t kMaxFileNameShown = 256;

    // Main thread. A file that cannot be created leaves a recorder that takes frames and
    // writes nothing, silently.
    // `drainInterval` is how often the writer thread wakes (tests shorten it).
    explicit MixRecorder(const std::string& path,
                         std::chrono::milliseconds drainInterval = std::chrono::milliseconds(50));
    // Stops the writer and finishes the file with its chunk sizes. Frames still waiting in
    // the ring (fewer than one batch) are not written.
    ~MixRecorder() override;

    void write(const int16_t* frames, int32_t count) override;
    // "Saving WAV file\nFileName: ...\nTime Recorded: h:mm:ss\nFileSize: x.x Mo"
    std::string describe() const override;

    bool hasFile() const { return file_.isOpen(); }
    int32_t framesWritten() const { return framesWritten_.load(std::memory_order_relaxed); }

private:
    void writerLoop();
    void drain();

    std::string fileName_;
    WavFileWriter file_;
    std::unique_ptr<int16_t[]> ring_;
    std::atomic<int32_t> ringWrite_{0};  // sound thread only writes it
    std::atomic<int32_t> ringRead_{0};   // writer thread only writes it
    std::atomic<int32_t> framesWritten_{0};
    std::chrono::milliseconds drainInterval_;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

}  // namespace spinlorex
