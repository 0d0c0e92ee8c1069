#include "midi/MidiPorts.h"

#include <jack/jack.h>

#include <RtMidi.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>

namespace spinlorex::midi {

namespace {

// RtMidi reports a missing JACK server or sequencer as warnings on stderr every time the
// ports are listed; the watcher notices by itself.
void quiet(RtMidiError::Type, const std::string&, void*) {}
void quietJack(const char*) {}

int64_t steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string portPart(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The ALSA sequencer's device; without it the library prints its failure on every try.
bool sequencerPresent() {
    std::error_code error;
    return std::filesystem::exists("/dev/snd/seq", error);
}

}  // namespace

// One MIDI system (ALSA or JACK) with its listing clients.
struct MidiPorts::Api {
    RtMidi::Api api;
    std::unique_ptr<RtMidiIn> inputs;
    std::unique_ptr<RtMidiOut> outputs;
};

struct MidiPorts::Port {
    int id = 0;
    RtMidi::Api api;
    std::string name;
    PortListener* listener = nullptr;
    std::unique_ptr<RtMidiIn> in;
    std::mutex outMutex;  // lamps may be sent from more than one thread
    std::unique_ptr<RtMidiOut> out;

    static void arrived(double, std::vector<unsigned char>* bytes, void* self) {
        const int64_t now = steadyNanos();
        auto* port = static_cast<Port*>(self);
        if (bytes == nullptr || bytes->empty()) return;
        const MidiMessage message = MidiMessage::fromBytes(bytes->data(), bytes->size());
        if (message.size != 0) port->listener->portMessage(port->id, message, now);
    }
};

MidiPorts::MidiPorts(PortListener& listener, std::string ownName)
    : listener_(listener), ownName_(std::move(ownName)) {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    for (const RtMidi::Api api : compiled) {
        // The sequencer does not appear while the program runs: it is tried once.
        if (api == RtMidi::LINUX_ALSA && sequencerPresent()) addApi(api);
        jackCompiled_ = jackCompiled_ || api == RtMidi::UNIX_JACK;
    }
}

bool MidiPorts::addApi(int which) {
    const auto api = static_cast<RtMidi::Api>(which);
    try {
        auto entry = std::make_unique<Api>();
        entry->api = api;
        entry->inputs = std::make_unique<RtMidiIn>(api, ownName_ + " ports");
        entry->inputs->setErrorCallback(quiet, nullptr);
        entry->outputs = std::make_unique<RtMidiOut>(api, ownName_ + " ports");
        entry->outputs->setErrorCallback(quiet, nullptr);
        apis_.push_back(std::move(entry));
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

// A JACK server may start at any time. Until one runs, each listing only knocks at its
// door (RtMidi would print a warning for every client it fails to make).
void MidiPorts::joinJack() {
    if (!jackCompiled_ || jackJoined_) return;
    jack_status_t status{};
    jack_client_t* probe =
        jack_client_open((ownName_ + " probe").c_str(), JackNoStartServer, &status);
    if (probe == nullptr) return;
    jack_client_close(probe);
    jackJoined_ = addApi(RtMidi::UNIX_JACK);
}

MidiPorts::~MidiPorts() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard scan(rescanMutex_);
    std::lock_guard lock(mutex_);
    for (auto& port : ports_) port->in->closePort();
    ports_.clear();
}

void MidiPorts::start() {
    rescan();
    watcher_ = std::thread([this] { watch(); });
}

void MidiPorts::watch() {
    std::unique_lock lock(stopMutex_);
    while (!stopSignal_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; })) {
        lock.unlock();
        rescan();
        lock.lock();
    }
}

std::string MidiPorts::stableName(const std::string& name) {
    static const std::regex numbers(R"( \d+:\d+$)");
    return std::regex_replace(name, numbers, "");
}

void MidiPorts::rescan() {
    std::lock_guard scan(rescanMutex_);
    joinJack();
    std::vector<std::pair<Api*, std::string>> present;  // in each system's order
    for (auto& api : apis_) {
        const unsigned count = api->inputs->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            present.emplace_back(api.get(), api->inputs->getPortName(i));
    }

    // Gone: closed first, so that a device that came back under the same name is new.
    std::vector<std::unique_ptr<Port>> gone;
    {
        std::lock_guard lock(mutex_);
        for (auto it = ports_.begin(); it != ports_.end();) {
            const bool there = std::any_of(present.begin(), present.end(), [&](const auto& p) {
                return p.first->api == (*it)->api && p.second == (*it)->name;
            });
            if (there) {
                ++it;
            } else {
                gone.push_back(std::move(*it));
                it = ports_.erase(it);
            }
        }
    }
    for (auto& port : gone) {
        port->in->closePort();
        listener_.portClosed(port->id);
    }

    unsigned index = 0;
    const Api* indexOf = nullptr;
    for (const auto& [api, name] : present) {
        index = api == indexOf ? index + 1 : 0;
        indexOf = api;
        if (name.empty() || name.rfind(ownName_, 0) == 0) continue;
        bool known = false;
        {
            std::lock_guard lock(mutex_);
            known = std::any_of(ports_.begin(), ports_.end(), [&](const auto& p) {
                // The same device seen through both systems (a bridge) is opened once.
                return p->name == name ||
                       (p->api != api->api && stableName(p->name) == stableName(name));
            });
        }
        if (known) continue;
        auto port = std::make_unique<Port>();
        port->id = nextId_++;
        port->api = api->api;
        port->name = name;
        port->listener = &listener_;
        try {
            port->in = std::make_unique<RtMidiIn>(api->api, ownName_, 1024);
            port->in->setErrorCallback(quiet, nullptr);
            port->in->ignoreTypes(true, true, true);
            port->in->openPort(index, ownName_ + " in");
            if (!port->in->isPortOpen()) continue;
            // The lamps' port: the same name, else (a JACK client cannot hold both
            // directions under one client name) the same port name in another client.
            const unsigned outs = api->outputs->getPortCount();
            unsigned lamps = outs;
            for (unsigned o = 0; o < outs; ++o) {
                const std::string outName = stableName(api->outputs->getPortName(o));
                if (outName.rfind(ownName_, 0) == 0) continue;
                if (outName == stableName(name)) {
                    lamps = o;
                    break;
                }
                if (lamps == outs && portPart(outName) == portPart(stableName(name))) lamps = o;
            }
            if (lamps < outs) {
                port->out = std::make_unique<RtMidiOut>(api->api, ownName_);
                port->out->setErrorCallback(quiet, nullptr);
                port->out->openPort(lamps, ownName_ + " lamps");
                if (!port->out->isPortOpen()) port->out.reset();
            }
        } catch (const RtMidiError&) {
            continue;
        }
        Port* opened = port.get();
        {
            std::lock_guard lock(mutex_);
            ports_.push_back(std::move(port));
        }
        // The listener knows the port before its first message.
        listener_.portOpened(opened->id, name);
        opened->in->setCallback(&Port::arrived, opened);
    }
}

bool MidiPorts::send(int id, const MidiMessage& message) {
    std::lock_guard lock(mutex_);
    for (auto& port : ports_) {
        if (port->id != id) continue;
        std::lock_guard outLock(port->outMutex);
        if (!port->out) return false;
        const unsigned char bytes[3] = {message.status, message.data1, message.data2};
        try {
            port->out->sendMessage(bytes, message.size);
        } catch (const RtMidiError&) {
            return false;
        }
        return true;
    }
    return false;
}

std::vector<std::string> MidiPorts::openNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& port : ports_) names.push_back(port->name);
    return names;
}

}  // namespace spinlorex::midi
