// The real backend: one PortAudio output stream per opened device, whose callback mixes
// that device's buffers.

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/sound/Mixer.h"
#include "platform/sound/SoundBackends.h"

#if defined(__SANITIZE_ADDRESS__)
#define SPINLOREX_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SPINLOREX_LEAK_CHECKS 1
#endif
#endif
#ifdef SPINLOREX_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
#endif

namespace spinlorex::sound {
namespace {

// One chunk being mixed, and two more for the sound thread to finish its writes after it
// read the cursors.
static_assert(kPortAudioWriteLead >= 3 * kMixChunkFrames);

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Runs `f` with the process's standard error pointed at /dev/null: probing the host APIs
// (JACK above all) prints to it directly, with no hook to turn that off.
template <typename F>
auto withStderrSilenced(F&& f) {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && devNull >= 0) dup2(devNull, STDERR_FILENO);
    if (devNull >= 0) close(devNull);
    auto result = f();
    std::fflush(stderr);
    if (saved >= 0) {
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    return result;
}

// One initialisation of PortAudio; devices keep it alive until their streams are closed.
class PaSession {
public:
    PaSession() {
#ifdef SPINLOREX_LEAK_CHECKS
        // Probing the ALSA plug-in devices loads codec libraries (the a52 encoder's) that
        // leak a little and are unloaded again, so the leak checker cannot even name them.
        __lsan::ScopedDisabler notOurLeaks;
#endif
        snd_lib_error_set_handler(&ignoreAlsaError);
        error_ = withStderrSilenced([] { return Pa_Initialize(); });
    }
    ~PaSession() {
        if (error_ == paNoError) withStderrSilenced([] { return Pa_Terminate(); });
    }
    PaSession(const PaSession&) = delete;
    PaSession& operator=(const PaSession&) = delete;

    bool ok() const { return error_ == paNoError; }

private:
    PaError error_ = paNotInitialized;
};

struct PaOutput {
    PaDeviceIndex index;
    DeviceInfo info;
};

// Every output device that takes stereo, in PortAudio's order. Two devices of the same
// host API and name (rare) are told apart by a number after the name, so their
// identifiers still differ.
std::vector<PaOutput> listOutputs() {
    std::vector<PaOutput> outputs;
    std::map<std::string, int> seen;
    const PaDeviceIndex defaultIndex = Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(i);
        if (device == nullptr || device->maxOutputChannels < 2) continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(device->hostApi);
        const std::string apiName = api != nullptr && api->name != nullptr ? api->name : "?";
        std::string name = device->name != nullptr ? device->name : "?";
        const int occurrence = ++seen[apiName + '\n' + name];
        if (occurrence > 1) name += " #" + std::to_string(occurrence);
        outputs.push_back({i, DeviceInfo{apiName + ": " + name, deviceIdFor(apiName, name),
                                         i == defaultIndex, device->maxOutputChannels}});
    }
    return outputs;
}

// What a failure means to the user: out of memory, busy (another program has the device to
// itself), or anything else.
SoundError soundError(PaError error) {
    if (error == paInsufficientMemory) return SoundError::OutOfMemory;
    if (error == paDeviceUnavailable) return SoundError::Busy;
    const PaHostErrorInfo* host =
        error == paUnanticipatedHostError ? Pa_GetLastHostErrorInfo() : nullptr;
    if (host != nullptr && host->hostApiType == paALSA) {
        // ALSA reports its errors as negative errno values.
        if (host->errorCode == -EBUSY) return SoundError::Busy;
        if (host->errorCode == -ENOMEM) return SoundError::OutOfMemory;
    }
    return SoundError::Other;
}

// What the callbacks see: the mixer, and whether the device itself is stopping the stream.
struct StreamContext {
    std::shared_ptr<MixerCore> core;
    std::atomic<bool> closing{false};
};

int mixCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                PaStreamCallbackFlags, void* user) {
    auto* context = static_cast<StreamContext*>(user);
    context->core->mix(static_cast<int16_t*>(output), static_cast<int32_t>(frames));
    return paContinue;
}

void streamFinished(void* user) {
    // A stream that ends without being asked to has failed (its device went away).
    auto* context = static_cast<StreamContext*>(user);
    if (!context->closing.load(std::memory_order_relaxed)) context->core->setLost();
}

class PortAudioDevice final : public SoundDevice {
public:
    PortAudioDevice(std::shared_ptr<PaSession> session, std::unique_ptr<StreamContext> context,
                    PaStream* stream)
        : session_(std::move(session)), context_(std::move(context)), stream_(stream) {}

