#pragma once

#include <QtCore/QObject>

#include <functional>
#include <map>

#include "desk/DeskTimers.h"

namespace spinlorex {

// The desk's timers as Qt timers of the main thread, firing `onTimer(id)`.
class QtDeskTimers : public QObject, public DeskTimers {
public:
    explicit QtDeskTimers(std::function<void(int)> onTimer) : onTimer_(std::move(onTimer)) {}
    ~QtDeskTimers() override;

    void start(int id, int32_t milliseconds) override;
    void kill(int id) override;
    bool running(int id) const override { return byId_.count(id) != 0; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    std::function<void(int)> onTimer_;
    std::map<int, int> byId_;  // desk id -> Qt timer id
};

}  // namespace spinlorex
