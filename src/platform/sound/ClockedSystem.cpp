// The null and WAV backends: no hardware, a clock decides how much has been played.

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "platform/core/WavFileWriter.h"
#include "platform/sound/Mixer.h"
#include "platform/sound/SoundBackends.h"

namespace spinlorex::sound {

struct ManualClock::State {
    SlotList<ClockHub, 8> hubs;
    std::atomic<int64_t> elapsed{0};
};

// A device of a clocked system: its mixer, and the file (0 or 1) its sound goes into on a
// WAV system.
struct ClockedOutput {
    MixerCore* core;
    int file;
};

// Drives the devices of one null or WAV system: mixes what the clock says has been played
// and, for a WAV system, writes the sum of the devices of each of its two files (the second
// stands for a second sound card) to that file, with the channels of the first device that
// played into it. Shared by the system and its devices, so the files are completed when
// the last of them goes.
class ClockHub {
public:
    static constexpr int kFiles = 2;

    // The scratch buffers exist before the clock can tick, since a manual clock may be
    // advanced before any device is open.
    ClockHub(std::string wavPath, std::shared_ptr<ManualClock> clock)
        : clock_(std::move(clock)),
          scratch_(new (std::nothrow) int16_t[kMaxChannels * kChunk]),
          sum_(new (std::nothrow) int32_t[kFiles * kMaxChannels * kChunk]) {
        files_[0].path = std::move(wavPath);
        if (!files_[0].path.empty()) files_[1].path = secondPath(files_[0].path);
        if (clock_) clock_->state_->hubs.add(this);
    }

    ~ClockHub() {
        if (clock_) clock_->state_->hubs.remove(this);
        if (wall_.joinable()) {
            stop_.store(true, std::memory_order_relaxed);
            wall_.join();
        }
        for (File& file : files_) file.wav.finish();
    }

    bool writesWav() const { return !files_[0].path.empty(); }
    const std::string& wavPath(int file) const { return files_[static_cast<size_t>(file)].path; }

    // Main thread: the device's mixer joins the clock.
    SoundError attach(ClockedOutput* output) {
        if (!scratch_ || !sum_) return SoundError::OutOfMemory;
        if (writesWav()) {
            File& file = files_[static_cast<size_t>(output->file)];
            if (!file.wav.isOpen()) {
                if (!file.wav.open(file.path, kSampleRate, output->core->channels(), 16))
                    return SoundError::Other;
                file.channels = output->core->channels();
            }
        }
        if (!devices_.add(output)) return SoundError::Other;
        if (!clock_ && !wall_.joinable()) wall_ = std::thread([this] { runWallClock(); });
        return SoundError::None;
    }

    // Main thread: returns once the clock no longer touches the mixer.
    void detach(ClockedOutput* output) { devices_.remove(output); }

    // The clock's thread.
    void tick(int64_t frames) {
        if (!scratch_ || !sum_) return;  // no device could be attached
        while (frames > 0) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(frames, kChunk));
            if (writesWav()) {
                for (int f = 0; f < kFiles; ++f)
                    std::fill_n(sum_.get() + f * kMaxChannels * kChunk, kMaxChannels * n, 0);
                std::array<bool, kFiles> played{};
                devices_.forEach([&](ClockedOutput& output) {
                    output.core->mix(scratch_.get(), n);
                    const auto f = static_cast<size_t>(output.file);
                    addInto(sum_.get() + f * kMaxChannels * kChunk, files_[f].channels,
                            output.core->channels(), n);
                    played[f] = true;
                });
                // Only what a device played goes into a file: no device, no frames.
                for (size_t f = 0; f < files_.size(); ++f) {
                    if (!played[f]) continue;
                    const int32_t* sum = sum_.get() + f * kMaxChannels * kChunk;
                    const int32_t samples = files_[f].channels * n;
                    for (int32_t i = 0; i < samples; ++i)
                        scratch_[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
                    files_[f].wav.writeFrames(scratch_.get(), n);
                }
            } else {
                devices_.forEach(
                    [&](ClockedOutput& output) { output.core->mix(scratch_.get(), n); });
            }
            frames -= n;
        }
    }

private:
    static constexpr int32_t kChunk = 1024;

    struct File {
        std::string path;
        WavFileWriter wav;
        int32_t channels = 2;  // those of the first device that played into it
    };

    // "mix.wav" -> "mix-2.wav": the file of the second card.
    static std::string secondPath(const std::string& path) {
        const size_t slash = path.find_last_of('/');
        const size_t dot = path.find_last_of('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
            dot == slash + 1)
            return path + "-2";
        return path.substr(0, dot) + "-2" + path.substr(dot);
    }

    // Adds the device's frames in scratch_ to a file's sum; channels the file lacks are
    // left out.
    void addInto(int32_t* sum, int32_t fileChannels, int32_t deviceChannels, int32_t frames) {
        const int32_t common = std::min(fileChannels, deviceChannels);
        for (int32_t i = 0; i < frames; ++i)
            for (int32_t c = 0; c < common; ++c)
                sum[i * fileChannels + c] += scratch_[i * deviceChannels + c];
    }

