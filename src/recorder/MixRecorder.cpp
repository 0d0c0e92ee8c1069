#include "recorder/MixRecorder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace spinlorex {

MixRecorder::MixRecorder(const std::string& path, std::chrono::milliseconds drainInterval,
                         uint64_t largestRiffSize)
    : fileName_(path.substr(0, kMaxFileNameShown)),
      file_(largestRiffSize),
      ring_(new int16_t[kRingFrames * 2]()),
      drainInterval_(drainInterval) {
    hasFile_ = file_.open(path, 44100, 2, 16);
    if (!hasFile_) {
        fail();  // no file, no thread: frames go nowhere, and the desk says so
        return;
    }
    try {
        writer_ = std::thread([this] { writerLoop(); });
    } catch (const std::system_error&) {
        fail();
    }
}

MixRecorder::~MixRecorder() {
    stop_.store(true, std::memory_order_relaxed);
    wake_.release();
    if (writer_.joinable()) writer_.join();
    // The sound thread has let the recorder go: what is left in the ring is the end of
    // the recording and is written too.
    if (hasFile_ && !failed())
        while (drain(1)) {}
    file_.finish();
}

void MixRecorder::write(const int16_t* frames, int32_t count) {
    // A recording that has failed keeps nothing more.
    if (count <= 0 || failed_.load(std::memory_order_relaxed)) return;
    int32_t at = ringWrite_.load(std::memory_order_relaxed);
    // Acquire: the writer is done with the frames before the index that frees them.
    const int32_t read = ringRead_.load(std::memory_order_acquire);
    const int32_t used = (at - read + kRingFrames) % kRingFrames;
    const int32_t room = kRingFrames - 1 - used;
    if (count > room) {
        // Overwriting would tear frames the writer has not saved yet: the newest go.
        lost_.fetch_add(count - room, std::memory_order_relaxed);
        count = room;
    }
    while (count > 0) {
        const int32_t run = std::min(count, kRingFrames - at);
        std::memcpy(&ring_[static_cast<size_t>(at) * 2], frames, static_cast<size_t>(run) * 4);
        frames += static_cast<size_t>(run) * 2;
        count -= run;
        at = (at + run) % kRingFrames;
    }
    // Release: the writer sees the frames before the index that covers them.
    ringWrite_.store(at, std::memory_order_release);
}

void MixRecorder::writerLoop() {
    auto sizesDue = std::chrono::steady_clock::now() + kSizesInterval;
    while (!stop_.load(std::memory_order_relaxed)) {
        drain(kMinBatch);
        if (failed()) return;
        if (std::chrono::steady_clock::now() >= sizesDue) {
            if (!file_.refreshSizes()) {
                failWriting();
                return;
            }
            if (file_.isRf64()) rf64_.store(true, std::memory_order_relaxed);
            sizesDue = std::chrono::steady_clock::now() + kSizesInterval;
        }
        writerPasses_.fetch_add(1, std::memory_order_release);
        (void)wake_.try_acquire_for(drainInterval_);
    }
}

bool MixRecorder::drain(int32_t minimum) {
    const int32_t read = ringRead_.load(std::memory_order_relaxed);
    const int32_t available = ringWrite_.load(std::memory_order_acquire) - read;
    int32_t n = 0;
    if (available < 0) {
        n = kRingFrames - read;  // the writer wrapped: the tail piece first
    } else if (available >= minimum && available > 0) {
        n = available;
    }
    if (n == 0) return false;
    if (!file_.writeFrames(&ring_[static_cast<size_t>(read) * 2], n)) {
        failWriting();
        return false;
    }
    framesWritten_.fetch_add(n, std::memory_order_relaxed);
    ringRead_.store((read + n) % kRingFrames, std::memory_order_release);
    return true;
}

void MixRecorder::failWriting() {
    // Frames the writer took but could not put in the file (still buffered when the disk
    // filled up) were not recorded. Stored before the failure is published, so whoever
    // sees failed() reads this count.
    framesWritten_.store(static_cast<int64_t>(file_.framesInFile()), std::memory_order_relaxed);
    fail();
}

std::string MixRecorder::describe() const {
    const bool stopped = failed();
    const int64_t frames = framesWritten();
    const int64_t total = frames / 44100;
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\nTime Recorded: %lli:%.2lli:%.2lli\nFileSize: %.1f Mo",
                  static_cast<long long>(total / 3600), static_cast<long long>((total / 60) % 60),
                  static_cast<long long>(total % 60),
                  static_cast<double>(frames) * 4.0 / 1048576.0);
    std::string text =
        std::string(stopped ? kFailedLine : kSavingLine) + "\nFileName: " + fileName_ + numbers;
    if (isRf64()) text += std::string("\n") + kRf64Line;
    if (const int64_t lost = framesLost(); lost > 0) {
        std::snprintf(numbers, sizeof numbers, "\nLost: %.1f s (the disk was too slow)",
                      static_cast<double>(lost) / 44100.0);
        text += numbers;
    }
    return text;
}

}  // namespace spinlorex
