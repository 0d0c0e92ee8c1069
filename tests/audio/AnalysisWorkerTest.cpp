#include "audio/AnalysisWorker.h"

#include <gtest/gtest.h>

#include "audio/WavReader.h"
#include "support/AnalysisReaders.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/Measures.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::waitFor;
using Priority = AnalysisWorker::Priority;

constexpr int kBlocksOf20Seconds = 20 * 44100 / 1152;  // 765

class AnalysisWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            paths.push_back(dir.file("t" + std::to_string(i) + ".wav"));
            ASSERT_TRUE(synth::writeWav(
                paths.back(),
                synth::render({.bpm = 110.0 + 10 * i, .seconds = 20, .seed = uint32_t(i)}), 44100,
                2, 16));
        }
    }
    // Takes results until `count` arrived (or a long while passed).
    std::vector<AnalysisWorker::Result> collect(AnalysisWorker& worker, size_t count) {
        std::vector<AnalysisWorker::Result> got;
        waitFor([&] {
            AnalysisWorker::Result r;
            while (worker.takeResult(r)) got.push_back(std::move(r));
            return got.size() >= count;
        });
        return got;
    }

    test::TempDir dir;
    std::vector<std::string> paths;
    std::shared_ptr<test::ReadLog> log = std::make_shared<test::ReadLog>();
    test::ReadyCount ready;
};

// A deck's file does not wait for the library's: the library file being analysed stops and
// is analysed again, whole, once the deck's is done.
TEST_F(AnalysisWorkerTest, ADecksFileGoesFirstAndTheLibrarysStartsAgainAfterIt) {
    log->delayMicroseconds = 300;
    AnalysisWorker worker(ready, test::loggingReaders(log));
    const uint64_t first = worker.submit(paths[0], Priority::Library);
    const uint64_t second = worker.submit(paths[1], Priority::Library);
    ASSERT_TRUE(waitFor([&] { return log->blocks > 20; }));
    const uint64_t deck = worker.submit(paths[2], Priority::Deck);
    EXPECT_NE(deck, first);

    const std::vector<AnalysisWorker::Result> results = collect(worker, 3);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].job, deck);
    EXPECT_EQ(results[1].job, first);
    EXPECT_EQ(results[2].job, second);
    EXPECT_EQ(log->openedSoFar(),
              (std::vector<std::string>{paths[0], paths[2], paths[0], paths[1]}));
    EXPECT_EQ(ready.count, 3);
    EXPECT_FALSE(worker.busy());

    WavReader reader;
    EXPECT_EQ(results[1].path, paths[0]);
    EXPECT_EQ(results[1].track.measures, analyseWholeTrack(reader, paths[0]).measures);
    EXPECT_NEAR(results[0].track.measures.bpm, 130.0, 0.5);
}

TEST_F(AnalysisWorkerTest, CancelledFilesStopAndLeaveNoResultAndFailuresAreResults) {
    log->delayMicroseconds = 300;
    log->failing.insert(paths[1]);
    AnalysisWorker worker(ready, test::loggingReaders(log));
    const uint64_t running = worker.submit(paths[0], Priority::Deck);
    const uint64_t queued = worker.submit(paths[2], Priority::Deck);
    ASSERT_TRUE(waitFor([&] { return log->blocks > 20; }));
    worker.cancel(queued);
    worker.cancel(running);
    ASSERT_TRUE(waitFor([&] { return !worker.busy(); }));
    EXPECT_LT(log->blocks, kBlocksOf20Seconds);
    EXPECT_EQ(log->openedSoFar(), std::vector<std::string>{paths[0]});
    AnalysisWorker::Result r;
    EXPECT_FALSE(worker.takeResult(r));
    EXPECT_EQ(ready.count, 0);

    log->delayMicroseconds = 0;
    const uint64_t failing = worker.submit(paths[1], Priority::Library);
    const std::vector<AnalysisWorker::Result> results = collect(worker, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].job, failing);
    EXPECT_EQ(results[0].track.status, kStatusCannotOpen);
}

TEST_F(AnalysisWorkerTest, StoppingInTheMiddleOfAFileEndsAtOnce) {
    log->delayMicroseconds = 1000;
    AnalysisWorker worker(ready, test::loggingReaders(log));
    worker.submit(paths[0], Priority::Library);
    worker.submit(paths[1], Priority::Deck);
    ASSERT_TRUE(waitFor([&] { return log->blocks > 5; }));
    worker.stop();
    EXPECT_LT(log->blocks, kBlocksOf20Seconds);
    EXPECT_EQ(log->openedSoFar().size(), 1u);
    EXPECT_FALSE(worker.busy());
    worker.stop();  // twice is harmless
}

}  // namespace
}  // namespace spinlorex
