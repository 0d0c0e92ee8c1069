#include "app/ScreenSaverInhibitor.h"

#include <QtCore/QObject>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>

namespace spinlorex {

namespace {

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall(ScreenSaverInhibitor::kService,
                                          ScreenSaverInhibitor::kPath,
                                          ScreenSaverInhibitor::kService, method);
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QDBusConnection bus)
    : bus_(std::move(bus)), calls_(std::make_unique<QObject>()) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    wanted_ = false;
    release();
}

void ScreenSaverInhibitor::setInhibited(bool inhibited) {
    wanted_ = inhibited;
    if (!inhibited) {
        release();
        return;
    }
    if (cookie_ || asking_ || !bus_.isConnected()) return;
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QString(kApplication) << QString(kReason);
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), calls_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, calls_.get(),
                     [this](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         asking_ = false;
                         const QDBusPendingReply<uint32_t> reply = *finished;
                         if (reply.isError()) return;  // no screen saver service here
                         cookie_ = reply.value();
                         // Given back meanwhile, or wanted again after that.
                         if (!wanted_) release();
                     });
}

void ScreenSaverInhibitor::release() {
    if (!cookie_) return;
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << *cookie_;
    cookie_.reset();
    // Sent without waiting for an answer; the service also drops an inhibition when the
    // program leaves the bus.
    bus_.send(call);
}

}  // namespace spinlorex
