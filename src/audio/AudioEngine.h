#pragma once

#include <functional>
#include <memory>

#include "audio/OutputDevice.h"
#include "audio/SoundThread.h"
#include "platform/sound/SoundSystem.h"

namespace spinlorex {

class DeckPair;
class SystemVolume;

// Starts and stops the sound thread and owns the output device that the "Output mode"
// setting asks for: the soft mix for mode 1, the hard mix for every other mode. Failures
// are reported through setFatalError with the user's messages.
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
    // Builds the output device and starts the sound thread. False after a failure stored
    // in fatalError; the thread is then not started.
    // `beforeThread` runs on the calling thread once the device exists and before the sound
    // thread starts: the one moment the main thread may use the device's sound-thread
    // operations (bringing a rebuilt device up to the desk's state).
    bool start(Threading threading = Threading::Thread,
               const std::function<void(OutputDevice&)>& beforeThread = {});
    // Stops and joins the thread, destroys the device (finishing any recording) and
    // restores the system volumes. Safe when not started.
    void stop();

    // The current output device, or null.
    OutputDevice* output() const { return output_.get(); }
    bool running() const { return output_ != nullptr; }
    // One pass on the calling thread, which then acts as the sound thread (Manual only).
    void runPass();
    // Returns once the sound thread ran `passes` more passes (FreeRunning; with Manual it
    // runs them itself).
    void waitForPasses(int passes);

private:
    std::unique_ptr<sound::SoundDevice> openDevice();

    DeckPair& decks_;
    sound::SoundSystem& system_;
    SystemVolume* volume_;
    bool volumesSaved_ = false;
    std::unique_ptr<OutputDevice> output_;
    std::unique_ptr<SoundThread> thread_;
};

}  // namespace spinlorex
