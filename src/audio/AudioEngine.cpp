#include "audio/AudioEngine.h"

#include <chrono>
#include <thread>

#include "audio/DeckPair.h"
#include "audio/HardMixOutput.h"
#include "audio/SoftMixOutput.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/volume/SystemVolume.h"

namespace spinlorex {
namespace {

const char* messageFor(sound::SoundError error) {
    switch (error) {
        case sound::SoundError::OutOfMemory:
            return "Error in the sound card driver: not enough memory";
        case sound::SoundError::Busy:
            return "The sound card is already used by another application";
        default:
            return "Error in the sound driver of DirectX";
    }
}

}  // namespace

AudioEngine::AudioEngine(DeckPair& decks, sound::SoundSystem& system, SystemVolume* volume)
    : decks_(decks), system_(system), volume_(volume) {}

AudioEngine::~AudioEngine() { stop(); }

std::unique_ptr<sound::SoundDevice> AudioEngine::openDevice() {
    const bool exclusive = get(settings().multiInstance) == 0;
    sound::SoundError error = sound::SoundError::None;
    auto attempt = [&](const std::optional<sound::DeviceId>& id) -> std::unique_ptr<sound::SoundDevice> {
        error = sound::SoundError::None;
        std::unique_ptr<sound::SoundDevice> device = system_.open(id, exclusive, error);
        if (device) error = device->setPrimaryFormat();
        if (device && error == sound::SoundError::None) return device;
        if (error == sound::SoundError::None) error = sound::SoundError::Other;
        return nullptr;
    };
    const std::optional<sound::DeviceId>& stored = settings().soundCardGuid;
    std::unique_ptr<sound::SoundDevice> device = attempt(stored);
    // A stored device that failed for no particular reason (unplugged, renamed): the
    // default device is tried instead.
    if (!device && stored && error == sound::SoundError::Other) device = attempt(std::nullopt);
    if (!device) setFatalError(messageFor(error));
    return device;
}

bool AudioEngine::start(Threading threading, const std::function<void(OutputDevice&)>& beforeThread) {
    if (output_) return true;
    if (get(settings().multiInstance) == 0 && volume_ != nullptr) {
        volume_->saveAndMaximise();
        volumesSaved_ = true;
    }
    std::unique_ptr<sound::SoundDevice> device = openDevice();
    if (!device) return false;

    sound::SoundError error = sound::SoundError::None;
    if (get(settings().outputMode) == 1)
        output_ = SoftMixOutput::create(decks_, std::move(device), error);
    else
        output_ = HardMixOutput::create(decks_, std::move(device), error);
    if (!output_) {
        // A buffer that cannot be created is the driver's failure.
        setFatalError(messageFor(error == sound::SoundError::OutOfMemory ? error : sound::SoundError::Other));
        return false;
    }
    decks_.setOutput(output_.get());
    if (beforeThread) beforeThread(*output_);

    thread_ = std::make_unique<SoundThread>(*output_, decks_);
    const bool started =
        threading == Threading::Manual ||
        (threading == Threading::Thread ? thread_->start(std::chrono::milliseconds(1), /*realTime=*/true)
                                        : thread_->start(std::chrono::microseconds(0), /*realTime=*/false));
    if (!started) {
        setFatalError(kThreadsImpossible);
        return false;
    }
    return true;
}

void AudioEngine::stop() {
    if (thread_) thread_->stop();
    thread_.reset();
    decks_.setOutput(nullptr);
    output_.reset();
    if (volumesSaved_ && volume_ != nullptr) volume_->restore();
    volumesSaved_ = false;
}

void AudioEngine::runPass() {
    if (thread_ && !thread_->running()) thread_->runPass();
}

void AudioEngine::waitForPasses(int passes) {
    if (!thread_) return;
    if (!thread_->running()) {
        for (int i = 0; i < passes; ++i) thread_->runPass();
        return;
    }
    const uint64_t target = thread_->passCount() + static_cast<uint64_t>(passes);
    while (thread_->passCount() < target) std::this_thread::yield();
}

}  // namespace spinlorex
