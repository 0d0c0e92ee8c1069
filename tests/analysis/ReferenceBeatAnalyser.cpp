#include "ReferenceBeatAnalyser.h"

#include <cmath>
#include <numbers>

namespace spinlorex::test {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
int32_t wrap(int32_t i) { return ((i % 8192) + 8192) % 8192; }

}  // namespace

ReferenceBeatAnalyser::ReferenceBeatAnalyser(const DecodeTimeline& timeline) : timeline_(timeline) {
    for (int i = 0; i < 16; ++i) {
        const float f = static_cast<float>(std::exp(i / 8.0 - 2.65));
        kernelLength[i] = static_cast<int32_t>(8 / f);
        for (int k = 0; k < kernelLength[i]; ++k)
            taps[i][k] = static_cast<int32_t>(4096 * std::sin((2 * std::numbers::pi / f) * std::log(1 + k * double{f} / 4)) /
                                              std::sqrt(kernelLength[i]));
    }
    resetForTrack();
}

void ReferenceBeatAnalyser::resetForTrack() {
    resetSignal();
    analysis = nullptr;
    localBpm = 0;
    historyBpm.fill(0);
    historyWeight.fill(0);
    runningCount = 1;
    runningSum = 0;
    lastLoudness = 0;
}

void ReferenceBeatAnalyser::resetSignal() {
    bassRing.fill(0);
    correlation.fill(0);
    onsetRing.fill(0);
    windowSum = 0;
    windowBlocks = 0;
}

void ReferenceBeatAnalyser::feedBlock(const int16_t* block) {
    for (int step = 0; step < 32; ++step) {
        int32_t s = 0;
        for (int i = 0; i < 72; ++i) s += block[step * 72 + i];
        const int32_t x = s / 4096;
        const int32_t p = cursor;
        for (int k = 0; k < 1350; ++k) {
            correlation[k] += static_cast<uint32_t>(x * bassRing[wrap(p - 1800 + k)]);
            correlation[k] -= static_cast<uint32_t>(bassRing[wrap(p - 4344)] * bassRing[wrap(p - 6144 + k)]);
        }
        bassRing[p] = static_cast<int16_t>(x);
        onsetStep(wrap(p - 113));
        ++cursor;
        windowSum += std::abs(x);
    }
    cursor %= 8192;
    tempoStep();
    if (++windowBlocks == 60) {
        if (analysis != nullptr && windowSum > analysis->loudnessPeak.load(kRelaxed))
            analysis->loudnessPeak.store(windowSum, kRelaxed);
        lastLoudness = windowSum;
        windowSum = 0;
        windowBlocks = 0;
    }
}

void ReferenceBeatAnalyser::onsetStep(int32_t q) {
    int32_t v = 0;
    for (int i = 0; i < 16; ++i) {
        int32_t sum = 0;
        for (int k = 0; k < kernelLength[i]; ++k) sum += taps[i][k] * bassRing[wrap(q + k)];
        const int32_t r = std::abs(sum);
        if (r > bestResponse) {
            bestResponse = r;
            bestKernel = i;
        }
        if (i == selectedKernel) v = r;
    }
    onsetRing[q] = v;
    if (analysis == nullptr) return;
    TrackAnalysis& a = *analysis;
    const int64_t peak = std::max<int64_t>(a.peakLevel.load(kRelaxed), v);
    a.peakLevel.store(static_cast<int32_t>(peak), kRelaxed);
    const float pos = timeline_.blockPositions[q / 32];
    if (pos > 0 && 3 * int64_t{v} > 2 * peak &&
        (3 * int64_t{a.firstStrongBeatLevel.load(kRelaxed)} < 2 * peak || pos < a.firstStrongBeat.load(kRelaxed))) {
        a.firstStrongBeat.store(pos, kRelaxed);
        a.firstStrongBeatLevel.store(v, kRelaxed);
    }
    if (pos < 1.0f && 2 * int64_t{v} > peak &&
        !(2 * int64_t{a.lastStrongBeatLevel.load(kRelaxed)} >= peak && pos <= a.lastStrongBeat.load(kRelaxed))) {
        a.lastStrongBeat.store(pos, kRelaxed);
        a.lastStrongBeatLevel.store(v, kRelaxed);
    }
    const int32_t old = stepCounter++;
    if (old % 1024 == 0) {
        if (2 * int64_t{bestResponse} < peak && stepCounter < 4097) {
            bestResponse = 0;
        } else {
            selectedKernel = bestKernel;
            stepCounter = 1;
            bestResponse = 0;
        }
    }
}

int64_t ReferenceBeatAnalyser::m(int32_t lag) const {
    int64_t best = 0;
    for (int32_t l = lag + 2; l >= lag - 2; --l)
        if (l >= 451 && l <= 1800) best = std::max(best, std::abs(int64_t{static_cast<int32_t>(correlation[1800 - l])}));
    return best;
}

void ReferenceBeatAnalyser::tempoStep() {
    int32_t kStar = 0;
    int32_t maximum = 0;
    for (int k = 0; k < 1350; ++k) {
        if (static_cast<int32_t>(correlation[k]) > maximum) {
            maximum = static_cast<int32_t>(correlation[k]);
            kStar = k;
        }
    }
    const int32_t L = 1800 - kStar;
    if (L >= 1795) blockBpm = 999.9f;
    else if (L <= 456) blockBpm = 0;
    else if (L < 900) blockBpm = 73500.0f / L;
    else if (L < 1090) blockBpm = m(L / 2) + m(3 * L / 2) > maximum ? 147000.0f / L : 73500.0f / L;
    else if (L < 1350) blockBpm = 147000.0f / L;
    else blockBpm = m(L / 2) >= m(L / 3) ? 147000.0f / L : 220500.0f / L;

    historyBpm[historyCursor] = blockBpm;
    historyWeight[historyCursor] = maximum / 256 + 1;
    historyCursor = (historyCursor + 1) % 64;

    int64_t bestSupport = -1;
    float best = 0;
    for (int j = 0; j < 64; ++j) {
        int64_t support = historyWeight[j];
        for (int i = j + 1; i < 64; ++i)
            if (std::fabs(historyBpm[i] - historyBpm[j]) < 2.0f) support += historyWeight[i];
        if (support >= bestSupport) {
            bestSupport = support;
            best = historyBpm[j];
        }
    }
    if (best >= 1.0f && best <= 999.0f) {
        double sum = 0;
        int64_t weights = 0;
        for (int j = 0; j < 64; ++j) {
            if (std::fabs(historyBpm[j] - best) < 2.0f) {
                sum += double{historyBpm[j]} * historyWeight[j];
                weights += historyWeight[j];
            }
        }
        localBpm = static_cast<float>(sum / static_cast<double>(weights));
        if (timeline_.decoding.load(kRelaxed)) {
            if (std::fabs(localBpm - runningSum / static_cast<float>(runningCount)) >= 2.0f) {
                runningSum = localBpm;
                runningCount = 1;
            } else {
                runningSum += localBpm;
                runningCount += 1;
            }
            if (analysis != nullptr && runningCount >= analysis->bpmConfidence.load(kRelaxed)) {
                analysis->owner->bpm.store(runningSum / static_cast<float>(runningCount), kRelaxed);
                analysis->bpmConfidence.store(runningCount, kRelaxed);
            }
        }
    } else {
        localBpm = best;
    }
}

}  // namespace spinlorex::test
