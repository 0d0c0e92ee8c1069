#include "app/QtDeskShell.h"

#include <QtGui/QCursor>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QMessageBox>

#include "app/DeskWindow.h"
#include "audio/AudioEngine.h"
#include "recorder/MixRecorder.h"
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

namespace spinlorex {

bool QtDeskShell::saveTheMix() {
    OutputDevice* output = engine_.output();
    if (output == nullptr) return false;
    if (!output->canRecord()) {
        QMessageBox::information(&window_, "Spinlorex",
                                 "You can't use the recorder when the mix is done in hardware in the sound "
                                 "card. Choose a configuration in the options panel which allows you to "
                                 "specify 'soft mix'");
        return false;
    }
    if (output->recording()) {  // the same button stops
        output->requestStopRecording();
        return false;
    }
    const QString path = QFileDialog::getSaveFileName(&window_, "Save the mix", QString(), "Wav (*.wav)");
    if (path.isEmpty()) return false;
    output->attachRecorder(std::make_unique<MixRecorder>(path.toStdString()));
    return output->recording();
}

}  // namespace spinlorex
