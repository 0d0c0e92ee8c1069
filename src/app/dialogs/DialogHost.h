#pragma once

// What the dialogs need of the program around them. The program implements it over its
// desk window, sound system, skin and audio engine; tests implement it with fakes.
//
// Main thread only.

#include <string>
#include <vector>

#include "platform/sound/SoundSystem.h"

class QWidget;

namespace spinlorex {

class DeckPair;

class DialogHost {
public:
    virtual ~DialogHost() = default;

    // The desk window: every dialog is owned by it and centred over it. Null only before
    // the window exists; the dialogs then open unowned where the system puts them.
    virtual QWidget* deskWindow() = 0;

    // The output devices the sound configuration offers (the sound system's listing; the
    // entry without identifier is the system's default device).
    virtual std::vector<sound::DeviceInfo> outputDevices() = 0;

    // Builds the named skin ("" = the built-in default skin) and, when it loads, makes it
    // current and redraws the desk with it (the previous skin is released). False when the
    // loader refused it: the old skin stays, and the loader's message is left in the
    // fatal-error channel for the caller to show and clear.
    virtual bool applySkin(const std::string& name) = 0;

    // Stops the audio engine and starts a new one with the current settings ("Output mode"
    // and the device identifiers), then brings the new output device up to the desk's
    // state so the decks keep playing. A failure leaves its message pending in the
    // fatal-error channel, shown when the program ends.
    virtual void rebuildAudioEngine() = 0;

    // The rhythm strip's drawing thread reads the decks and the skin: it is held while
    // either is replaced. Calls come in pairs, never nested.
    virtual void suspendRhythm() = 0;
    virtual void resumeRhythm() = 0;

    // The two decks, for the plug-in dialog (which gives each its effect); null when there
    // are none.
    virtual DeckPair* decks() { return nullptr; }

    // The top band shows the waveforms (true) or the rhythm strip; the waveforms zoom by
    // `steps` (above 0: out).
    virtual void showWaveforms(bool on) { (void)on; }
    virtual void zoomWaveforms(int steps) { (void)steps; }
    // The "Controllers..." dialog: the controllers found, their mappings, learning.
    virtual void openControllersDialog() {}
};

// Holds the rhythm strip for the lifetime of the object.
class RhythmPause {
public:
    explicit RhythmPause(DialogHost& host) : host_(host) { host_.suspendRhythm(); }
    ~RhythmPause() { host_.resumeRhythm(); }
    RhythmPause(const RhythmPause&) = delete;
    RhythmPause& operator=(const RhythmPause&) = delete;

private:
    DialogHost& host_;
};

}  // namespace spinlorex
