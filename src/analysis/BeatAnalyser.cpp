#include "analysis/BeatAnalyser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace spinlorex {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kMask = beat::kRingMask;
constexpr int32_t kLongestLag = 1800;
constexpr int32_t kShortestLag = kLongestLag - beat::kLags + 1;  // 451
constexpr int32_t kWindowSteps = 4344;                           // span of the correlation sums
constexpr int32_t kOnsetDelay = 113;  // onsets are placed one longest kernel behind the cursor
constexpr int32_t kLoudnessBlocks = 60;
constexpr double kStepsPerMinute = 73500.0;  // 60 x 1225
constexpr float kNoPeriodicity = 999.9f;

bool near(float a, float b) { return std::fabs(a - b) < 2.0f; }

}  // namespace

BeatAnalyser::BeatAnalyser(const DecodeTimeline& timeline)
    : timeline_(timeline), kernels_(&beat::bestKernels()) {
    buildKernels();
    resetForTrack();
}

void BeatAnalyser::buildKernels() {
    // Falling chirps of eight periods each, shaped like kick drums of 16 different speeds.
    for (int i = 0; i < kKernels; ++i) {
        const float f = static_cast<float>(std::exp(i / 8.0 - 2.65));
        const int32_t length = static_cast<int32_t>(8.0 / f);
        kernelLength_[i] = length;
        const double scale = 4096.0 / std::sqrt(static_cast<double>(length));
        for (int32_t k = 0; k < length; ++k) {
            const double phase =
                (2.0 * std::numbers::pi / f) * std::log(1.0 + k * static_cast<double>(f) / 4.0);
            taps_[i * beat::kTapStride + k] = static_cast<int16_t>(std::sin(phase) * scale);
        }
    }
}

void BeatAnalyser::setAnalysis(TrackAnalysis* analysis) {
    analysis_.store(analysis, kRelaxed);
    peakLevel_.store(analysis != nullptr ? analysis->peakLevel.load(kRelaxed) : 0, kRelaxed);
}

void BeatAnalyser::resetForTrack() {
    resetSignal();
    setAnalysis(nullptr);
    localBpm_.store(0.0f, kRelaxed);
    historyBpm_.fill(0.0f);
    historyWeight_.fill(0);
    support_.fill(0);
    historyCursor_ = 0;
    runningCount_ = 1;
    runningSum_ = 0.0f;
    lastLoudness_.store(0, kRelaxed);
}

void BeatAnalyser::resetSignal() {
    bass_.fill(0);
    correlation_.fill(0);
    for (auto& onset : onsetRing_) onset.store(0, kRelaxed);
    windowSum_ = 0;
    windowBlocks_ = 0;
}

void BeatAnalyser::feedBlock(const int16_t* block) {
    TrackAnalysis* analysis = analysis_.load(kRelaxed);
    const beat::Kernels& kernels = *kernels_;
    const int32_t p0 = cursor_;

    alignas(32) int16_t bass[beat::kStepsPerBlock];
    alignas(32) int16_t leaving[beat::kStepsPerBlock];  // the values that drop out of the window
    kernels.bassValues(block, bass);
    for (int32_t t = 0; t < beat::kStepsPerBlock; ++t)
        leaving[t] = bass_[(p0 + t - kWindowSteps) & kMask];

    // Every read of the correlation lies at least 451 steps behind the step that makes it,
    // so none touches this block's new values and the whole block can be summed at once.
    kernels.correlate(correlation_.data(), &bass_[(p0 - kLongestLag) & kMask],
                      &bass_[(p0 - kLongestLag - kWindowSteps) & kMask], bass, leaving);

    for (int32_t t = 0; t < beat::kStepsPerBlock; ++t) {
        bass_[p0 + t] = bass[t];
        bass_[p0 + t + kRingSteps] = bass[t];
        windowSum_ += bass[t] < 0 ? -bass[t] : bass[t];
    }

    // The onset at q looks at q .. q + 112, all written by now (the newest is p - 1).
    const int32_t q0 = (p0 - kOnsetDelay) & kMask;
    alignas(64) int32_t responses[kKernels * beat::kStepsPerBlock];
    kernels.onsetResponses(taps_.data(), kernelLength_.data(), &bass_[q0], responses);
    for (int32_t t = 0; t < beat::kStepsPerBlock; ++t)
        onsetStep((q0 + t) & kMask, responses, beat::onsetSlot(t), analysis);

    cursor_ = (p0 + beat::kStepsPerBlock) & kMask;
    tempoStep(analysis);
    // Read back rather than kept from the onsets: a deck loaded with the same track shares
    // the block and may have raised its peak.
    if (analysis != nullptr) peakLevel_.store(analysis->peakLevel.load(kRelaxed), kRelaxed);

    if (++windowBlocks_ == kLoudnessBlocks) {
        if (analysis != nullptr && windowSum_ > analysis->loudnessPeak.load(kRelaxed))
            analysis->loudnessPeak.store(windowSum_, kRelaxed);
        lastLoudness_.store(windowSum_, kRelaxed);
        windowSum_ = 0;
        windowBlocks_ = 0;
    }
}

