#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "analysis/KeyDetector.h"
#include "library/MusicalKey.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

std::vector<int16_t> trackInKey(int key, double bpm, double seconds = 30.0) {
    synth::Params p;
    p.key = key;
    p.bpm = bpm;
    p.seconds = seconds;
    p.seed = 1;  // chords voiced from A3 up: the estimator hears from C3 up
    return synth::toPcm16(synth::render(p));
}

// Fed in the blocks of the whole-track pass; the votes of every frame.
std::array<int64_t, 25> votes(const std::vector<int16_t>& pcm) {
    KeyDetector detector;
    constexpr int32_t kBlock = 1152;
    const auto frames = static_cast<int32_t>(pcm.size() / 2);
    for (int32_t at = 0; at + kBlock <= frames; at += kBlock) detector.feed(&pcm[2 * at], kBlock);
    return detector.votes();
}

int detect(const std::vector<int16_t>& pcm) {
    KeyDetector detector;
    detector.feed(pcm.data(), static_cast<int32_t>(pcm.size() / 2));
    return detector.key();
}

TEST(KeyDetector, FindsTheKeyOfChordsAndBassInEveryKeyAtSeveralTempi) {
    const double tempi[] = {96.0, 124.0, 140.0};
    int right = 0;
    for (int key = 1; key <= 24; ++key) {
        const int found = detect(trackInKey(key, tempi[key % 3]));
        EXPECT_GE(found, 1) << "key " << key;
        EXPECT_LE(found, 24) << "key " << key;
        if (found == key) ++right;
    }
    EXPECT_GE(right, 22);
    // A long track, estimated more sparsely after its first minutes, keeps its key.
    EXPECT_EQ(detect(trackInKey(17, 124.0, 240.0)), 17);
}

TEST(KeyDetector, SilenceAndTooShortATrackHaveNoKey) {
    EXPECT_EQ(detect(std::vector<int16_t>(44100 * 2 * 8, 0)), 0);
    EXPECT_EQ(detect(trackInKey(5, 120.0, 0.2)), 0);
}

// The estimator's profiles are shared by every detector of the process: tracks analysed at
// the same time must get, frame by frame, the keys they get one at a time.
TEST(KeyDetector, DetectionsAtOnceGiveTheKeysOfOneAtATime) {
    std::vector<std::vector<int16_t>> tracks;
    for (const int key : {3, 20, 9, 14}) tracks.push_back(trackInKey(key, 124.0, 12.0));
    std::vector<std::array<int64_t, 25>> alone;
    for (const auto& track : tracks) alone.push_back(votes(track));
    // A clash needs two estimates inside each other's rotation: a few rounds make one
    // near certain where nothing keeps them apart.
    for (int round = 0; round < 4; ++round) {
        std::vector<std::array<int64_t, 25>> together(tracks.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < tracks.size(); ++i)
            threads.emplace_back([&, i] { together[i] = votes(tracks[i]); });
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < tracks.size(); ++i)
            ASSERT_EQ(together[i], alone[i]) << "track " << i << ", round " << round;
    }
}

}  // namespace
}  // namespace spinlorex
