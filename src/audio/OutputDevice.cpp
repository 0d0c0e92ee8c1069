#include "audio/OutputDevice.h"

namespace spinlorex {

void OutputDevice::attachRecorder(std::unique_ptr<SampleSink> recorder) {
    // One recording at a time: a running one must be stopped first.
    if (!canRecord_ || !recorder || recorder_.load(std::memory_order_acquire) != nullptr) return;
    collectRetiredRecorder();
    stopRecording_.store(false, std::memory_order_relaxed);
    recorder_.store(recorder.release(), std::memory_order_release);
    if (std::binary_semaphore* wake = wake_.load(std::memory_order_relaxed)) wake->release();
}

SampleSink* OutputDevice::recorderForPass() {
    SampleSink* current = recorder_.load(std::memory_order_acquire);
    if (current == nullptr) return nullptr;
    if (stopRecording_.load(std::memory_order_relaxed)) {
        recorder_.store(nullptr, std::memory_order_release);
        stopRecording_.store(false, std::memory_order_relaxed);
        retired_.store(current, std::memory_order_release);
        return nullptr;
    }
    return current;
}

void OutputDevice::collectRetiredRecorder() {
    delete retired_.exchange(nullptr, std::memory_order_acq_rel);
}

std::unique_ptr<SampleSink> OutputDevice::detachRecorder() {
    collectRetiredRecorder();
    if (stopRecording_.load(std::memory_order_relaxed)) return nullptr;  // it ends with this device
    return std::unique_ptr<SampleSink>(recorder_.exchange(nullptr, std::memory_order_acq_rel));
}

void OutputDevice::releaseRecorders() {
    collectRetiredRecorder();
    delete recorder_.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace spinlorex
