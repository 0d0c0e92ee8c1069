// The screen saver kept away through the session bus: a private bus daemon and a small
// screen-saver service of the test's own stand in for the desktop's.

#include "app/ScreenSaverInhibitor.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVirtualObject>

#include <cstdio>
#include <string>
#include <vector>

#include "app/DeskAppFixture.h"

namespace spinlorex {
namespace {

using test::processUntil;

// The desktop's side: grants cookies 7, 8, ... and notes every call.
class FakeScreenSaver : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "Inhibit" && message.arguments().size() == 2) {
            calls.push_back("Inhibit " + message.arguments()[0].toString().toStdString() + " / " +
                            message.arguments()[1].toString().toStdString());
            connection.send(message.createReply(QVariant::fromValue(uint32_t(next++))));
            return true;
        }
        if (message.member() == "UnInhibit" && message.arguments().size() == 1) {
            calls.push_back("UnInhibit " + std::to_string(message.arguments()[0].toUInt()));
            connection.send(message.createReply());
            return true;
        }
        return false;
    }
    std::vector<std::string> calls;
    uint32_t next = 7;
};

class ScreenSaverInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::qtApp() == nullptr) GTEST_SKIP();
        FILE* out = ::popen(
            "dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
        char line[512] = {};
        if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) address_ = line;
        if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr)
            daemon_ = std::atoi(line);
        if (out != nullptr) ::pclose(out);
        while (!address_.empty() && (address_.back() == '\n' || address_.back() == '\r'))
            address_.pop_back();
        if (address_.empty() || daemon_ <= 0) GTEST_SKIP() << "no dbus-daemon here";
    }
    void TearDown() override {
        for (const QString& name : {QString("desk"), QString("service")})
            QDBusConnection::disconnectFromBus(name);
        if (daemon_ > 0) ::kill(daemon_, SIGTERM);
    }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }
    // The fake service on the bus, answering from this thread's event loop.
    void offerService(FakeScreenSaver& fake) {
        QDBusConnection service = connect("service");
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerService(ScreenSaverInhibitor::kService));
        ASSERT_TRUE(service.registerVirtualObject(ScreenSaverInhibitor::kPath, &fake));
    }
    std::string address_;
    pid_t daemon_ = -1;
};

TEST_F(ScreenSaverInhibitorTest, HeldWhileWantedAndGivenBackAlsoWhenTheAnswerComesLate) {
    FakeScreenSaver fake;
    offerService(fake);
    using Calls = std::vector<std::string>;
    const std::string inhibit = std::string("Inhibit Spinlorex / ") + ScreenSaverInhibitor::kReason;
    {
        ScreenSaverInhibitor inhibitor(connect("desk"));
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(true);  // asked once
        ASSERT_TRUE(processUntil([&] { return inhibitor.held(); }));
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        EXPECT_FALSE(inhibitor.held());
        ASSERT_TRUE(processUntil([&] { return fake.calls.size() == 2; }));
        EXPECT_EQ(fake.calls, (Calls{inhibit, "UnInhibit 7"}));

        // Given back before the service answered: the cookie is returned as it comes.
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        ASSERT_TRUE(processUntil([&] { return fake.calls.size() == 4; }));
        EXPECT_EQ(fake.calls[3], "UnInhibit 8");
        EXPECT_FALSE(inhibitor.held());

        inhibitor.setInhibited(true);
        ASSERT_TRUE(processUntil([&] { return inhibitor.held(); }));
    }
    // The desk closed while holding it.
    ASSERT_TRUE(processUntil([&] { return fake.calls.size() == 6; }));
    EXPECT_EQ(fake.calls[5], "UnInhibit 9");
}

TEST_F(ScreenSaverInhibitorTest, WithoutTheServiceOrTheBusNothingIsHeldAndNothingBreaks) {
    ScreenSaverInhibitor noService(connect("desk"));
    noService.setInhibited(true);
    processUntil([] { return false; }, 0.3);
    EXPECT_FALSE(noService.held());
    noService.setInhibited(false);

    ScreenSaverInhibitor noBus(
        QDBusConnection::connectToBus(QString("unix:path=/nonexistent/bus"), "service"));
    noBus.setInhibited(true);
    EXPECT_FALSE(noBus.held());
}

}  // namespace
}  // namespace spinlorex
