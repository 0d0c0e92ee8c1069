// Controllers on the desk: ports on their own thread, messages acted on the main thread.

#include "app/ControllerHub.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "midi/MappingFolder.h"
#include "midi/MidiPorts.h"

namespace spinlorex {

// What the ports' thread and the main thread share; it outlives the hub while a port
// hangs. `hub` is read and cleared on the main thread only (every posted call runs there).
struct ControllerHub::Shared : midi::PortListener, std::enable_shared_from_this<Shared> {
    explicit Shared(MainThreadInbox::Poster p) : post(std::move(p)) {}

    void portOpened(int id, const std::string& name) override {
        post([self = shared_from_this(), id, name] {
            if (self->hub != nullptr) self->hub->opened(id, name);
        });
    }
    void portMessage(int id, const midi::MidiMessage& message, int64_t arrival) override {
        lastArrival.store(arrival, std::memory_order_relaxed);
        post([self = shared_from_this(), id, message] {
            if (self->hub != nullptr) self->hub->message(id, message);
        });
    }
    void portClosed(int id) override {
        post([self = shared_from_this(), id] {
            if (self->hub != nullptr) self->hub->closed(id);
        });
    }
    bool send(int id, const midi::MidiMessage& message) {
        std::lock_guard lock(mutex);
        return ports != nullptr && ports->send(id, message);
    }

    // The ports' thread: opens them, waits for the stop, closes them.
    void run() {
        auto owned = std::make_unique<midi::MidiPorts>(*this);
        {
            std::lock_guard lock(mutex);
            ports = owned.get();
        }
        owned->start();
        {
            std::unique_lock lock(mutex);
            signal.wait(lock, [&] { return stop; });
            ports = nullptr;
        }
        owned.reset();
        std::lock_guard lock(mutex);
        stopped = true;
        signal.notify_all();
    }

    MainThreadInbox::Poster post;
    ControllerHub* hub = nullptr;
    std::mutex mutex;  // ports, stop, stopped
    std::condition_variable signal;
    midi::MidiPorts* ports = nullptr;
    bool stop = false;
    bool stopped = false;
    std::atomic<int64_t> lastArrival{0};
};

ControllerHub::ControllerHub(MixingDesk& desk, DeckPair& decks, MainThreadInbox::Poster post,
                             std::string userFolder, JogTarget* jog)
    : actions_(desk, decks, jog),
      userFolder_(std::move(userFolder)),
      shared_(std::make_shared<Shared>(std::move(post))) {
    shared_->hub = this;
}

ControllerHub::~ControllerHub() {
    shared_->hub = nullptr;
    std::unique_lock lock(shared_->mutex);
    shared_->stop = true;
    shared_->signal.notify_all();
    if (started_)
        shared_->signal.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                 [&] { return shared_->stopped; });
}

void ControllerHub::start() {
    if (started_) return;
    started_ = true;
    std::thread([shared = shared_] { shared->run(); }).detach();
}

std::vector<midi::MappingFile> ControllerHub::readFiles() const {
    return midi::readMappings(midi::mappingFolders(userFolder_), userFolder_);
}

void ControllerHub::assignMapping(Port& port, const std::vector<midi::MappingFile>& files) {
    port.mappingPath.clear();
    port.shipped = false;
    port.engine.reset();
    if (const midi::MappingFile* file = midi::mappingForPort(files, port.name)) {
        port.mappingPath = file->path;
        port.shipped = file->shipped;
        port.engine = std::make_unique<midi::MappingEngine>(file->read.mapping, actions_);
    }
}

void ControllerHub::opened(int id, const std::string& name) {
    // Read at each arrival: a mapping written since applies when the controller is
    // plugged in again.
    Port port;
    port.name = name;
    assignMapping(port, readFiles());
    ports_[id] = std::move(port);
}

void ControllerHub::mappingsChanged() {
    const auto files = readFiles();
    for (auto& [id, port] : ports_) assignMapping(port, files);
}

void ControllerHub::message(int id, const midi::MidiMessage& message) {
    lastHandled_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
    const auto it = ports_.find(id);
    if (it == ports_.end()) return;
    if (learn_) {
        // The control's release is not what the DJ means to bind.
        if (message.isNoteOff()) return;
        const Learn learn = std::exchange(learn_, {});
        learn(it->second.name, message);
        return;
    }
    if (it->second.engine) it->second.engine->handle(message);
}

void ControllerHub::closed(int id) { ports_.erase(id); }

void ControllerHub::updateLights() {
    if (ports_.empty()) return;
    struct PortLights : midi::LightOutput {
        PortLights(Shared& s, int i) : shared(s), id(i) {}
        void send(const midi::MidiMessage& message) override { shared.send(id, message); }
        Shared& shared;
        int id;
    };
    const auto lights = actions_.lights();
    for (auto& [id, port] : ports_) {
        if (!port.engine) continue;
        PortLights out(*shared_, id);
        port.engine->updateLights(lights, out);
    }
}

int64_t ControllerHub::lastArrivalNanos() const {
    return shared_->lastArrival.load(std::memory_order_relaxed);
}

std::vector<ControllerHub::Controller> ControllerHub::controllers() const {
    std::vector<Controller> list;
    for (const auto& [id, port] : ports_)
        list.push_back({port.name, port.mappingPath, port.shipped});
    return list;
}

}  // namespace spinlorex
