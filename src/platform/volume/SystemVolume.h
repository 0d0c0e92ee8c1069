#pragma once

#include <memory>
#include <string>
#include <vector>

namespace spinlorex {

// The system's output volume controls: the "Master" and "PCM" playback volumes of every
// sound card. An interface so that tests can describe a machine.
class MixerAccess {
public:
    struct Control {
        std::string card;  // the card's stable id
        std::string name;  // "Master" or "PCM"
    };
    virtual ~MixerAccess() = default;
    // Every playback volume control of interest, cards in the system's order.
    virtual std::vector<Control> controls() = 0;
    // The control's value on each of its channels.
    virtual bool read(const Control& control, std::vector<long>& values) = 0;
    virtual bool write(const Control& control, const std::vector<long>& values) = 0;
    // Every channel to the control's maximum.
    virtual bool maximise(const Control& control) = 0;
};

// Takes over the system's output volume while the desk runs alone, so that its own levels
// and crossfader span the whole range: saves and raises every control to full at engine
// start, puts the saved values back at engine stop. Main thread.
class SystemVolume {
public:
    explicit SystemVolume(std::unique_ptr<MixerAccess> mixer);
    // The machine's own mixer (alsa-lib's simple mixer); with no card it finds nothing.
    static std::unique_ptr<SystemVolume> forThisMachine();

    void saveAndMaximise();
    // Restores what the last save found, touching only controls that still exist; does
    // nothing when nothing is saved.
    void restore();
    bool saved() const { return saved_; }

private:
    struct Saved {
        MixerAccess::Control control;
        std::vector<long> values;
    };
    std::unique_ptr<MixerAccess> mixer_;
    std::vector<Saved> records_;
    bool saved_ = false;
};

}  // namespace spinlorex
