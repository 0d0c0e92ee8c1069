#pragma once

#include <cstdint>
#include <string>

namespace spinlorex {

// What the desk asks of the window around it (Qt window, or nothing when headless).
// Main thread only.
class DeskShell {
public:
    virtual ~DeskShell() = default;

    // The close button: the window's own close, which asks MixingDesk::onCloseRequested.
    virtual void requestClose() = 0;
    virtual void minimize() = 0;
    // The "maximize" button: toggles the "Maximized" setting and full screen.
    virtual void toggleFullScreen() = 0;
    // Window drag: keep the grab point (client coordinates) under the pointer.
    virtual void dragWindow(int32_t grabX, int32_t grabY) = 0;
    // Hands the drag that the pressed button starts to the window system, which moves the
    // window itself (the only way on Wayland). False where it does not offer that: the
    // desk then drags the window with dragWindow.
    virtual bool startSystemMove() = 0;
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
    // The program's yes/no question; true for Yes.
    virtual bool askYesNo(const std::string& question) = 0;
    // Tells the user `text` (a message box titled "Spinlorex"); headless runs say nothing.
    virtual void tell(const std::string& text) { (void)text; }
    // Tooltip of a control at the pointer (client coordinates), and hiding it.
    virtual void showTooltip(int id, int32_t x, int32_t y) = 0;
    virtual void hideTooltip() = 0;
    // "Start recording": the save-the-mix command (stops a running recording, else asks
    // for a file and attaches a recorder). True when a recording started.
    virtual bool saveTheMix() = 0;
    // The options that open a dialog: 78 skin, 79 plug-ins, 80 sound configuration,
    // 81 about, 83 shortcuts. The desk redraws the options panel afterwards.
    virtual void openDialog(int id) = 0;
    // The top band shows the two waveforms (true) or the rhythm strip.
    virtual void showWaveforms(bool on) { (void)on; }
    // The waveforms show twice as much (steps > 0: zoom out) or half as much per step.
    virtual void zoomWaveforms(int steps) { (void)steps; }
    // The controllers dialog (the options panel's "Controllers..." line).
    virtual void openControllersDialog() {}
};

// A shell that does nothing and answers Yes: headless runs.
class HeadlessShell : public DeskShell {
public:
    void requestClose() override {}
    void minimize() override {}
    void toggleFullScreen() override {}
    void dragWindow(int32_t, int32_t) override {}
    bool startSystemMove() override { return false; }
    void captureMouse() override {}
    void releaseMouse() override {}
    bool askYesNo(const std::string&) override { return true; }
    void showTooltip(int, int32_t, int32_t) override {}
    void hideTooltip() override {}
    bool saveTheMix() override { return false; }
    void openDialog(int) override {}
};

}  // namespace spinlorex
