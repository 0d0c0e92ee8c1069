#include "platform/volume/SystemVolume.h"

#include <algorithm>

namespace spinlorex {

SystemVolume::SystemVolume(std::unique_ptr<MixerAccess> mixer) : mixer_(std::move(mixer)) {}

void SystemVolume::saveAndMaximise() {
    records_.clear();
    // Visited from the last control to the first; restore goes the same way.
    std::vector<MixerAccess::Control> controls = mixer_ ? mixer_->controls() : std::vector<MixerAccess::Control>{};
    std::reverse(controls.begin(), controls.end());
    for (const MixerAccess::Control& control : controls) {
        Saved record{control, {}};
        if (!mixer_->read(control, record.values)) continue;
        mixer_->maximise(control);
        records_.push_back(std::move(record));
    }
    saved_ = true;
}

void SystemVolume::restore() {
    if (!saved_) return;
    // A card that went away meanwhile is skipped; nothing beyond the saved records is touched.
    const std::vector<MixerAccess::Control> present = mixer_->controls();
    for (const Saved& record : records_) {
        const bool stillThere = std::any_of(present.begin(), present.end(), [&](const MixerAccess::Control& c) {
            return c.card == record.control.card && c.name == record.control.name;
        });
        if (stillThere) mixer_->write(record.control, record.values);
    }
    records_.clear();
    saved_ = false;
}

}  // namespace spinlorex
