#pragma once

// The one QApplication of the test process, made on first use (widgets need it, pictures
// and fonts want it), on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>

#include <functional>

#include <gtest/gtest.h>

namespace spinlorex::test {

// The process's QApplication; null when something else already made a plain
// QGuiApplication, in which case widget tests skip themselves.
inline QApplication* qtApp() {
    if (QCoreApplication::instance() == nullptr) {
        // The suites never need a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "spinlorex_tests";
        static char* argv[] = {name, nullptr};
        // Destroyed when the tests are done but before the program exits: at exit Qt's own
        // globals may already be gone, and the application would fall over them.
        struct Owner : ::testing::Environment {
            QApplication* app = nullptr;
            void TearDown() override {
                delete app;
                app = nullptr;
            }
        };
        auto* owner = new Owner;
        owner->app = new QApplication(argc, argv);
        ::testing::AddGlobalTestEnvironment(owner);
    }
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

// Acts on the next modal window of the given kind once it is up, from inside its event
// loop. Gives up after a few seconds, so that a window that never comes fails the test
// rather than blocking it.
template <typename Window>
void withNextModal(std::function<void(Window&)> act, int triesLeft = 300) {
    QTimer::singleShot(10, [act, triesLeft] {
        auto* window = dynamic_cast<Window*>(QApplication::activeModalWidget());
        if (window == nullptr) {
            if (triesLeft > 0) withNextModal<Window>(act, triesLeft - 1);
            return;
        }
        act(*window);
    });
}

}  // namespace spinlorex::test
