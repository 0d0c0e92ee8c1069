#include "platform/sound/Mixer.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace spinlorex::sound {

int32_t gainFromHundredthsDb(int32_t hundredthsOfDb) {
    if (hundredthsOfDb <= kMinVolume) return 0;
    if (hundredthsOfDb >= kMaxVolume) return 65536;
    return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, hundredthsOfDb / 2000.0)));
}

// The buffer every backend hands out. Its mixing position and play lag live in one atomic
// word so that cursors() always sees a pair the mixer wrote together.
class MixBuffer final : public SoundBuffer {
public:
    MixBuffer(std::shared_ptr<MixerCore> core, std::unique_ptr<int16_t[]> samples, int32_t frames)
        : core_(std::move(core)),
          samples_(std::move(samples)),
          frames_(frames),
          lead_(std::min(core_->writeLead(), frames / 2)) {}

    ~MixBuffer() override { core_->buffers().remove(this); }

    int32_t frames() const override { return frames_; }

    bool cursors(int32_t& play, int32_t& write) override {
        if (!core_->alive()) return false;
        const uint64_t state = state_.load(std::memory_order_acquire);
        const auto position = static_cast<int32_t>(state >> 32);
        const auto lag = static_cast<int32_t>(state & 0xFFFFFFFF);
        play = wrap(position - lag);
        write = wrap(position + lead_);
        return true;
    }

    bool lock(int32_t offset, int32_t frames, Region& region) override {
        if (offset < 0 || offset >= frames_ || frames <= 0 || frames > frames_ || !core_->alive())
            return false;
        const int32_t first = std::min(frames, frames_ - offset);
        region.first = samples_.get() + 2 * static_cast<ptrdiff_t>(offset);
        region.firstFrames = first;
        region.second = first < frames ? samples_.get() : nullptr;
        region.secondFrames = frames - first;
        return true;
    }

    void unlock(const Region&) override {
        // Publishes the samples written since the lock to the mixer, which acquires this
        // counter before it reads.
        published_.fetch_add(1, std::memory_order_release);
    }

    bool setVolume(int32_t hundredthsOfDb) override {
        if (hundredthsOfDb < kMinVolume || hundredthsOfDb > kMaxVolume) return false;
        volume_.store(hundredthsOfDb, std::memory_order_relaxed);
        gain_.store(gainFromHundredthsDb(hundredthsOfDb), std::memory_order_relaxed);
        return true;
    }
    int32_t volume() const override { return volume_.load(std::memory_order_relaxed); }

    bool play() override {
        if (!core_->alive()) return false;
        playing_.store(true, std::memory_order_relaxed);
        return true;
    }
    bool stop() override {
        playing_.store(false, std::memory_order_relaxed);
        return true;
    }

    bool setRoute(ChannelRoute route) override {
        const int32_t channels = core_->channels();
        if (route.first < 0 || route.first + (route.mono ? 1 : 2) > channels) return false;
        route_.store(route.first | (route.mono ? kMonoFlag : 0), std::memory_order_relaxed);
        return true;
    }

    // The mixing thread: adds `frames` frames from the mixing position, scaled by the gain
    // in 1/65536, to the channels of the route in `acc` (`channels` a frame) and moves
    // the position on, looping.
    void mixInto(int64_t* acc, int32_t frames, int32_t channels, int32_t playLag) {
        if (!playing_.load(std::memory_order_relaxed)) return;
        (void)published_.load(std::memory_order_acquire);
        const uint64_t state = state_.load(std::memory_order_relaxed);
        int32_t position = static_cast<int32_t>(state >> 32);
        int32_t lag = static_cast<int32_t>(state & 0xFFFFFFFF);
        const int64_t gain = gain_.load(std::memory_order_relaxed);
        const int32_t route = route_.load(std::memory_order_relaxed);
        const int32_t first = route & ~kMonoFlag;

        for (int32_t done = 0; done < frames;) {
            const int32_t n = std::min(frames - done, frames_ - position);
            if (gain != 0) {
                const int16_t* in = samples_.get() + 2 * static_cast<ptrdiff_t>(position);
                int64_t* sum = acc + channels * static_cast<ptrdiff_t>(done) + first;
                if ((route & kMonoFlag) != 0) {
                    for (int32_t i = 0; i < n; ++i)
                        sum[channels * i] += ((in[2 * i] + in[2 * i + 1]) * gain) >> 1;
                } else if (channels == 2) {
                    for (int32_t i = 0; i < 2 * n; ++i) sum[i] += in[i] * gain;
                } else {
                    for (int32_t i = 0; i < n; ++i) {
                        sum[channels * i] += in[2 * i] * gain;
                        sum[channels * i + 1] += in[2 * i + 1] * gain;
                    }
                }
            }
            done += n;
            position += n;
            if (position == frames_) position = 0;
        }
        // The play cursor trails by the device's latency once that much has gone out; a
        // lag of half the buffer or more would put it past the write cursor.
        lag = std::min({lag + frames, playLag, frames_ / 2});
        state_.store(static_cast<uint64_t>(position) << 32 | static_cast<uint32_t>(lag),
                     std::memory_order_release);
    }

private:
    static constexpr int32_t kMonoFlag = 1 << 8;

