#pragma once

#include <QtWidgets/QApplication>

namespace spinlorex {

// The application whose event delivery catches an exception escaping a handler: the user
// is told, the music stops and the program shuts down (the settings are not saved then,
// as the desk may be in any state).
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
    bool crashed() const { return crashed_; }

private:
    bool crashed_ = false;
};

}  // namespace spinlorex
