#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "audio/OutputDevice.h"
#include "audio/SampleSink.h"
#include "audio/SoundThread.h"
#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class DeckPair;
class SystemVolume;

// Starts and stops the sound thread and owns the output device that the "Output mode"
// setting asks for: the soft mix for modes 1, 8, 9 and 10, the hard mix for the others,
// on the card of "Sound card GUID" with as many channels as the mode needs, and for the
// two-card modes also on the card of "Sound card 2 GUID". Failures of the first card are
// reported through setFatalError with the user's messages; a second card that fails
// leaves the first playing (secondCardMessage()).
//
// Main thread only (the sound thread it runs touches the decks and the device).
class AudioEngine {
public:
    // `volume` is the system volume to take over while the engine runs (when the
    // "MultiInstance" setting is 0); null leaves the system's volumes alone.
    AudioEngine(DeckPair& decks, sound::SoundSystem& system, SystemVolume* volume);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    enum class Threading {
        Thread,       // the sound thread, pausing 1 ms between passes, real-time if allowed
        FreeRunning,  // a sound thread running passes back to back (offline, virtual time)
        Manual,       // no thread: the caller runs passes with runPass()
    };
    enum class OnFailure {
        Stop,      // the failure's message goes to fatalError; nothing runs
        FallBack,  // the default device is tried, then silence (the null device)
    };
    // Builds the output device and starts the sound thread. False after a failure stored
    // in fatalError; the thread is then not started, and the decks serve their requests
    // on the caller's thread so that no caller waits for ever.
    // `beforeThread` runs on the calling thread once the device exists and before the sound
    // thread starts: the one moment the main thread may use the device's sound-thread
    // operations (bringing a rebuilt device up to the desk's state).
    // With FallBack, a device that cannot be used gives way to the default device, then to
    // the null device; fallbackMessage() then tells what failed.
    bool start(Threading threading = Threading::Thread,
               const std::function<void(OutputDevice&)>& beforeThread = {},
               OnFailure onFailure = OnFailure::Stop);
    // Stops and joins the thread, destroys the device (finishing any recording) and
    // restores the system volumes. Safe when not started. With `keepRecording`, a
    // recording that runs is not finished but handed over, to go on on the next device.
    void stop(std::unique_ptr<SampleSink>* keepRecording = nullptr);

    // After start with FallBack: the message of the failure that made it fall back (null
    // when the chosen device works), and whether the engine plays on the null device.
    const char* fallbackMessage() const { return fallbackMessage_; }
    bool silent() const { return silent_; }
    // After start in a two-card mode: the message of the second card's failure (null when
    // it works), and whether its output then goes nowhere (rather than to the default
    // device).
    const char* secondCardMessage() const { return secondCardMessage_; }
    bool secondCardSilent() const { return secondCardSilent_; }

    // The current output device, or null.
    OutputDevice* output() const { return output_.get(); }
    bool running() const { return output_ != nullptr; }
    // One pass on the calling thread, which then acts as the sound thread (Manual only).
    // True when a deck had something to do (a request, rendering, decoding ahead).
    bool runPass();
    // Returns once the sound thread ran `passes` more passes (FreeRunning; with Manual it
    // runs them itself).
    void waitForPasses(int passes);
    // Any thread: passes run so far by the sound thread (0 without one).
    uint64_t passCount() const;

private:
    // The output device of the "Output mode" setting on the given device of `system`; null
    // with `error` set when the device or its buffers cannot be had.
    std::unique_ptr<OutputDevice> buildOutput(sound::SoundSystem& system,
                                              const std::optional<sound::DeviceId>& id,
                                              sound::SoundError& error);
    // A card opened with `channels` channels and its format set; null with `error` set.
    std::unique_ptr<sound::SoundDevice> openCard(sound::SoundSystem& system,
                                                 const std::optional<sound::DeviceId>& id,
                                                 int32_t channels, sound::SoundError& error);
    // The second card of a two-card mode: the stored one, else the default device (unless
    // the first card is the default device); null when neither can be had.
    std::unique_ptr<sound::SoundDevice> openSecondCard(sound::SoundSystem& system,
                                                       bool firstIsDefault);
    // Nothing runs: requests are served on the callers' threads.
    void failed(const char* message);

    DeckPair& decks_;
    sound::SoundSystem& system_;
    SystemVolume* volume_;
    bool volumesSaved_ = false;
    std::unique_ptr<sound::SoundSystem> silence_;  // the null system, made when first needed
    std::unique_ptr<OutputDevice> output_;
    std::unique_ptr<SoundThread> thread_;
    const char* fallbackMessage_ = nullptr;
    bool silent_ = false;
    const char* secondCardMessage_ = nullptr;
    bool secondCardSilent_ = false;
};

}  // namespace spinlorex
