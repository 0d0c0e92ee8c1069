#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>

#include "audio/SampleSink.h"

namespace spinlorex {

// The one current sound output: turns the two decks' rendered audio into sound. The
// sound thread calls beginPass, endPass, resyncDeck, deckStarted, deckStopped and preview;
// the main thread calls applyDeckLevel, applyCrossfader, deckSelected, isAudible and the
// recorder operations. No operation the sound thread calls may allocate, lock or wait: a
// finished recording is therefore handed back to the main thread to be closed.
class OutputDevice {
public:
    virtual ~OutputDevice() = default;

    // Main thread. level 0..256.
    virtual void applyDeckLevel(int deck, int32_t level) = 0;
    // Main thread. position 0..384, 0 = deck 1 only.
    virtual void applyCrossfader(int32_t position) = 0;
    // Sound thread: restart the deck's output from its heard index.
    virtual void resyncDeck(int deck) = 0;
    // Sound thread, after both decks were serviced: copy or mix what they rendered.
    virtual void endPass() = 0;
    // Sound thread: play `frames` frames of a paused deck's output ring at `index` once.
    virtual bool preview(int deck, int32_t index, int32_t frames) = 0;
    // Sound thread, before the decks are serviced: read the cursors and tell each deck
    // which of its frames is being heard.
    virtual void beginPass() = 0;
    // Sound thread.
    virtual void deckStarted(int deck) = 0;
    virtual void deckStopped(int deck) = 0;
    // Main thread: the desk selected this deck. Both mixes only remember it; a device that
    // routes by the selected deck (a pre-listen) overrides this.
    virtual void deckSelected(int deck) { selectedDeck_.store(deck, std::memory_order_relaxed); }
    // Any thread: the deck last selected, -1 before the first selection.
    int selectedDeck() const { return selectedDeck_.load(std::memory_order_relaxed); }
    // Main thread: the deck runs at an audible gain.
    virtual bool isAudible(int deck) const = 0;

    // Main thread, while the sound thread is not running: what attachRecorder releases so
    // that a sleeping sound thread starts handing frames at once (null for nothing).
    void setWake(std::binary_semaphore* wake) { wake_.store(wake, std::memory_order_relaxed); }

    // ---- Recording of what is heard (only where canRecord()) ----

    bool canRecord() const { return canRecord_; }
    // Main thread: starts handing the heard frames to `recorder`. Ignored (the recorder is
    // dropped) when the device cannot record or a recording is already attached.
    void attachRecorder(std::unique_ptr<SampleSink> recorder);
    // Main thread: asks the sound thread to stop handing frames to the recorder; once it
    // has, the recorder is retired and collectRetiredRecorder() finishes it.
    void requestStopRecording() { stopRecording_.store(true, std::memory_order_relaxed); }
    // Main thread: a stop was asked and the sound thread has not let the recorder go yet.
    bool stopRequested() const { return stopRecording_.load(std::memory_order_relaxed); }
    // Main thread: a recorder is attached (and not yet retired).
    bool recording() const { return recorder_.load(std::memory_order_acquire) != nullptr; }
    // Main thread: the attached recorder, for its description; null when none.
    const SampleSink* recorder() const { return recorder_.load(std::memory_order_acquire); }
    // Main thread: destroys a recorder the sound thread has let go (its destructor finishes
    // the file). Called by the desk's timer and when the device goes.
    void collectRetiredRecorder();
    // Main thread, while the sound thread is stopped: takes the running recorder away to
    // go on on another device; null when none runs (or a stop was asked for it).
    std::unique_ptr<SampleSink> detachRecorder();

protected:
    explicit OutputDevice(bool canRecord) : canRecord_(canRecord) {}
    // Sound thread, at the start of a pass: when a stop was asked, lets the recorder go and
    // returns null; else the recorder to hand this pass's heard frames to (or null).
    SampleSink* recorderForPass();
    // Destroys any recorder; derived destructors call it after their sound has stopped.
    void releaseRecorders();

private:
    const bool canRecord_;
    std::atomic<int> selectedDeck_{-1};
    std::atomic<SampleSink*> recorder_{nullptr};
    std::atomic<SampleSink*> retired_{nullptr};
    std::atomic<bool> stopRecording_{false};
    std::atomic<std::binary_semaphore*> wake_{nullptr};
};

}  // namespace spinlorex
