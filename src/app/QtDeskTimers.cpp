#include "app/QtDeskTimers.h"

#include <QtCore/QTimerEvent>

namespace spinlorex {

QtDeskTimers::~QtDeskTimers() {
    for (const auto& [id, qtId] : byId_) killTimer(qtId);
}

void QtDeskTimers::start(int id, int32_t milliseconds) {
    kill(id);
    // Precise timers: the auto-mix steps and the display refresh keep their pace.
    const int qtId = startTimer(milliseconds, Qt::PreciseTimer);
    if (qtId != 0) byId_[id] = qtId;
}

void QtDeskTimers::kill(int id) {
    const auto it = byId_.find(id);
    if (it == byId_.end()) return;
    killTimer(it->second);
    byId_.erase(it);
}

void QtDeskTimers::timerEvent(QTimerEvent* event) {
    for (const auto& [id, qtId] : byId_) {
        if (qtId == event->timerId()) {
            const int deskId = id;  // the handler may kill or restart timers
            onTimer_(deskId);
            return;
        }
    }
}

}  // namespace spinlorex
