#pragma once

// Readers for the analysis worker's tests: real ones (or made-up ones) that may go slowly,
// that fail for chosen files, and that tell which files were opened and how far each was
// read.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio/AnalysisWorker.h"
#include "audio/DeckStream.h"
#include "audio/TrackReader.h"

namespace spinlorex::test {

// What the worker's readers did, shared with the test.
struct ReadLog {
    std::mutex mutex;
    std::vector<std::string> opened;        // in order
    std::set<std::string> failing;          // these files do not open
    std::atomic<int> blocks{0};             // blocks delivered, all files together
    std::atomic<int> delayMicroseconds{0};  // per block

    std::vector<std::string> openedSoFar() {
        std::lock_guard lock(mutex);
        return opened;
    }
};

class LoggingReader : public TrackReader {
public:
    LoggingReader(std::unique_ptr<TrackReader> inner, std::shared_ptr<ReadLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    int32_t open(const std::string& path) override {
        {
            std::lock_guard lock(log_->mutex);
            log_->opened.push_back(path);
            if (log_->failing.contains(path)) return 0;
        }
        const int32_t seconds = inner_->open(path);
        sync();
        return seconds;
    }
    void close() override { inner_->close(); }
    int32_t decodeBlock(int16_t* dest) override {
        if (const int delay = log_->delayMicroseconds.load(); delay > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
        const int32_t r = inner_->decodeBlock(dest);
        if (r == kDone) ++log_->blocks;
        sync();
        return r;
    }
    int32_t seek(float fraction) override {
        const int32_t r = inner_->seek(fraction);
        sync();
        return r;
    }
    int64_t totalFrames() const override { return inner_->totalFrames(); }
    int64_t nextFrame() const override { return inner_->nextFrame(); }

private:
    void sync() {
        position_ = inner_->position();
        duration_ = inner_->duration();
        fileSize_ = inner_->fileSize();
    }
    std::unique_ptr<TrackReader> inner_;
    std::shared_ptr<ReadLog> log_;
};

// The standard readers, each logging into `log`.
inline AnalysisWorker::ReaderFactory loggingReaders(std::shared_ptr<ReadLog> log) {
    return [log] {
        DeckStream::Readers r = DeckStream::standardReaders();
        r.wav = std::make_unique<LoggingReader>(std::move(r.wav), log);
        r.mp3 = std::make_unique<LoggingReader>(std::move(r.mp3), log);
        r.sndfile = std::make_unique<LoggingReader>(std::move(r.sndfile), log);
        return r;
    };
}

// Counts the worker's calls.
struct ReadyCount : AnalysisWorker::Listener {
    std::atomic<int> count{0};
    void analysisReady() override { ++count; }
};

}  // namespace spinlorex::test
