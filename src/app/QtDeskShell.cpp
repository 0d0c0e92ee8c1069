#include "app/QtDeskShell.h"

#include <QtGui/QCursor>
#include <QtWidgets/QMessageBox>

#include "app/DeskWindow.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

void QtDeskShell::requestClose() { window_.close(); }

void QtDeskShell::minimize() { window_.showMinimized(); }

void QtDeskShell::toggleFullScreen() {
    const bool wasOn = get(settings().maximized) != 0;
    set(settings().maximized, wasOn ? 0 : 1);
    if (wasOn) {
        window_.leaveFullScreen();
    } else {
        window_.move(0, 0);
        window_.enterFullScreen();
    }
}

void QtDeskShell::dragWindow(int32_t grabX, int32_t grabY) {
    window_.move(QCursor::pos() - QPoint(grabX, grabY));
}

void QtDeskShell::captureMouse() { window_.grabMouse(); }

void QtDeskShell::releaseMouse() { window_.releaseMouse(); }

bool QtDeskShell::askYesNo(const std::string& question) {
    return QMessageBox::question(&window_, "Spinlorex", QString::fromStdString(question),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace spinlorex