void BeatAnalyser::onsetStep(int32_t q, const int32_t* responses, int32_t slot,
                             TrackAnalysis* analysis) {
    for (int32_t i = 0; i < kKernels; ++i) {
        const int32_t r = responses[i * beat::kStepsPerBlock + slot];
        if (r > bestResponse_) {
            bestResponse_ = r;
            bestKernel_ = i;
        }
    }
    const int32_t v = responses[selectedKernel_ * beat::kStepsPerBlock + slot];
    onsetRing_[q].store(v, kRelaxed);
    if (analysis == nullptr) return;

    // Levels may come from the database file, so compare them in 64 bits.
    int64_t peak = analysis->peakLevel.load(kRelaxed);
    if (v > peak) {
        peak = v;
        analysis->peakLevel.store(v, kRelaxed);
    }
    const float pos = timeline_.blockPositions[q / beat::kStepsPerBlock];

    if (pos > 0.0f && 3 * int64_t{v} > 2 * peak) {
        const int64_t level = analysis->firstStrongBeatLevel.load(kRelaxed);
        if (3 * level < 2 * peak || pos < analysis->firstStrongBeat.load(kRelaxed)) {
            analysis->firstStrongBeat.store(pos, kRelaxed);
            analysis->firstStrongBeatLevel.store(v, kRelaxed);
        }
    }
    if (pos < 1.0f && 2 * int64_t{v} > peak) {
        const int64_t level = analysis->lastStrongBeatLevel.load(kRelaxed);
        if (!(2 * level >= peak && pos <= analysis->lastStrongBeat.load(kRelaxed))) {
            analysis->lastStrongBeat.store(pos, kRelaxed);
            analysis->lastStrongBeatLevel.store(v, kRelaxed);
        }
    }

    // Every 1024 steps switch to the kernel that answered best if it reached half the
    // peak, and after 4096 steps in any case.
    const int32_t old = stepCounter_++;
    if (old % 1024 == 0) {
        if (2 * int64_t{bestResponse_} < peak && stepCounter_ < 4097) {
            bestResponse_ = 0;
        } else {
            selectedKernel_ = bestKernel_;
            stepCounter_ = 1;
            bestResponse_ = 0;
        }
    }
}

int64_t BeatAnalyser::strongestNear(int32_t lag) const {
    int64_t best = 0;
    for (int32_t l = lag - 2; l <= lag + 2; ++l) {
        if (l < kShortestLag || l > kLongestLag) continue;
        const int64_t c = correlation_[kLongestLag - l];
        best = std::max(best, c < 0 ? -c : c);  // in 64 bits: a wrapped sum may be INT32_MIN
    }
    return best;
}

void BeatAnalyser::tempoStep(TrackAnalysis* analysis) {
    int32_t maximum = 0;
    const int32_t peakIndex = kernels_->findPeak(correlation_.data(), beat::kLags, &maximum);
    const int32_t lag = kLongestLag - peakIndex;

    float bpm;
    if (lag >= 1795) {
        bpm = kNoPeriodicity;
    } else if (lag <= 456) {
        bpm = 0.0f;
    } else if (lag < 900) {
        bpm = static_cast<float>(kStepsPerMinute / lag);
    } else if (lag < 1090) {
        // One or two beats per lag: two when the half and one-and-a-half lags carry the weight.
        const bool twoBeats = strongestNear(lag / 2) + strongestNear(3 * lag / 2) > maximum;
        bpm = static_cast<float>((twoBeats ? 2 : 1) * kStepsPerMinute / lag);
    } else if (lag < 1350) {
        bpm = static_cast<float>(2 * kStepsPerMinute / lag);
    } else {
        const bool twoBeats = strongestNear(lag / 2) >= strongestNear(lag / 3);
        bpm = static_cast<float>((twoBeats ? 2 : 3) * kStepsPerMinute / lag);
    }
    blockBpm_.store(bpm, kRelaxed);
    replaceHistoryEntry(bpm, maximum / 256 + 1);

    // The best-supported entry wins; on equal support the later one.
    int32_t winner = 0;
    for (int32_t j = 1; j < kHistory; ++j)
        if (support_[j] >= support_[winner]) winner = j;
    const float best = historyBpm_[winner];

    if (!(best >= 1.0f && best <= 999.0f)) {
        localBpm_.store(best, kRelaxed);
        return;
    }
    double weighted = 0.0;
    int64_t weights = 0;
    for (int32_t j = 0; j < kHistory; ++j) {
        if (near(historyBpm_[j], best)) {
            weighted += static_cast<double>(historyBpm_[j]) * historyWeight_[j];
            weights += historyWeight_[j];
        }
    }
    const float local = static_cast<float>(weighted / static_cast<double>(weights));
    localBpm_.store(local, kRelaxed);

    if (!timeline_.decoding.load(kRelaxed)) return;
    if (std::fabs(local - runningSum_ / static_cast<float>(runningCount_)) >= 2.0f) {
        runningSum_ = local;
        runningCount_ = 1;
    } else {
        runningSum_ += local;
        runningCount_ += 1;
    }
    if (analysis != nullptr && runningCount_ >= analysis->bpmConfidence.load(kRelaxed)) {
        if (analysis->owner != nullptr)
            analysis->owner->bpm.store(runningSum_ / static_cast<float>(runningCount_), kRelaxed);
        analysis->bpmConfidence.store(runningCount_, kRelaxed);
    }
}

