#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spinlorex {

// The program's settings as process-wide values. Every field may be read by the sound
// thread, so each is an atomic read and written with relaxed order; only the main thread
// changes them. Defaults are those of a fresh installation.
struct Settings {
    std::atomic<int32_t> limitPitch{0};       // "LimitPitch": 0 = -34%..+34%, 1 = -8%..+8%
    std::atomic<int32_t> masterTempo{1};      // "MasterTempo": change speed without changing key
    std::atomic<int32_t> longMix{0};          // "LongMix": hold ticks of an automatic mix
    std::atomic<int32_t> autoZPitch{0};       // "AutoZPitch": glide back to 0 % after a mix
    std::atomic<int32_t> autoLevel{0};        // "AutoLevel": match the level on load
    std::atomic<int32_t> autoBpm{1};          // "AutoBpm": match the pitch on load
    std::atomic<int32_t> multiInstance{0};    // "MultiInstance"
    std::atomic<int32_t> crossfader{0};       // "Crossfader": curve 0 smooth, 1 full, 2 cut
    std::atomic<int32_t> maximized{1};        // "Maximized"
    std::atomic<int32_t> outputMode{0};       // "Output mode": 0..10
    std::atomic<int32_t> toolTip{1};          // "ToolTip"
    std::atomic<int32_t> babySecure{1};       // "Baby secure": 0 none, 1 ask, 2 always
    std::atomic<int32_t> waveforms{0};        // "Waveforms": the top band shows them (1)
                                              // instead of the rhythm strip (0)
    std::atomic<int32_t> waveformZoom{8000};  // "Waveform zoom": ms heard across, 2000..32000
    // "FileNameTitles": 1 = the lists name tracks by their file names alone, tags aside.
    std::atomic<int32_t> fileNameTitles{0};
    // "KeyNotation": keys shown as 0 Camelot (8A), 1 Open Key (1m), 2 names (A minor).
    std::atomic<int32_t> keyNotation{0};
    // "MasterTempoQuality": master tempo by 0 Standard (overlap and add) or 1 High (the
    // studio stretcher).
    std::atomic<int32_t> masterTempoQuality{0};
    // "CompatibleFirst": 1 = automatic mixing takes the playlist's first track whose key
    // mixes with the playing one, when there is one.
    std::atomic<int32_t> compatibleFirst{0};

    // The automatic-mixing switch: off at start-up and never stored.
    std::atomic<int32_t> autoMix{0};

    // Main thread only.
    using DeviceId = std::array<uint8_t, 16>;
    static constexpr size_t kMaxText = 511;  // bytes, the terminator not counted
    static constexpr int kColumnSizes = 28;
    static constexpr std::array<int32_t, kColumnSizes> kDefaultColumnSizes = {
        195, 128, 46,  154, 251, 149, 50,  248, 251, 149, 50,  248, 193, 127,
        0,   0,   267, 165, 0,   264, 150, 82,  0,   0,   160, 118, 245, 16};

    std::string homeFolder;  // "Home folder"
    std::string cdDrive;     // "CD Drive": root of the CD drive
    std::string skin;        // "Skin": empty = the built-in skin
    // "Added Columns": the columns the lists show beside their four, each with its width
    // ("4=120,7=48": library/TrackList.h's column numbers). Empty: none.
    std::string addedColumns;
    std::optional<std::vector<uint8_t>> initialFolder;                    // "Initial folder"
    std::array<int32_t, kColumnSizes> columnSizes = kDefaultColumnSizes;  // "Column Sizes"
    std::optional<DeviceId> soundCardGuid;   // "Sound card GUID": none = default device
    std::optional<DeviceId> soundCard1Guid;  // "Sound card 1 GUID"
    std::optional<DeviceId> soundCard2Guid;  // "Sound card 2 GUID"

    // Puts every value back to its default.
    void resetToDefaults();
};

// The one settings object of the process.
Settings& settings();

// Relaxed read of one value, for brevity at the call sites.
inline int32_t get(const std::atomic<int32_t>& value) {
    return value.load(std::memory_order_relaxed);
}
inline void set(std::atomic<int32_t>& value, int32_t v) {
    value.store(v, std::memory_order_relaxed);
}

}  // namespace spinlorex
