#pragma once

// A fake program for the dialogs: a desk window, a device list, the real skin loader over
// a temporary home folder, and a log of what the dialogs asked for.

#include <QtCore/QTimer>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs/DialogHost.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "skin/picture/Skin.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex::test {

class FakeDialogHost : public DialogHost {
public:
    FakeDialogHost() { desk.setGeometry(100, 50, 800, 600); }

    QWidget* deskWindow() override { return &desk; }
    std::vector<sound::DeviceInfo> outputDevices() override { return devices; }
    bool applySkin(const std::string& name) override {
        calls.push_back("skin " + name);
        Skin skin;
        if (!loadSkin(skin, name, home)) return false;
        currentSkin = name;
        return true;
    }
    void rebuildAudioEngine() override {
        calls.push_back("rebuild");
        modeAtRebuild = get(settings().outputMode);
    }
    void suspendRhythm() override { calls.push_back("suspend"); }
    void resumeRhythm() override { calls.push_back("resume"); }

    QWidget desk;
    std::vector<sound::DeviceInfo> devices;
    std::string home;
    std::string currentSkin = "(old)";
    std::vector<std::string> calls;
    int32_t modeAtRebuild = -1;
};

// What a message box showed before it was answered.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* parent = nullptr;
};

// Answers the next message box with its first button; the result then holds what it
// showed (an empty title: no box came).
inline std::shared_ptr<SeenMessage> answerNextMessage() {
    auto seen = std::make_shared<SeenMessage>();
    withNextModal<QMessageBox>([seen](QMessageBox& box) {
        *seen = {box.windowTitle(), box.text(), box.icon(), box.parentWidget()};
        box.buttons().first()->click();
    });
    return seen;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        settings().homeFolder = homeDir.path().string();
        host.home = settings().homeFolder;
        clearFatalError();
    }
    void TearDown() override {
        settings().resetToDefaults();
        clearFatalError();
    }

    QApplication* app = qtApp();  // before any widget
    TempDir homeDir;
    FakeDialogHost host;
};

}  // namespace spinlorex::test