void BeatAnalyser::replaceHistoryEntry(float bpm, int32_t weight) {
    const int32_t c = historyCursor_;
    const float oldBpm = historyBpm_[c];
    const int32_t oldWeight = historyWeight_[c];
    // Earlier entries count entry c in their support: swap the old one for the new one.
    for (int32_t j = 0; j < c; ++j) {
        if (near(historyBpm_[j], oldBpm)) support_[j] -= oldWeight;
        if (near(historyBpm_[j], bpm)) support_[j] += weight;
    }
    historyBpm_[c] = bpm;
    historyWeight_[c] = weight;
    int64_t support = weight;
    for (int32_t j = c + 1; j < kHistory; ++j)
        if (near(historyBpm_[j], bpm)) support += historyWeight_[j];
    support_[c] = support;
    historyCursor_ = (c + 1) % kHistory;
}

int32_t BeatAnalyser::beatSteps() const {
    float bpm = 0.0f;
    const TrackAnalysis* analysis = analysis_.load(kRelaxed);
    if (analysis != nullptr && analysis->owner != nullptr)
        bpm = analysis->owner->bpm.load(kRelaxed);
    if (!(bpm >= 1.0f && bpm <= 999.0f)) bpm = 80.0f;
    return static_cast<int32_t>(kStepsPerMinute / bpm);
}

int32_t BeatAnalyser::beatPhase() const {
    const int32_t heard = timeline_.keepFrom.load(kRelaxed) / beat::kFramesPerStep;
    const int32_t written = timeline_.decodeWrite.load(kRelaxed) / beat::kFramesPerStep;
    const int32_t ahead = (written - heard) & kMask;
    const int32_t n = std::min(beatSteps(), ahead);
    int32_t best = 0;
    int32_t phase = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = onsetRing_[(heard + i) & kMask].load(kRelaxed);
        if (v > best) {
            best = v;
            phase = i;
        }
    }
    return phase;
}

int32_t BeatAnalyser::nearestBeat(int32_t ref) const {
    const int32_t heard = timeline_.keepFrom.load(kRelaxed) / beat::kFramesPerStep;
    const int32_t written = timeline_.decodeWrite.load(kRelaxed) / beat::kFramesPerStep;
    const int32_t ahead = (written - heard) & kMask;
    const int32_t filled =
        kRingSteps - timeline_.unfilledFrames.load(kRelaxed) / beat::kFramesPerStep;
    const int64_t forwardRoom = int64_t{ahead} - ref;
    const int64_t backwardRoom = filled - forwardRoom;
    if (forwardRoom < 1 || backwardRoom < 0) return 0;
    const int32_t beat = beatSteps();
    if (beat < 1) return 0;

    const int64_t reference = int64_t{heard} + ref;
    int64_t bestScore = 0;
    int32_t result = 0;
    for (int32_t s = 0; s < beat && (s < forwardRoom || s < backwardRoom); ++s) {
        // Nearer onsets win over slightly stronger distant ones.
        if (s < forwardRoom) {
            const int64_t v =
                onsetRing_[static_cast<uint64_t>(reference + s) & kMask].load(kRelaxed);
            const int64_t score = v * 1000 / (s + 1000);
            if (score > bestScore) {
                bestScore = score;
                result = s;
            }
        }
        if (s < backwardRoom) {
            const int64_t v =
                onsetRing_[static_cast<uint64_t>(reference - s) & kMask].load(kRelaxed);
            const int64_t score = v * 1000 / (s + 1000);
            if (score > bestScore) {
                bestScore = score;
                result = -s;
            }
        }
    }
    return result;
}

}  // namespace spinlorex
