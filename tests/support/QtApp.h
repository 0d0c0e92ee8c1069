#pragma once

// The one QApplication of the test process, made on first use (widgets need it, pictures
// and fonts want it), on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QtWidgets/QApplication>

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
        // Never destroyed: at exit Qt's own globals may already be gone, and windows the
        // tests showed would take the application down with them.
        static QApplication* app = new QApplication(argc, argv);
        (void)app;
    }
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace spinlorex::test
