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
//
// So that no way out leaves the speakers at full volume, the saved values are first
// written to a restore file (when one is named), and nothing is raised unless that
// worked; a restore removes the file. A file still there at the next start (the program
// was killed or crashed) is restored then.
class SystemVolume {
public:
    // `restoreFile` empty: the values are kept in memory only.
    explicit SystemVolume(std::unique_ptr<MixerAccess> mixer, std::string restoreFile = {});
    // The machine's own mixer (alsa-lib's simple mixer); with no card it finds nothing.
    static std::unique_ptr<SystemVolume> forThisMachine(std::string restoreFile = {});

    void saveAndMaximise();
    // Restores what the last save found, touching only controls that still exist; does
    // nothing when nothing is saved.
    void restore();
    bool saved() const { return saved_; }

    // Puts back the values of a restore file left by a program that is no longer running
    // (killed, crashed), and removes it. True when there was one. `force` restores even
    // when the program that wrote it still runs (its own crash handler).
    bool restoreLeftover(bool force = false);

    // The restore file's name, beside the settings file.
    static constexpr const char* kRestoreFileName = "volumes-to-restore";

private:
    struct Saved {
        MixerAccess::Control control;
        std::vector<long> values;
    };
    bool writeRestoreFile() const;
    void putBack(const std::vector<Saved>& records);

    std::unique_ptr<MixerAccess> mixer_;
    std::string restoreFile_;
    std::vector<Saved> records_;
    bool saved_ = false;
};

}  // namespace spinlorex
