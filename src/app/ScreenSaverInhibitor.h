#pragma once

#include <QtDBus/QDBusConnection>

#include <cstdint>
#include <memory>
#include <optional>

class QObject;

namespace spinlorex {

// Keeps the screen saver and the monitor's power saving away while the desk has the
// user's attention, through the desktop's org.freedesktop.ScreenSaver service on the
// session bus (Inhibit / UnInhibit). Without a session bus, or without the service,
// nothing happens. Calls never wait for the service. Main thread only.
class ScreenSaverInhibitor {
public:
    static constexpr const char* kService = "org.freedesktop.ScreenSaver";
    static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
    static constexpr const char* kApplication = "Spinlorex";
    static constexpr const char* kReason = "A mix is on the desk";

    explicit ScreenSaverInhibitor(QDBusConnection bus = QDBusConnection::sessionBus());
    // Releases a held inhibition.
    ~ScreenSaverInhibitor();
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Asks for the inhibition (true) or gives it back (false); repeated calls are free.
    void setInhibited(bool inhibited);
    // The service granted the inhibition and it is held.
    bool held() const { return cookie_.has_value(); }

private:
    void release();

    QDBusConnection bus_;
    bool wanted_ = false;
    bool asking_ = false;  // an Inhibit call waits for its answer
    std::optional<uint32_t> cookie_;
    std::unique_ptr<QObject> calls_;  // the owner of the answers' watchers
};

}  // namespace spinlorex
