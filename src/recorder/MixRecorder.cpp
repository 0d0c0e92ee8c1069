#include "recorder/MixRecorder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace spinlorex {

MixRecorder::MixRecorder(const std::string& path, std::chrono::milliseconds drainInterval)
    : fileName_(path.substr(0, kMaxFileNameShown)),
      ring_(new int16_t[kRingFrames * 2]()),
      drainInterval_(drainInterval) {
    if (!file_.open(path, 44100, 2, 16)) return;  // no file, no thread: frames go nowhere
    writer_ = std::thread([this] { writerLoop(); });
}

MixRecorder::~MixRecorder() {
    stop_.store(true, std::memory_order_relaxed);
    if (writer_.joinable()) writer_.join();
    file_.finish();
}

void MixRecorder::write(const int16_t* frames, int32_t count) {
    int32_t at = ringWrite_.load(std::memory_order_relaxed);
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
    while (!stop_.load(std::memory_order_relaxed)) {
        drain();
        std::this_thread::sleep_for(drainInterval_);
    }
}

void MixRecorder::drain() {
    const int32_t read = ringRead_.load(std::memory_order_relaxed);
    const int32_t available = ringWrite_.load(std::memory_order_acquire) - read;
    int32_t n = 0;
    if (available < 0) {
        n = kRingFrames - read;  // the writer wrapped: the tail piece first
    } else if (available >= kMinBatch) {
        n = available;
    }
    if (n == 0) return;
    file_.writeFrames(&ring_[static_cast<size_t>(read) * 2], n);
    framesWritten_.fetch_add(n, std::memory_order_relaxed);
    ringRead_.store((read + n) % kRingFrames, std::memory_order_relaxed);
}

std::string MixRecorder::describe() const {
    const int32_t frames = framesWritten();
    const int32_t total = frames / 44100;
    char text[512];
    std::snprintf(text, sizeof text,
                  "Saving WAV file\nFileName: %s\nTime Recorded: %i:%.2i:%.2i\nFileSize: %.1f Mo",
                  fileName_.c_str(), total / 3600, (total / 60) % 60, total % 60,
                  static_cast<double>(frames) * 4.0 / 1048576.0);
    return text;
}

}  // namespace spinlorex
