// spinlorex-tool midi: every MIDI input port (ALSA and JACK) opened, each incoming message
// printed as one line with the port, its bytes and what the port's mapping binds it to.
// What a DJ runs to write a mapping.

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "midi/MappingEngine.h"
#include "midi/MappingFolder.h"
#include "midi/MidiPorts.h"
#include "platform/core/ProcessSignals.h"
#include "platform/settings/SettingsStore.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {

namespace {

// Acts on nothing: the tool only names the bindings.
struct NoDesk : midi::ControlTarget {
    void button(midi::Action, int, int, bool) override {}
    void position(midi::Action, int, double) override {}
    void step(midi::Action, int, double) override {}
    std::optional<double> deskPosition(midi::Action, int) const override { return std::nullopt; }
};

class Printer : public midi::PortListener {
public:
    explicit Printer(std::vector<midi::MappingFile> mappings) : mappings_(std::move(mappings)) {}

    void portOpened(int id, const std::string& name) override {
        std::lock_guard lock(mutex_);
        Port& port = ports_[id];
        port.name = name;
        const midi::MappingFile* file = midi::mappingForPort(mappings_, name);
        if (file) port.engine = std::make_shared<midi::MappingEngine>(file->read.mapping, noDesk_);
        std::printf("opened %s (%s)\n", name.c_str(), file ? file->path.c_str() : "no mapping");
        std::fflush(stdout);
    }
    void portMessage(int id, const midi::MidiMessage& message, int64_t) override {
        std::lock_guard lock(mutex_);
        const auto it = ports_.find(id);
        if (it == ports_.end()) return;
        const midi::Binding* binding =
            it->second.engine ? it->second.engine->handle(message) : nullptr;
        std::printf("%s  %s%s%s\n", it->second.name.c_str(), midi::hexBytes(message).c_str(),
                    binding ? "  " : "", binding ? midi::describeBinding(*binding).c_str() : "");
        std::fflush(stdout);
    }
    void portClosed(int id) override {
        std::lock_guard lock(mutex_);
        if (const auto it = ports_.find(id); it != ports_.end()) {
            std::printf("closed %s\n", it->second.name.c_str());
            std::fflush(stdout);
            ports_.erase(it);
        }
    }

private:
    struct Port {
        std::string name;
        std::shared_ptr<midi::MappingEngine> engine;  // follows shift for the names
    };
    std::vector<midi::MappingFile> mappings_;
    NoDesk noDesk_;
    std::mutex mutex_;  // the ports' threads print one line at a time
    std::map<int, Port> ports_;
};

}  // namespace

int midiCommand(const Args& args) {
    ArgParser a(args, {"--seconds"}, {});
    const double seconds = a.number("--seconds", 0, 0, 1e7);
    if (!a.ok() || !a.positional().empty()) {
        std::fprintf(stderr, "usage: spinlorex-tool midi [--seconds S]\n");
        return 2;
    }
    StopSignals signals;
    const std::filesystem::path settings = settingsFilePath();
    const std::string userFolder =
        settings.empty() ? std::string() : (settings.parent_path() / "controllers").string();
    auto mappings = midi::readMappings(midi::mappingFolders(userFolder), userFolder);
    for (const midi::MappingFile& file : mappings)
        for (const std::string& error : file.read.errors)
            std::fprintf(stderr, "spinlorex-tool: %s: %s\n", file.path.c_str(), error.c_str());
    Printer printer(std::move(mappings));
    midi::MidiPorts ports(printer, "Spinlorex tool");
    ports.start();
    if (ports.openNames().empty()) std::printf("no MIDI input port yet; waiting\n");
    std::fflush(stdout);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!StopSignals::stopRequested() &&
           (seconds <= 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return StopSignals::stopRequested() ? kInterrupted : 0;
}

}  // namespace spinlorex::tool
