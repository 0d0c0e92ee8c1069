// Spinlorex: the desk. Loads the settings, refuses a second desk unless several may run
// (a second start given files hands them to the running desk instead), shows the start-up
// picture while the desk is built, runs it with the files it was given, and shuts it down
// in order, saving the settings last; a message that stopped the program is shown at the
// very end.
// A stop signal closes the desk in order too; a crash still restores the system volumes.

#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtWidgets/QMessageBox>

#include <QtCore/QSocketNotifier>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/CommandLine.h"
#include "app/DeskApp.h"
#include "app/DeskWindow.h"
#include "app/GuardedApplication.h"
#include "app/HandOver.h"
#include "app/SingleInstance.h"
#include "app/StartupPicture.h"
#include "platform/core/FatalError.h"
#include "platform/core/ProcessSignals.h"
#include "platform/settings/Settings.h"
#include "platform/settings/SettingsStore.h"
#include "platform/volume/SystemVolume.h"
#include "resources/Resources.h"

namespace {
constexpr const char* kRestoreVolumesOption = "--restore-volumes";
}

int main(int argc, char** argv) {
    using namespace spinlorex;
    // Run by the desk's own crash handler: the system volumes it raised go back.
    if (argc == 3 && std::strcmp(argv[1], kRestoreVolumesOption) == 0) {
        SystemVolume::forThisMachine(argv[2])->restoreLeftover(/*force=*/true);
        return 0;
    }
    // Answered before any window system is reached.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine early = parseCommandLine(arguments, QDir::currentPath());
    if (early.help || early.version) {
        std::fputs(early.help ? kDeskUsage : "spinlorex " SPINLOREX_VERSION "\n", stdout);
        return 0;
    }
    const auto started = std::chrono::steady_clock::now();
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName("Spinlorex");
    // Ties the window to the installed desktop entry (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName("org.spinlorex.Spinlorex");
    resources::initialise();
    QApplication::setWindowIcon(QIcon(resources::kIcon));

    const CommandLine command =
        parseCommandLine(QApplication::arguments().mid(1), QDir::currentPath());
    if (!command.error.empty()) {
        std::fprintf(stderr, "spinlorex: unknown option %s\n%s", command.error.c_str(), kDeskUsage);
        return 2;
    }

    loadSettings();

    SingleInstance instance;
    if (get(settings().multiInstance) == 0 && !instance.alone()) {
        // Files go to the desk that runs; without files (or when it does not answer) the
        // start is refused.
        if (!command.files.empty() && handOverFiles(instance.socketPath(), command.files)) return 0;
        QMessageBox box(
            QMessageBox::NoIcon, "Spinlorex",
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

    // A crash still puts the system volumes back, through this program run anew.
    const std::filesystem::path settingsFile = settingsFilePath();
    if (!settingsFile.empty())
        runOnCrash({"/proc/self/exe", kRestoreVolumesOption,
                    (settingsFile.parent_path() / SystemVolume::kRestoreFileName).string()});

    {
        DeskApp desk;
        // SIGTERM (a session ending), SIGINT and SIGHUP close the desk as its close control
        // does, without the question: records written, settings saved, volumes restored.
        StopSignals stopSignals;
        std::unique_ptr<QSocketNotifier> stopNotifier;
        if (stopSignals.readFd() >= 0) {
            stopNotifier =
                std::make_unique<QSocketNotifier>(stopSignals.readFd(), QSocketNotifier::Read);
            QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, [&] {
                while (stopSignals.takeSignal() != 0) {}
                desk.window().closeWithoutQuestion();
            });
        }
        if (qEnvironmentVariableIntValue("SPINLOREX_TRACE_STARTUP") != 0)
            desk.traceFirstFrame(started);
        const bool created = desk.create();
        picture->close();
        picture.reset();
        if (created && !StopSignals::stopRequested()) {
            desk.window().show();
            desk.openFiles(command.files);
            // Later starts hand their files to this desk.
            std::unique_ptr<HandOverServer> handOver;
            if (instance.alone())
                handOver = std::make_unique<HandOverServer>(
                    instance.socketPath(), [&desk](std::vector<std::string> files) {
                        desk.openFiles(files);
                        desk.window().raise();
                        desk.window().activateWindow();
                    });
            app.exec();
        }
        // After a caught crash the desk may be in any state: its settings are not saved.
        desk.destroy(/*saveSettings=*/!app.crashed());
    }

    if (const char* message = fatalError()) {
        QMessageBox box(QMessageBox::Critical, "Spinlorex", message, QMessageBox::Ok);
        box.exec();
    }
    return 0;
}
