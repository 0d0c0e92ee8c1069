#pragma once

#include <QtWidgets/QApplication>

namespace spinlorex {

// The application whose event delivery catches an exception escaping a handler: the user
// is told, then every event loop ends and the program shuts down: the music stops, the
// records are written and the system volumes restored, but the settings are not saved
// (crashed() tells the entry point), as the desk may be in any state.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
    bool crashed() const { return crashed_; }

private:
    bool crashed_ = false;
};

}  // namespace spinlorex
