#pragma once

#include "desk/DeskShell.h"

namespace spinlorex {

class AudioEngine;
class DeskWindow;
class DialogHost;
class Tooltip;

// The desk window's side of the desk: closing, minimising, full screen, window drag,
// mouse capture, the tooltip balloon and the yes/no question.
class QtDeskShell : public DeskShell {
public:
    // `tooltip` may be null: no balloon is shown then.
    QtDeskShell(DeskWindow& window, AudioEngine& engine, DialogHost& dialogs, Tooltip* tooltip)
        : window_(window), engine_(engine), dialogs_(dialogs), tooltip_(tooltip) {}

    void requestClose() override;
    void minimize() override;
    void toggleFullScreen() override;
    void dragWindow(int32_t grabX, int32_t grabY) override;
    bool startSystemMove() override;
    void captureMouse() override;
    void releaseMouse() override;
    bool askYesNo(const std::string& question) override;
    void tell(const std::string& text) override;
    void showTooltip(int id, int32_t x, int32_t y) override;
    void hideTooltip() override;
    bool saveTheMix() override;
    void openDialog(int id) override;
    void showWaveforms(bool on) override;
    void zoomWaveforms(int steps) override;
    void openControllersDialog() override;

private:
    DeskWindow& window_;
    AudioEngine& engine_;
    DialogHost& dialogs_;
    Tooltip* tooltip_;
};

}  // namespace spinlorex
