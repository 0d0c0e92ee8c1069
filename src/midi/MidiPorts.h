#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiMessage.h"

namespace spinlorex::midi {

// What MidiPorts tells about the controllers it finds.
class PortListener {
public:
    virtual ~PortListener() = default;
    // The thread listing the ports (the watcher): input port `id` was opened (its name as the
    // system shows it).
    virtual void portOpened(int id, const std::string& name) = 0;
    // The port's own input thread (one per port): a channel message arrived.
    // `arrivalNanos` is the steady clock when RtMidi handed it over.
    virtual void portMessage(int id, const MidiMessage& message, int64_t arrivalNanos) = 0;
    // The thread listing the ports: the port went away (unplugged); no message follows.
    virtual void portClosed(int id) = 0;
};

// Every MIDI input port of the system (ALSA sequencer and JACK, through RtMidi), opened
// as it appears and closed as it goes: a watcher thread lists the ports about once a
// second. Each input runs its callbacks on RtMidi's thread for that port. Lamps go to the
// output port of the same name when there is one.
//
// Construct, start and destroy on one thread; send from any thread.
class MidiPorts {
public:
    // Ports whose names start with `ownName` are this program's and are left alone.
    explicit MidiPorts(PortListener& listener, std::string ownName = "Spinlorex");
    ~MidiPorts();
    MidiPorts(const MidiPorts&) = delete;
    MidiPorts& operator=(const MidiPorts&) = delete;

    // Lists the ports now, then starts the watcher.
    void start();
    // Lists the ports now (opens new ones, closes gone ones). Any thread; the listener's
    // portOpened and portClosed run on it.
    void rescan();
    // Sends to the output port that goes with input `id`; false when it has none.
    bool send(int id, const MidiMessage& message);
    // The names of the open input ports.
    std::vector<std::string> openNames() const;

    // The system's name without the ALSA sequencer's "client:port" numbers, which change
    // when a device comes back.
    static std::string stableName(const std::string& name);

private:
    struct Port;
    struct Api;
    void watch();
    bool addApi(int api);
    void joinJack();

    PortListener& listener_;
    std::string ownName_;
    std::mutex rescanMutex_;    // one listing at a time; apis_, nextId_ and the JACK flags
    mutable std::mutex mutex_;  // ports_; never held by an input callback or a listener call
    std::vector<std::unique_ptr<Api>> apis_;
    std::vector<std::unique_ptr<Port>> ports_;
    int nextId_ = 1;
    bool jackCompiled_ = false;
    bool jackJoined_ = false;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace spinlorex::midi
