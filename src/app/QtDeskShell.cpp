#include "app/QtDeskShell.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtGui/QCursor>
#include <QtGui/QWindow>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QMessageBox>

#include "app/DeskWindow.h"
#include "app/dialogs/DeskDialog.h"
#include "app/dialogs/DialogHost.h"
#include "app/dialogs/InfoDialogs.h"
#include "audio/AudioEngine.h"
#include "auxwindows/Tooltip.h"
#include "platform/settings/Settings.h"
#include "recorder/MixRecorder.h"
#include "skin/SkinControl.h"

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

bool QtDeskShell::startSystemMove() {
    QWindow* native = window_.windowHandle();
    return native != nullptr && native->startSystemMove();
}

void QtDeskShell::captureMouse() { window_.grabMouse(); }

void QtDeskShell::releaseMouse() { window_.releaseMouse(); }

bool QtDeskShell::askYesNo(const std::string& question) {
    return spinlorex::askYesNo(&window_, question);
}

void QtDeskShell::tell(const std::string& text) {
    QMessageBox box(QMessageBox::Information, "Spinlorex", QString::fromStdString(text),
                    QMessageBox::Ok, &window_);
    box.exec();
}

void QtDeskShell::showTooltip(int id, int32_t x, int32_t y) {
    if (tooltip_ == nullptr) return;
    const QPoint at = window_.mapToGlobal(window_.fromDesk(QPoint(x, y)));
    tooltip_->update(at.x(), at.y(), id, controlTooltip(id));
}

void QtDeskShell::hideTooltip() {
    if (tooltip_ != nullptr) tooltip_->hide();
}

void QtDeskShell::openDialog(int id) { openOptionDialog(dialogs_, id); }

void QtDeskShell::openControllersDialog() { dialogs_.openControllersDialog(); }

}  // namespace spinlorex

namespace spinlorex {

bool QtDeskShell::saveTheMix() {
    OutputDevice* output = engine_.output();
    if (output == nullptr) return false;
    if (!output->canRecord()) {
        QMessageBox box(QMessageBox::NoIcon, "Spinlorex",
                        "You can't use the recorder when the mix is done in hardware in the sound "
                        "card. Choose a configuration in the options panel which allows you to "
                        "specify 'soft mix'",
                        QMessageBox::Ok, &window_);
        box.exec();
        return false;
    }
    if (output->recording()) {  // the same button stops
        output->requestStopRecording();
        return false;
    }
    QFileDialog ask(&window_, "Save the mix", QString(), "Wav (*.wav)");
    ask.setAcceptMode(QFileDialog::AcceptSave);
    ask.setFileMode(QFileDialog::AnyFile);
    ask.setDefaultSuffix("wav");
    if (ask.exec() != QDialog::Accepted || ask.selectedFiles().isEmpty()) return false;
    const QString path = ask.selectedFiles().front();
    if (path.isEmpty()) return false;
    // A file that cannot be created makes a recorder that has failed: the desk ends it at
    // its next refresh and the record panel says why.
    output->attachRecorder(std::make_unique<MixRecorder>(path.toStdString()));
    return output->recording();
}

void QtDeskShell::showWaveforms(bool on) { dialogs_.showWaveforms(on); }

void QtDeskShell::zoomWaveforms(int steps) { dialogs_.zoomWaveforms(steps); }

}  // namespace spinlorex