    int32_t wrap(int32_t frame) const {
        frame %= frames_;
        return frame < 0 ? frame + frames_ : frame;
    }

    const std::shared_ptr<MixerCore> core_;
    const std::unique_ptr<int16_t[]> samples_;
    const int32_t frames_;
    const int32_t lead_;
    std::atomic<uint64_t> state_{0};  // mixing position << 32 | play lag
    std::atomic<int32_t> gain_{65536};
    std::atomic<int32_t> volume_{kMaxVolume};
    std::atomic<bool> playing_{false};
    std::atomic<uint32_t> published_{0};
    std::atomic<int32_t> route_{0};  // first channel, | kMonoFlag for the mono sum
};

MixerCore::MixerCore(int32_t writeLead, int32_t channels)
    : writeLead_(writeLead), channels_(std::clamp(channels, 2, kMaxChannels)) {}

int64_t MixerCore::nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void MixerCore::mix(int16_t* out, int32_t frames) {
    if (stallNanos_.load(std::memory_order_relaxed) != 0)
        lastMixNanos_.store(nowNanos(), std::memory_order_relaxed);
    const int32_t lag = playLag();
    while (frames > 0) {
        const int32_t n = std::min(frames, kChunk);
        const int32_t samples = channels_ * n;
        std::fill_n(acc_.begin(), samples, int64_t{0});
        buffers_.forEach(
            [&](MixBuffer& buffer) { buffer.mixInto(acc_.data(), n, channels_, lag); });
        for (int32_t i = 0; i < samples; ++i)
            out[i] = static_cast<int16_t>(std::clamp<int64_t>(acc_[i] >> 16, -32768, 32767));
        out += samples;
        frames -= n;
    }
}

bool MixerCore::alive() {
    if (lost_.load(std::memory_order_relaxed)) return false;
    const int64_t stall = stallNanos_.load(std::memory_order_relaxed);
    if (stall != 0 && nowNanos() - lastMixNanos_.load(std::memory_order_relaxed) > stall) {
        setLost();
        return false;
    }
    return true;
}

void MixerCore::setWatchdog(std::chrono::milliseconds stall) {
    lastMixNanos_.store(nowNanos(), std::memory_order_relaxed);
    stallNanos_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(stall).count(),
                      std::memory_order_relaxed);
}

std::unique_ptr<SoundBuffer> createMixBuffer(const std::shared_ptr<MixerCore>& core, int32_t frames,
                                             SoundError& error) {
    error = SoundError::Other;
    if (frames < 1 || frames > kMaxBufferFrames || !core->alive()) return nullptr;
    std::unique_ptr<int16_t[]> samples(new (std::nothrow)
                                           int16_t[2 * static_cast<size_t>(frames)]());
    auto buffer = samples ? std::unique_ptr<MixBuffer>(
                                new (std::nothrow) MixBuffer(core, std::move(samples), frames))
                          : nullptr;
    if (!buffer) {
        error = SoundError::OutOfMemory;
        return nullptr;
    }
    if (!core->buffers().add(buffer.get())) return nullptr;  // error stays Other
    error = SoundError::None;
    return buffer;
}

}  // namespace spinlorex::sound
