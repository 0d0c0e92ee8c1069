#include "audio/AudioEngine.h"

#include <chrono>
#include <thread>

#include "audio/DeckPair.h"
#include "audio/HardMixOutput.h"
#include "audio/OutputModes.h"
#include "audio/SoftMixOutput.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
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

// The first card is the default device and no other is chosen for the second.
const char* const kNoSecondCard =
    "Sound card 2 is not chosen, or is the same device as sound card 1";

}  // namespace

AudioEngine::AudioEngine(DeckPair& decks, sound::SoundSystem& system, SystemVolume* volume)
    : decks_(decks), system_(system), volume_(volume) {}

AudioEngine::~AudioEngine() { stop(); }

std::unique_ptr<sound::SoundDevice> AudioEngine::openCard(sound::SoundSystem& system,
                                                          const std::optional<sound::DeviceId>& id,
                                                          int32_t channels,
                                                          sound::SoundError& error) {
    const bool exclusive = get(settings().multiInstance) == 0;
    error = sound::SoundError::None;
    std::unique_ptr<sound::SoundDevice> device = system.open(id, channels, exclusive, error);
    if (device) error = device->setPrimaryFormat();
    if (!device || error != sound::SoundError::None) {
        if (error == sound::SoundError::None) error = sound::SoundError::Other;
        return nullptr;
    }
    return device;
}

std::unique_ptr<sound::SoundDevice> AudioEngine::openSecondCard(sound::SoundSystem& system,
                                                                bool firstIsDefault) {
    // The same road as the first card's, except that the default device is left out when
    // the first card is that device: the pre-listen would reach the audience.
    sound::SoundError error = sound::SoundError::None;
    const std::optional<sound::DeviceId>& stored = settings().soundCard2Guid;
    std::unique_ptr<sound::SoundDevice> card;
    if (stored || !firstIsDefault) card = openCard(system, stored, 2, error);
    if (!card && stored && error == sound::SoundError::Other && !firstIsDefault)
        card = openCard(system, std::nullopt, 2, error);
    if (card) return card;
    secondCardMessage_ = !stored && firstIsDefault ? kNoSecondCard : messageFor(error);
    secondCardSilent_ = true;  // its outputs are left out
    return nullptr;
}

std::unique_ptr<OutputDevice> AudioEngine::buildOutput(sound::SoundSystem& system,
                                                       const std::optional<sound::DeviceId>& id,
                                                       sound::SoundError& error) {
    const OutputPlan plan = outputPlanFor(get(settings().outputMode));
    std::unique_ptr<sound::SoundDevice> first = openCard(system, id, plan.channels, error);
    if (!first) return nullptr;
    std::unique_ptr<sound::SoundDevice> second;
    secondCardMessage_ = nullptr;
    secondCardSilent_ = false;
    if (plan.twoCards) {
        bool firstIsDefault = !id.has_value();
        for (const sound::DeviceInfo& device : system.devices())
            if (device.isDefault && device.id == id) firstIsDefault = true;
        second = openSecondCard(system, firstIsDefault);
    }
    std::unique_ptr<OutputDevice> output;
    if (plan.soft)
        output = SoftMixOutput::create(decks_, plan, std::move(first), std::move(second), error);
    else
        output = HardMixOutput::create(decks_, plan, std::move(first), std::move(second), error);
    // A buffer that cannot be created is the driver's failure.
    if (!output && error != sound::SoundError::OutOfMemory) error = sound::SoundError::Other;
    return output;
}

void AudioEngine::failed(const char* message) {
    setFatalError(message);
    decks_.setServedInline(true);
}

bool AudioEngine::start(Threading threading, const std::function<void(OutputDevice&)>& beforeThread,
                        OnFailure onFailure) {
    if (output_) return true;
    fallbackMessage_ = nullptr;
    silent_ = false;
    if (get(settings().multiInstance) == 0 && volume_ != nullptr) {
        volume_->saveAndMaximise();
        volumesSaved_ = true;
    }

    sound::SoundError error = sound::SoundError::None;
    const std::optional<sound::DeviceId>& stored = settings().soundCardGuid;
    output_ = buildOutput(system_, stored, error);
    bool triedDefault = !stored;
    // A stored device that failed for no particular reason (unplugged, renamed): the
    // default device is tried instead.
    if (!output_ && stored && error == sound::SoundError::Other) {
        output_ = buildOutput(system_, std::nullopt, error);
        triedDefault = true;
    }
    if (!output_) {
        const char* message = messageFor(error);
        if (onFailure == OnFailure::Stop) {
            failed(message);
            return false;
        }
        // The desk goes on: on the default device, else without sound.
        fallbackMessage_ = message;
        if (!triedDefault) output_ = buildOutput(system_, std::nullopt, error);
        if (!output_) {
            if (!silence_) silence_ = sound::createNullSystem();
            output_ = buildOutput(*silence_, std::nullopt, error);
            silent_ = output_ != nullptr;
        }
        if (!output_) {
            failed(message);
            return false;
        }
    }
    decks_.setOutput(output_.get());
    if (beforeThread) beforeThread(*output_);

    decks_.setServedInline(false);
    thread_ = std::make_unique<SoundThread>(*output_, decks_);
    const bool started = threading == Threading::Manual ||
                         (threading == Threading::Thread
                              ? thread_->start(std::chrono::milliseconds(1), /*realTime=*/true)
                              : thread_->start(std::chrono::microseconds(0), /*realTime=*/false));
    if (!started) {
        thread_.reset();
        decks_.setOutput(nullptr);
        output_.reset();
        failed(kThreadsImpossible);
        return false;
    }
    return true;
}

void AudioEngine::stop(std::unique_ptr<SampleSink>* keepRecording) {
    if (thread_) thread_->stop();
    thread_.reset();
    // From here on no sound thread serves the decks' requests.
    decks_.setServedInline(true);
    decks_.setOutput(nullptr);
    if (keepRecording != nullptr && output_) *keepRecording = output_->detachRecorder();
    output_.reset();
    if (volumesSaved_ && volume_ != nullptr) volume_->restore();
    volumesSaved_ = false;
}

bool AudioEngine::runPass() { return thread_ && !thread_->running() && thread_->runPass(); }

uint64_t AudioEngine::passCount() const { return thread_ ? thread_->passCount() : 0; }

void AudioEngine::waitForPasses(int passes) {
    if (!thread_) return;
    if (!thread_->running()) {
        for (int i = 0; i < passes; ++i) thread_->runPass();
        return;
    }
    const uint64_t target = thread_->passCount() + static_cast<uint64_t>(passes);
    thread_->wake();  // it may sleep, nothing to do
    while (thread_->passCount() < target) std::this_thread::yield();
}

}  // namespace spinlorex