    void runWallClock() {
        using namespace std::chrono;
        const auto start = steady_clock::now();
        int64_t played = 0;
        while (!stop_.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(milliseconds(4));
            const int64_t due = duration_cast<microseconds>(steady_clock::now() - start).count() *
                                kSampleRate / 1'000'000;
            // After a suspension the clock skips ahead rather than racing through what it
            // missed.
            played = std::max(played, due - kSampleRate / 4);
            tick(due - played);
            played = due;
        }
    }

    const std::shared_ptr<ManualClock> clock_;
    SlotList<ClockedOutput, 8> devices_;
    std::unique_ptr<int16_t[]> scratch_;
    std::unique_ptr<int32_t[]> sum_;
    std::array<File, kFiles> files_;
    std::thread wall_;
    std::atomic<bool> stop_{false};
};

ManualClock::ManualClock() : state_(std::make_unique<State>()) {}
ManualClock::~ManualClock() = default;

void ManualClock::advance(int64_t frames) {
    if (frames <= 0) return;
    state_->hubs.forEach([&](ClockHub& hub) { hub.tick(frames); });
    state_->elapsed.fetch_add(frames, std::memory_order_relaxed);
}

int64_t ManualClock::elapsedFrames() const {
    return state_->elapsed.load(std::memory_order_relaxed);
}

namespace {

class ClockedDevice final : public SoundDevice {
public:
    ClockedDevice(std::shared_ptr<ClockHub> hub, std::shared_ptr<MixerCore> core, int file)
        : hub_(std::move(hub)), core_(std::move(core)), output_{core_.get(), file} {}
    ~ClockedDevice() override {
        hub_->detach(&output_);
        core_->setLost();
    }

    // Main thread, right after construction.
    SoundError attach() { return hub_->attach(&output_); }

    SoundError setPrimaryFormat() override {
        return core_->alive() ? SoundError::None : SoundError::Other;
    }
    int32_t channels() const override { return core_->channels(); }
    std::unique_ptr<SoundBuffer> createBuffer(int32_t frames, SoundError& error) override {
        return createMixBuffer(core_, frames, error);
    }

private:
    std::shared_ptr<ClockHub> hub_;
    std::shared_ptr<MixerCore> core_;
    ClockedOutput output_;
};

class ClockedSystem final : public SoundSystem {
public:
    ClockedSystem(std::string wavPath, std::shared_ptr<ManualClock> clock)
        : hub_(std::make_shared<ClockHub>(std::move(wavPath), std::move(clock))) {}

    const char* backendName() const override { return hub_->writesWav() ? "wav" : "null"; }

    // A WAV system has a device for each of its files; the default device writes the first.
    std::vector<DeviceInfo> devices() override {
        std::vector<DeviceInfo> list{
            DeviceInfo{"Default device", std::nullopt, false, kMaxChannels}};
        for (int file = 0; file < (hub_->writesWav() ? ClockHub::kFiles : 1); ++file)
            list.push_back(DeviceInfo{description(file), ownId(file), file == 0, kMaxChannels});
        return list;
    }

    std::unique_ptr<SoundDevice> open(const std::optional<DeviceId>& id, int32_t channels,
                                      bool /*exclusive*/, SoundError& error) override {
        // Nothing else can use a device that does not exist: exclusive changes nothing.
        error = SoundError::Other;
        int file = 0;
        if (id && *id != ownId(0)) {
            if (!hub_->writesWav() || *id != ownId(1)) return nullptr;
            file = 1;
        }
        if (channels < 2 || channels > kMaxChannels) return nullptr;
        auto device = std::make_unique<ClockedDevice>(
            hub_, std::make_shared<MixerCore>(kNullWriteLatency, channels), file);
        error = device->attach();
        if (error != SoundError::None) return nullptr;
        return device;
    }

private:
    std::string description(int file) const {
        return hub_->writesWav() ? "wav: " + hub_->wavPath(file)
                                 : std::string("null: Silent output");
    }
    DeviceId ownId(int file) const {
        return hub_->writesWav() ? deviceIdFor("wav", hub_->wavPath(file))
                                 : deviceIdFor("null", "Silent output");
    }

    std::shared_ptr<ClockHub> hub_;
};

}  // namespace

std::unique_ptr<SoundSystem> createNullSystem(std::shared_ptr<ManualClock> clock) {
    return std::make_unique<ClockedSystem>(std::string(), std::move(clock));
}

std::unique_ptr<SoundSystem> createWavSystem(const std::string& path,
                                             std::shared_ptr<ManualClock> clock) {
    if (path.empty()) return nullptr;
    return std::make_unique<ClockedSystem>(path, std::move(clock));
}

}  // namespace spinlorex::sound
