#include "library/WaveformSummary.h"

#include <algorithm>

namespace spinlorex {
namespace {

void putU32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

uint32_t getU32(std::span<const unsigned char> in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{in[at + static_cast<size_t>(i)]} << (8 * i);
    return v;
}

WaveColumn louder(WaveColumn a, WaveColumn b) {
    return {std::max(a.low, b.low), std::max(a.mid, b.mid), std::max(a.high, b.high)};
}

}  // namespace

int32_t WaveformSummary::columnFramesFor(int64_t frames) {
    const int64_t needed = (std::max<int64_t>(frames, 0) + kMaxColumns - 1) / kMaxColumns;
    return static_cast<int32_t>(std::max<int64_t>(needed, kMinColumnFrames));
}

std::vector<unsigned char> encodeWaveform(const WaveformSummary& summary) {
    // Merged `factor` columns at a time until they fit.
    const auto count = static_cast<int64_t>(summary.columns.size());
    const int64_t factor = std::max<int64_t>(
        1, (count + WaveformSummary::kMaxColumns - 1) / WaveformSummary::kMaxColumns);
    std::vector<WaveColumn> columns;
    columns.reserve(static_cast<size_t>((count + factor - 1) / factor));
    uint8_t peak = 0;
    for (int64_t i = 0; i < count; i += factor) {
        WaveColumn c{};
        for (int64_t j = i; j < std::min(count, i + factor); ++j)
            c = louder(c, summary.columns[static_cast<size_t>(j)]);
        peak = std::max(peak, c.loudest());
        columns.push_back(c);
    }

    std::vector<unsigned char> out{'W', '1'};
    putU32(out, static_cast<uint32_t>(summary.columnFrames * factor));
    putU32(out, static_cast<uint32_t>(columns.size()));
    out.push_back(peak);
    out.resize(WaveformSummary::kHeaderBytes + (columns.size() * 3 + 1) / 2, 0);
    size_t nibble = 0;
    const auto put = [&](uint8_t level) {
        const unsigned q = peak == 0 ? 0u : (unsigned{level} * 15 + peak / 2u) / peak;
        out[WaveformSummary::kHeaderBytes + nibble / 2] |=
            static_cast<unsigned char>(q << (nibble % 2 == 0 ? 0 : 4));
        ++nibble;
    };
    for (const WaveColumn& c : columns) {
        put(c.low);
        put(c.mid);
        put(c.high);
    }
    return out;
}

std::optional<WaveformSummary> decodeWaveform(std::span<const unsigned char> blob) {
    if (blob.size() < WaveformSummary::kHeaderBytes || blob[0] != 'W' || blob[1] != '1') return {};
    const uint32_t columnFrames = getU32(blob, 2);
    const uint32_t count = getU32(blob, 6);
    if (columnFrames == 0 || columnFrames > (1u << 30) ||
        count > static_cast<uint32_t>(WaveformSummary::kMaxColumns) ||
        blob.size() != WaveformSummary::kHeaderBytes + (size_t{count} * 3 + 1) / 2)
        return {};
    WaveformSummary s;
    s.columnFrames = static_cast<int32_t>(columnFrames);
    const unsigned peak = blob[10];
    s.columns.resize(count);
    size_t nibble = 0;
    const auto get = [&] {
        const unsigned byte = blob[WaveformSummary::kHeaderBytes + nibble / 2];
        const unsigned q = (nibble % 2 == 0 ? byte : byte >> 4) & 0xF;
        ++nibble;
        return static_cast<uint8_t>((q * peak + 7) / 15);
    };
    for (WaveColumn& c : s.columns) {
        c.low = get();
        c.mid = get();
        c.high = get();
        s.peak = std::max(s.peak, c.loudest());
    }
    return s;
}

}  // namespace spinlorex
