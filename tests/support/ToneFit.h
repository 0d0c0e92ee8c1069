#pragma once

// How clean a tone came out: a sine with offset is fitted to one channel of a rendered
// tone (frequency, amplitude and phase refined by least squares, as in IEEE 1057's
// four-parameter fit), and everything the sine does not explain is "the rest", reported
// in dB against the sine. Shared by the tests and the benchmarks.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace spinlorex::test {

struct ToneFit {
    double cyclesPerFrame = 0.0;
    double amplitude = 0.0;
    double phase = 0.0;  // the fit is amplitude x cos(2 pi f n - phase) + offset
    double offset = 0.0;
    double restDb = 0.0;  // everything else (the offset included) against the sine
    double hz(double frameRate = 44100.0) const { return cyclesPerFrame * frameRate; }
};

// Channel `channel` of `frames` interleaved stereo frames.
inline std::vector<double> channelOf(const int16_t* frames, size_t count, int channel) {
    std::vector<double> x(count);
    for (size_t i = 0; i < count; ++i) x[i] = frames[2 * i + static_cast<size_t>(channel)];
    return x;
}

namespace tonefit {

// Solves the n x n system m (row-major, with the right side as column n) in place.
template <int n>
bool solve(double (&m)[n][n + 1], double (&out)[n]) {
    for (int p = 0; p < n; ++p) {
        int best = p;
        for (int r = p + 1; r < n; ++r)
            if (std::abs(m[r][p]) > std::abs(m[best][p])) best = r;
        if (m[best][p] == 0.0) return false;
        for (int c = 0; c <= n; ++c) std::swap(m[p][c], m[best][c]);
        for (int r = 0; r < n; ++r) {
            if (r == p) continue;
            const double f = m[r][p] / m[p][p];
            for (int c = p; c <= n; ++c) m[r][c] -= f * m[p][c];
        }
    }
    for (int p = 0; p < n; ++p) out[p] = m[p][n] / m[p][p];
    return true;
}

}  // namespace tonefit

// Fits one sine to x. The frequency starts from the zero crossings, so it needs no guess;
// a signal with no tone gives a meaningless fit with a rest near 0 dB or above.
inline ToneFit fitTone(const std::vector<double>& x) {
    ToneFit fit;
    const size_t n = x.size();
    if (n < 16) return fit;
    double mean = 0.0;
    for (double v : x) mean += v;
    mean /= static_cast<double>(n);
    // Rising crossings of the mean, placed between samples: whole periods between the
    // first and the last give the starting frequency.
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = 1; i < n; ++i) {
        const double a = x[i - 1] - mean, b = x[i] - mean;
        if (a < 0.0 && b >= 0.0) {
            const double at = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return fit;
    double w = 2.0 * std::numbers::pi * (crossings - 1) / (last - first);
    double a = 0.0, b = 0.0, c = 0.0;
    for (int iteration = 0; iteration < 30; ++iteration) {
        // Linearised in (a, b, c, dw) around the current w; the first pass keeps w.
        double m[4][5] = {};
        for (size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i);
            const double cw = std::cos(w * t), sw = std::sin(w * t);
            const double g[4] = {cw, sw, 1.0, t * (b * cw - a * sw)};
            for (int r = 0; r < 4; ++r) {
                for (int k = 0; k < 4; ++k) m[r][k] += g[r] * g[k];
                m[r][4] += g[r] * x[i];
            }
        }
        if (iteration == 0) {
            for (int k = 0; k < 5; ++k) m[3][k] = 0.0;
            for (int r = 0; r < 3; ++r) m[r][3] = 0.0;
            m[3][3] = 1.0;
        }
        double s[4];
        if (!tonefit::solve<4>(m, s)) return fit;
        a = s[0], b = s[1], c = s[2];
        if (iteration == 0) continue;
        w += s[3];
        if (std::abs(s[3]) < 1e-13) break;
    }
    double rest = 0.0, tone = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        const double sine = a * std::cos(w * t) + b * std::sin(w * t);
        rest += (x[i] - sine) * (x[i] - sine);
        tone += sine * sine;
    }
    fit.cyclesPerFrame = w / (2.0 * std::numbers::pi);
    fit.amplitude = std::hypot(a, b);
    fit.phase = std::atan2(b, a);
    fit.offset = c;
    fit.restDb = 10.0 * std::log10(std::max(rest, 1e-300) / std::max(tone, 1e-300));
    return fit;
}

// Where in a sine of known frequency the first sample lies: the t (in frames, within one
// period) for which x[i] follows sin(2 pi f (t + i)). A tone of a known frequency thus
// works as a clock that survives lossy coding and rate conversion.
inline double sinePosition(const std::vector<double>& x, double cyclesPerFrame) {
    const double w = 2.0 * std::numbers::pi * cyclesPerFrame;
    double m[3][4] = {};
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i);
        const double g[3] = {std::cos(w * t), std::sin(w * t), 1.0};
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) m[r][k] += g[r] * g[k];
            m[r][3] += g[r] * x[i];
        }
    }
    double s[3];
    if (!tonefit::solve<3>(m, s)) return 0.0;
    // a cos(w i) + b sin(w i) = R sin(w i + phi) with tan(phi) = a / b.
    const double period = 1.0 / cyclesPerFrame;
    const double t = std::atan2(s[0], s[1]) / w;
    return t < 0.0 ? t + period : t;
}

// The amplitude of a `hz` tone in channel `channel` of `count` frames of `channels`
// interleaved channels from frame `from` (a single-bin Fourier sum: exact for whole periods).
inline double toneAmplitude(const std::vector<int16_t>& samples, int channels, int channel,
                            double hz, int64_t from, int32_t count, double frameRate = 44100.0) {
    double re = 0, im = 0;
    for (int32_t i = 0; i < count; ++i) {
        const double s = samples[static_cast<size_t>((from + i) * channels + channel)];
        re += s * std::cos(2 * std::numbers::pi * hz * i / frameRate);
        im += s * std::sin(2 * std::numbers::pi * hz * i / frameRate);
    }
    return 2 * std::hypot(re, im) / count;
}

}  // namespace spinlorex::test
