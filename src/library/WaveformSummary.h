#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace spinlorex {

// The loudest sample of each band over one column of a track, 0..255 of full scale: the
// bass (below about 200 Hz), the middle and the highs (above about 3 kHz).
struct WaveColumn {
    uint8_t low = 0, mid = 0, high = 0;
    uint8_t loudest() const {
        return low > mid ? (low > high ? low : high) : (mid > high ? mid : high);
    }
    bool operator==(const WaveColumn&) const = default;
};

// A whole track's waveform as columns of equal length, small enough for the track store to
// keep (encoded, at most kMaxBytes) and fine enough to scroll past at a few seconds across.
struct WaveformSummary {
    // At most 100 columns a second; longer tracks get longer columns so that they fit.
    static constexpr int32_t kMinColumnFrames = 441;
    static constexpr size_t kMaxBytes = 20 * 1024;
    static constexpr size_t kHeaderBytes = 11;
    // Three 4-bit levels a column.
    static constexpr int32_t kMaxColumns = static_cast<int32_t>((kMaxBytes - kHeaderBytes) * 2 / 3);

    int32_t columnFrames = kMinColumnFrames;  // decoded frames (44100 a second) per column
    std::vector<WaveColumn> columns;
    uint8_t peak = 0;  // the loudest level of any column

    // The column length for a track of about `frames` frames: whole tracks fit kMaxColumns.
    static int32_t columnFramesFor(int64_t frames);
    bool operator==(const WaveformSummary&) const = default;
};

// The summary as the track store keeps it: a header ("W1", column length, column count,
// peak) and each level in 4 bits of the peak. A summary with more columns than fit is
// first made coarser (neighbouring columns merged by their loudest). Never above kMaxBytes.
std::vector<unsigned char> encodeWaveform(const WaveformSummary& summary);
// Nothing when the blob is not one (wrong header, length or column length).
std::optional<WaveformSummary> decodeWaveform(std::span<const unsigned char> blob);

// The columns of a summary being computed, shared by the thread that computes it and the
// one that draws it while it grows: the writer fills column n, then publishes n + 1; a
// reader reads only the published ones. Its room is fixed, so nothing moves under a reader.
class LiveWaveform {
public:
    static constexpr int32_t kCapacity = 2 * WaveformSummary::kMaxColumns;

    LiveWaveform() : columns_(new WaveColumn[kCapacity]) {}

    // Writer thread, before the first column: the columns' length.
    void begin(int32_t columnFrames) {
        columnFrames_.store(columnFrames, std::memory_order_release);
    }
    // Writer thread: the next column (dropped once the room is full).
    void append(WaveColumn column) {
        const int32_t n = count_.load(std::memory_order_relaxed);
        if (n >= kCapacity) return;
        columns_[n] = column;
        if (column.loudest() > peak_.load(std::memory_order_relaxed))
            peak_.store(column.loudest(), std::memory_order_relaxed);
        count_.store(n + 1, std::memory_order_release);
    }
    // Any thread: what is published so far (0 columns before begin()).
    int32_t columnFrames() const { return columnFrames_.load(std::memory_order_acquire); }
    int32_t count() const { return count_.load(std::memory_order_acquire); }
    uint8_t peak() const { return peak_.load(std::memory_order_relaxed); }
    // Columns below count() only.
    const WaveColumn* columns() const { return columns_.get(); }

private:
    std::unique_ptr<WaveColumn[]> columns_;
    std::atomic<int32_t> columnFrames_{0};
    std::atomic<int32_t> count_{0};
    std::atomic<uint8_t> peak_{0};
};

// What a drawing reads, from a finished summary or a live one. Valid while its source lives.
struct WaveView {
    const WaveColumn* columns = nullptr;
    int32_t count = 0;
    int32_t columnFrames = 0;
    uint8_t peak = 0;

    bool empty() const { return count <= 0 || columnFrames <= 0; }
    static WaveView of(const WaveformSummary& s) {
        return {s.columns.data(), static_cast<int32_t>(s.columns.size()), s.columnFrames, s.peak};
    }
    static WaveView of(const LiveWaveform& live) {
        const int32_t frames = live.columnFrames();
        return {live.columns(), frames > 0 ? live.count() : 0, frames, live.peak()};
    }
};

}  // namespace spinlorex
