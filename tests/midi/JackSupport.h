#pragma once

// A private JACK server (dummy driver: no sound card) for tests that pass MIDI through
// real ports, and a controller played by the test: a virtual output port it sends from
// and a virtual input port that receives the lamps.

#include <jack/jack.h>
#include <stdlib.h>
#include <unistd.h>

#include <RtMidi.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/PulseSupport.h"
#include "support/Files.h"

namespace spinlorex::test {

// Started by the fixture, stopped when it goes; the process's JACK clients (RtMidi's)
// reach it through JACK_DEFAULT_SERVER.
class PrivateJack {
public:
    explicit PrivateJack(const TempDir& dir) {
#if defined(__SANITIZE_THREAD__)
        // The suppressions ignore libjack whole, and its threads end while ignored, which
        // stops a ThreadSanitizer run.
        why_ = "libjack's threads cannot run under this build's ThreadSanitizer suppressions";
        return;
#endif
        if (!canRun("jackd")) {
            why_ = "jackd is not installed (Debian: jackd2)";
            return;
        }
        // The probe below fails until the server is up; libjack would print each failure.
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        const std::string name = "spinlorex-test-" + std::to_string(getpid());
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"jackd", "--no-realtime", "-n", name, "-d", "dummy", "-r",
                                     "48000", "-p", "256"},
            std::vector<std::string>{"JACK_NO_AUDIO_RESERVATION=1"}, dir.file("jackd.out"),
            dir.file("jackd.log"));
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        const bool up = waitFor(
            [&] {
                jack_status_t status{};
                jack_client_t* probe =
                    jack_client_open("spinlorex-probe", JackNoStartServer, &status);
                if (probe != nullptr) jack_client_close(probe);
                return probe != nullptr || !server_->running();
            },
            std::chrono::seconds(10));
        if (!up || !server_->running()) {
            const Bytes text = readFile(dir.file("jackd.log"));
            why_ = "jackd could not start: " + std::string(text.begin(), text.end());
            server_.reset();
        }
    }
    ~PrivateJack() {
        server_.reset();
        ::unsetenv("JACK_DEFAULT_SERVER");
    }
    bool running() const { return server_ != nullptr; }
    const std::string& why() const { return why_; }

private:
    static bool canRun(const std::string& program) {
        const char* path = std::getenv("PATH");
        std::string folders = path ? path : "/usr/bin:/bin";
        for (std::size_t start = 0; start <= folders.size();) {
            const std::size_t end = std::min(folders.find(':', start), folders.size());
            if (::access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
                return true;
            start = end + 1;
        }
        return false;
    }
    std::unique_ptr<Child> server_;
    std::string why_;
};

// The controller's side: its messages go out of "Test Controller:Test Controller" and its
// lamps come into a port of the same name in another client.
class VirtualController {
public:
    VirtualController() {
        out_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Test Controller");
        out_->openVirtualPort("Test Controller");
        in_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "Test Controller lamps");
        in_->setCallback(&VirtualController::lamp, this);
        in_->openVirtualPort("Test Controller");
    }
    void send(unsigned char status, unsigned char data1, unsigned char data2) {
        const unsigned char bytes[3] = {status, data1, data2};
        out_->sendMessage(bytes, 3);
    }
    // Every lamp message received so far, as "90 0b 7f".
    std::vector<std::string> lamps() {
        std::lock_guard lock(mutex_);
        return lamps_;
    }

private:
    static void lamp(double, std::vector<unsigned char>* bytes, void* self) {
        auto* c = static_cast<VirtualController*>(self);
        std::string text;
        for (const unsigned char b : *bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", b);
            text += (text.empty() ? "" : " ") + std::string(hex);
        }
        std::lock_guard lock(c->mutex_);
        c->lamps_.push_back(text);
    }
    std::unique_ptr<RtMidiOut> out_;
    std::unique_ptr<RtMidiIn> in_;
    std::mutex mutex_;
    std::vector<std::string> lamps_;
};

}  // namespace spinlorex::test
