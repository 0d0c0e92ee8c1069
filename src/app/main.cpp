// Spinlorex: the desk. Loads the settings, refuses a second desk unless several may run,
// shows the start-up picture while the desk is built, runs it, and shuts it down in order,
// saving the settings last; a message that stopped the program is shown at the very end.

#include <QtCore/QByteArray>
#include <QtWidgets/QMessageBox>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/GuardedApplication.h"
#include "app/SingleInstance.h"
#include "app/StartupPicture.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/settings/SettingsStore.h"
#include "resources/Resources.h"

int main(int argc, char** argv) {
    using namespace spinlorex;
    const auto started = std::chrono::steady_clock::now();
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName("Spinlorex");
    resources::initialise();
    QApplication::setWindowIcon(QIcon(resources::kIcon));

    loadSettings();

    SingleInstance instance;
    if (get(settings().multiInstance) == 0 && !instance.alone()) {
        QMessageBox box(QMessageBox::NoIcon, "Spinlorex",
                        "You need to activate the Multi-Instance option in the setting pannel if you "
                        "want to run several Spinlorex windows at once",
                        QMessageBox::Ok);
        box.exec();
        return -1;
    }

    clearFatalError();
    auto picture = std::make_unique<StartupPicture>();
    picture->show();
    picture->repaint();
    clearFatalError();  // a picture that failed does not stop the program

    {
        DeskApp desk;
        if (qEnvironmentVariableIntValue("SPINLOREX_TRACE_STARTUP") != 0) desk.traceFirstFrame(started);
        const bool created = desk.create();
        picture->close();
        picture.reset();
        if (created) {
            desk.window().show();
            app.exec();
        }
        desk.destroy();
    }

    if (const char* message = fatalError()) {
        QMessageBox box(QMessageBox::Critical, "Spinlorex", message, QMessageBox::Ok);
        box.exec();
    }
    return 0;
}
