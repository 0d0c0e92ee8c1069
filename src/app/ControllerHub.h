#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainThreadInbox.h"
#include "app/dialogs/ControllersDialog.h"
#include "desk/DeskControllerActions.h"
#include "midi/MappingEngine.h"
#include "midi/MappingFolder.h"

namespace spinlorex {

class DeckPair;
class MixingDesk;

// The controllers on the desk: the system's MIDI ports, opened on a thread of their own as
// they come and go; each message carried from its port's thread to the main thread, where
// the mapping that matches the port's name turns it into the desk's actions; and the
// lamps sent when the desk's state changes. A controller unplugged and plugged in again
// finds its mapping by its name again.
//
// Main thread only.
class ControllerHub : public ControllerSource {
public:
    // `post` queues a call on the main thread; `userFolder` holds the user's own mappings
    // (<settings folder>/controllers), read before the shipped ones.
    ControllerHub(MixingDesk& desk, DeckPair& decks, MainThreadInbox::Poster post,
                  std::string userFolder, JogTarget* jog = nullptr);
    // Stops the ports, waiting at most kStopWaitMs for them: a port that hangs is left to
    // its thread, and nothing it says afterwards reaches the desk.
    ~ControllerHub() override;
    ControllerHub(const ControllerHub&) = delete;
    ControllerHub& operator=(const ControllerHub&) = delete;

    // Opens the ports (on the ports' thread; the desk does not wait for them).
    void start();
    // Sends each controller the lamps whose state changed (on the display refresh).
    void updateLights();

    // ControllerSource, for the controllers dialog.
    std::vector<Controller> controllers() const override;
    void learnNext(Learn learn) override { learn_ = std::move(learn); }
    void mappingsChanged() override;
    std::string userFolder() const override { return userFolder_; }

    // The steady clock (ns) when the latest message reached its port's thread; 0 before
    // the first. For the latency benchmark.
    int64_t lastArrivalNanos() const;
    // The steady clock (ns) when the main thread took up the latest message.
    int64_t lastHandledNanos() const { return lastHandled_; }

    static constexpr int kStopWaitMs = 1000;

private:
    struct Shared;
    struct Port {
        std::string name;
        std::string mappingPath;
        bool shipped = false;
        std::unique_ptr<midi::MappingEngine> engine;  // null without a mapping
    };
    // The port's mapping, from the files read now.
    void assignMapping(Port& port, const std::vector<midi::MappingFile>& files);
    std::vector<midi::MappingFile> readFiles() const;
    void opened(int id, const std::string& name);
    void message(int id, const midi::MidiMessage& message);
    void closed(int id);

    DeskControllerActions actions_;
    std::string userFolder_;
    std::shared_ptr<Shared> shared_;  // also held by the ports' thread
    std::map<int, Port> ports_;
    bool started_ = false;
    int64_t lastHandled_ = 0;
    Learn learn_;  // set: the next message is learned, not acted on
};

}  // namespace spinlorex
