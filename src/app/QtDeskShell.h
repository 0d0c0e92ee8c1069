#pragma once

#include "desk/DeskShell.h"

namespace spinlorex {

class DeskWindow;

// The desk window's side of the desk: closing, minimising, full screen, window drag,
// mouse capture and the yes/no question.
class QtDeskShell : public DeskShell {
public:
    explicit QtDeskShell(DeskWindow& window) : window_(window) {}

    void requestClose() override;
    void minimize() override;
    void toggleFullScreen() override;
    void dragWindow(int32_t grabX, int32_t grabY) override;
    void captureMouse() override;
    void releaseMouse() override;
    bool askYesNo(const std::string& question) override;
    void showTooltip(int, int32_t, int32_t) override {}
    void hideTooltip() override {}

private:
    DeskWindow& window_;
};

}  // namespace spinlorex
