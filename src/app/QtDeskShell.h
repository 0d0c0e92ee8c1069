#pragma once

#include "desk/DeskShell.h"

namespace spinlorex {

class AudioEngine;
class DeskWindow;
class DialogHost;

// The desk window's side of the desk: closing, minimising, full screen, window drag,
// mouse capture and the yes/no question.
class QtDeskShell : public DeskShell {
public:
    QtDeskShell(DeskWindow& window, AudioEngine& engine, DialogHost& dialogs)
        : window_(window), engine_(engine), dialogs_(dialogs) {}

    void requestClose() override;
    void minimize() override;
    void toggleFullScreen() override;
    void dragWindow(int32_t grabX, int32_t grabY) override;
    void captureMouse() override;
    void releaseMouse() override;
    bool askYesNo(const std::string& question) override;
    void showTooltip(int, int32_t, int32_t) override {}
    void hideTooltip() override {}
    bool saveTheMix() override;
    void openDialog(int id) override;

private:
    DeskWindow& window_;
    AudioEngine& engine_;
    DialogHost& dialogs_;
};

}  // namespace spinlorex
