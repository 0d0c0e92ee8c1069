#include "analysis/BeatKernels.h"

#include <array>

namespace spinlorex::beat {
namespace {

void bassValuesScalar(const int16_t* block, int16_t* bass) {
    for (int32_t t = 0; t < kStepsPerBlock; ++t) {
        int32_t sum = 0;
        for (int32_t i = 0; i < kSamplesPerStep; ++i) sum += block[t * kSamplesPerStep + i];
        bass[t] = static_cast<int16_t>(sum / 4096);
    }
}

void correlateScalar(int32_t* correlation, const int16_t* addWindow, const int16_t* subWindow,
                     const int16_t* add, const int16_t* sub) {
    for (int32_t t = 0; t < kStepsPerBlock; ++t) {
        const int32_t a = add[t];
        const int32_t s = sub[t];
        for (int32_t k = 0; k < kLags; ++k) {
            // Each product fits easily; only the running sum wraps, so add unsigned.
            const int32_t term = a * addWindow[t + k] - s * subWindow[t + k];
            correlation[k] = static_cast<int32_t>(static_cast<uint32_t>(correlation[k]) +
                                                  static_cast<uint32_t>(term));
        }
    }
}

void onsetResponsesScalar(const int16_t* taps, const int32_t* lengths, const int16_t* window,
                          int32_t* responses) {
    for (int32_t i = 0; i < kKernels; ++i) {
        const int16_t* tap = taps + i * kTapStride;
        for (int32_t t = 0; t < kStepsPerBlock; ++t) {
            int32_t sum = 0;
            for (int32_t k = 0; k < lengths[i]; ++k) sum += tap[k] * window[t + k];
            responses[i * kStepsPerBlock + onsetSlot(t)] = sum < 0 ? -sum : sum;
        }
    }
}

int32_t findPeakScalar(const int32_t* values, int32_t count, int32_t* maximum) {
    int32_t best = 0;
    int32_t index = 0;
    for (int32_t k = 0; k < count; ++k) {
        if (values[k] > best) {
            best = values[k];
            index = k;
        }
    }
    *maximum = best;
    return index;
}

constexpr Kernels kScalarKernels{"scalar", bassValuesScalar, correlateScalar, onsetResponsesScalar,
                                 findPeakScalar};

struct Available {
    std::array<const Kernels*, 3> list{};
    size_t count = 0;

    Available() {
        list[count++] = &kScalarKernels;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) list[count++] = &kAvx2Kernels;
        if (__builtin_cpu_supports("avx512bw")) list[count++] = &kAvx512Kernels;
#endif
    }
};

const Available& available() {
    static const Available instance;
    return instance;
}

}  // namespace

const Kernels& scalarKernels() { return kScalarKernels; }

const Kernels& bestKernels() {
    const Available& a = available();
    return *a.list[a.count - 1];
}

std::span<const Kernels* const> availableKernels() {
    const Available& a = available();
    return {a.list.data(), a.count};
}

}  // namespace spinlorex::beat
