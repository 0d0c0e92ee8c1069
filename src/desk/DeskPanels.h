#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "desk/DeskContext.h"

namespace spinlorex {

class DeskFaders;
class SampleSink;

// What the desk is pointed at: the selected deck (the one the keys act on) and the panel
// shown below the decks, with the record panel's status and the options panel's switches.
// Owns the selection, the current panel and the record panel's messages.
//
// Main thread only (selectedDeck excepted, which any thread may read).
class DeskPanels {
public:
    DeskPanels(DeskContext& context, DeskFaders& faders);

    // Deck 0 or 1 becomes the selected one; the output device is told.
    void selectDeck(int deck);
    int selectedDeck() const { return selectedDeck_; }

    // Panel 0..5; mixRunning lights the Mix button where it shows.
    void selectPanel(int panel, bool mixRunning);
    int currentPanel() const { return currentPanel_; }
    // The Mix button shows: on the playlist panel, or always with the skin's say.
    bool mixVisible() const;

    static constexpr int kOptionsPanel = 5;
    // An option line of the options panel (ids 69, 71..85).
    void optionClicked(int id);
    // A line of the options after the specified ones (display::ExtraOption).
    void extraOptionClicked(int32_t option);

    // Each display refresh: ends a recording whose file cannot be written, notices one that
    // lost frames, and redraws the record panel's status where it changed.
    void refreshRecording();
    // A recording was ended by something other than the desk (a new sound configuration
    // that cannot record): the record panel shows `why` over the recording's last status
    // until the next recording starts.
    void recordingEnded(const std::string& why, const SampleSink& recorder);
    // The record panel's text after a recording ended with a problem; empty when none.
    const std::string& recordEndMessage() const { return recordEndMessage_; }

    static constexpr const char* kRecordingStopped = "Recording stopped";

private:
    void drawOptionsPanel();
    void drawRecordStatus(bool force);
    void watchRecording();
    void showRecordingEnded(const std::string& text);
    static std::string withFirstLine(const std::string& text, const std::string& first);

    DeskContext& context_;
    DeskFaders& faders_;
    std::atomic<int> selectedDeck_{0};  // also read by the rhythm strip's drawing thread
    int currentPanel_ = -1;             // no panel before the first selectPanel
    bool recordStatusShown_ = false;
    std::string recordEndMessage_;  // shown on the record panel while nothing records
    std::string lastRecordStatus_;  // of the running recording, once it lost frames
    bool lastRecordingLost_ = false;
};

}  // namespace spinlorex
