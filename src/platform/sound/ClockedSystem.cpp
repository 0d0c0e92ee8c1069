// The null and WAV backends: no hardware, a clock decides how much has been played.

#include <algorithm>
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

// Drives the devices of one null or WAV system: mixes what the clock says has been played
// and, for a WAV system, writes the sum of all devices to the file. Shared by the system
// and its devices, so the file is completed when the last of them goes.
class ClockHub {
public:
    // The scratch buffers exist before the clock can tick, since a manual clock may be
    // advanced before any device is open.
    ClockHub(std::string wavPath, std::shared_ptr<ManualClock> clock)
        : wavPath_(std::move(wavPath)), clock_(std::move(clock)),
          scratch_(new (std::nothrow) int16_t[2 * kChunk]), sum_(new (std::nothrow) int32_t[2 * kChunk]) {
        if (clock_) clock_->state_->hubs.add(this);
    }

    ~ClockHub() {
        if (clock_) clock_->state_->hubs.remove(this);
        if (wall_.joinable()) {
            stop_.store(true, std::memory_order_relaxed);
            wall_.join();
        }
        wav_.finish();
    }

    bool writesWav() const { return !wavPath_.empty(); }
    const std::string& wavPath() const { return wavPath_; }

    // Main thread: the device's mixer joins the clock.
    SoundError attach(MixerCore* core) {
        if (!scratch_ || !sum_) return SoundError::OutOfMemory;
        if (writesWav() && !wav_.isOpen() && !wav_.open(wavPath_, kSampleRate, 2, 16))
            return SoundError::Other;
        if (!devices_.add(core)) return SoundError::Other;
        if (!clock_ && !wall_.joinable()) wall_ = std::thread([this] { runWallClock(); });
        return SoundError::None;
    }

    // Main thread: returns once the clock no longer touches the mixer.
    void detach(MixerCore* core) { devices_.remove(core); }

    // The clock's thread.
    void tick(int64_t frames) {
        if (!scratch_ || !sum_) return;  // no device could be attached
        while (frames > 0) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(frames, kChunk));
            if (writesWav()) {
                std::fill_n(sum_.get(), 2 * n, 0);
                int devices = 0;
                devices_.forEach([&](MixerCore& core) {
                    core.mix(scratch_.get(), n);
                    for (int32_t i = 0; i < 2 * n; ++i) sum_[i] += scratch_[i];
                    ++devices;
                });
                // Only what a device played goes into the file: no device, no frames.
                if (devices > 0) {
                    for (int32_t i = 0; i < 2 * n; ++i)
                        scratch_[i] = static_cast<int16_t>(std::clamp(sum_[i], -32768, 32767));
                    wav_.writeFrames(scratch_.get(), n);
                }
            } else {
                devices_.forEach([&](MixerCore& core) { core.mix(scratch_.get(), n); });
            }
            frames -= n;
        }
    }

private:
    static constexpr int32_t kChunk = 1024;

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

    const std::string wavPath_;
    const std::shared_ptr<ManualClock> clock_;
    SlotList<MixerCore, 8> devices_;
    std::unique_ptr<int16_t[]> scratch_;
    std::unique_ptr<int32_t[]> sum_;
    WavFileWriter wav_;
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

int64_t ManualClock::elapsedFrames() const { return state_->elapsed.load(std::memory_order_relaxed); }

namespace {

class ClockedDevice final : public SoundDevice {
public:
    ClockedDevice(std::shared_ptr<ClockHub> hub, std::shared_ptr<MixerCore> core)
        : hub_(std::move(hub)), core_(std::move(core)) {}
    ~ClockedDevice() override {
        hub_->detach(core_.get());
        core_->setLost();
    }

    SoundError setPrimaryFormat() override {
        return core_->alive() ? SoundError::None : SoundError::Other;
    }
    std::unique_ptr<SoundBuffer> createBuffer(int32_t frames, SoundError& error) override {
        return createMixBuffer(core_, frames, error);
    }

private:
    std::shared_ptr<ClockHub> hub_;
    std::shared_ptr<MixerCore> core_;
};

class ClockedSystem final : public SoundSystem {
public:
    ClockedSystem(std::string wavPath, std::shared_ptr<ManualClock> clock)
        : hub_(std::make_shared<ClockHub>(std::move(wavPath), std::move(clock))) {}

    const char* backendName() const override { return hub_->writesWav() ? "wav" : "null"; }

    std::vector<DeviceInfo> devices() override {
        return {DeviceInfo{"Default device", std::nullopt, false},
                DeviceInfo{description(), ownId(), true}};
    }

    std::unique_ptr<SoundDevice> open(const std::optional<DeviceId>& id, bool /*exclusive*/,
                                      SoundError& error) override {
        // Nothing else can use a device that does not exist: exclusive changes nothing.
        if (id && *id != ownId()) {
            error = SoundError::Other;
            return nullptr;
        }
        auto core = std::make_shared<MixerCore>(kNullWriteLatency);
        error = hub_->attach(core.get());
        if (error != SoundError::None) return nullptr;
        return std::make_unique<ClockedDevice>(hub_, std::move(core));
    }

private:
    std::string description() const {
        return hub_->writesWav() ? "wav: " + hub_->wavPath() : std::string("null: Silent output");
    }
    DeviceId ownId() const {
        return hub_->writesWav() ? deviceIdFor("wav", hub_->wavPath()) : deviceIdFor("null", "Silent output");
    }

    std::shared_ptr<ClockHub> hub_;
};

}  // namespace

std::unique_ptr<SoundSystem> createNullSystem(std::shared_ptr<ManualClock> clock) {
    return std::make_unique<ClockedSystem>(std::string(), std::move(clock));
}

std::unique_ptr<SoundSystem> createWavSystem(const std::string& path, std::shared_ptr<ManualClock> clock) {
    if (path.empty()) return nullptr;
    return std::make_unique<ClockedSystem>(path, std::move(clock));
}

}  // namespace spinlorex::sound