    ~PortAudioDevice() override {
        context_->closing.store(true, std::memory_order_relaxed);
        // Abort rather than stop: nothing is left worth draining, and a vanished device
        // might never drain.
        Pa_AbortStream(stream_);
        Pa_CloseStream(stream_);
        context_->core->setLost();
    }

    SoundError setPrimaryFormat() override {
        return context_->core->alive() ? SoundError::None : SoundError::Other;
    }
    int32_t channels() const override { return context_->core->channels(); }
    std::unique_ptr<SoundBuffer> createBuffer(int32_t frames, SoundError& error) override {
        return createMixBuffer(context_->core, frames, error);
    }

private:
    std::shared_ptr<PaSession> session_;
    std::unique_ptr<StreamContext> context_;
    PaStream* stream_;
};

class PortAudioSystem final : public SoundSystem {
public:
    const char* backendName() const override { return "portaudio"; }

    std::vector<DeviceInfo> devices() override {
        std::vector<DeviceInfo> result;
        if (!refreshSession()) return result;
        const PaDeviceIndex defaultIndex = Pa_GetDefaultOutputDevice();
        const PaDeviceInfo* defaultInfo =
            defaultIndex != paNoDevice ? Pa_GetDeviceInfo(defaultIndex) : nullptr;
        if (defaultInfo != nullptr)
            result.push_back(
                {"Default device", std::nullopt, false, defaultInfo->maxOutputChannels});
        for (PaOutput& output : listOutputs()) result.push_back(std::move(output.info));
        return result;
    }

    // `exclusive` is not honoured: of the Linux host APIs, ALSA's hardware devices are
    // always used alone and its plug-in devices (default, pulse, dmix) always shared, and
    // none offers a choice; WASAPI's exclusive mode would be the place on Windows.
    std::unique_ptr<SoundDevice> open(const std::optional<DeviceId>& id, int32_t channels,
                                      bool /*exclusive*/, SoundError& error) override {
        error = SoundError::Other;
        if (channels < 2 || channels > kMaxChannels || !refreshSession()) return nullptr;
        PaDeviceIndex index = paNoDevice;
        if (!id) {
            index = Pa_GetDefaultOutputDevice();
        } else {
            for (const PaOutput& output : listOutputs())
                if (output.info.id == id) index = output.index;
        }
        const PaDeviceInfo* device = index != paNoDevice ? Pa_GetDeviceInfo(index) : nullptr;
        if (device == nullptr || device->maxOutputChannels < channels) return nullptr;

        auto context = std::make_unique<StreamContext>();
        // The write cursor keeps a lead on what the callback reads, so that a resync never
        // writes where the callback is reading.
        context->core = std::make_shared<MixerCore>(kPortAudioWriteLead, channels);
        PaStreamParameters parameters{};
        parameters.device = index;
        parameters.channelCount = channels;
        parameters.sampleFormat = paInt16;
        // A few tens of milliseconds: short enough for the faders to answer at once, long
        // enough for the ALSA plug-in devices not to run dry.
        parameters.suggestedLatency = std::max(device->defaultLowOutputLatency, 0.04);
        PaStream* stream = nullptr;
        PaError result =
            Pa_OpenStream(&stream, nullptr, &parameters, kSampleRate, paFramesPerBufferUnspecified,
                          paNoFlag, &mixCallback, context.get());
        if (result != paNoError) {
            error = soundError(result);
            return nullptr;
        }
        const PaStreamInfo* info = Pa_GetStreamInfo(stream);
        const double latency = info != nullptr ? info->outputLatency : 0.0;
        context->core->setPlayLag(
            static_cast<int32_t>(std::lround(std::clamp(latency, 0.0, 1.0) * kSampleRate)));
        Pa_SetStreamFinishedCallback(stream, &streamFinished);
        result = Pa_StartStream(stream);
        if (result != paNoError) {
            error = soundError(result);
            Pa_CloseStream(stream);
            return nullptr;
        }
        // A callback that stops coming without an error (a hung server) counts as a lost
        // device too.
        context->core->setWatchdog(std::chrono::seconds(2));
        error = SoundError::None;
        return std::make_unique<PortAudioDevice>(session_, std::move(context), stream);
    }

private:
    // PortAudio lists devices as they were at initialisation: start afresh so that a device
    // plugged in since shows up, unless an open device still uses this session.
    bool refreshSession() {
        if (!session_ || session_.use_count() == 1) {
            session_.reset();
            session_ = std::make_shared<PaSession>();
        }
        return session_->ok();
    }

    std::shared_ptr<PaSession> session_;
};

}  // namespace

std::unique_ptr<SoundSystem> createPortAudioSystem() { return std::make_unique<PortAudioSystem>(); }

}  // namespace spinlorex::sound
