// The system's mixer through alsa-lib's simple mixer interface.

#include <alsa/asoundlib.h>

#include <memory>

#include "platform/volume/SystemVolume.h"

namespace spinlorex {
namespace {

// alsa-lib prints its own complaints to stderr; the desk reports what matters itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

struct MixerHandle {
    snd_mixer_t* mixer = nullptr;
    ~MixerHandle() {
        if (mixer != nullptr) snd_mixer_close(mixer);
    }
};

// Opens the simple mixer of card "hw:<id>".
bool openMixer(const std::string& card, MixerHandle& handle) {
    const std::string name = "hw:" + card;
    if (snd_mixer_open(&handle.mixer, 0) < 0) return false;
    return snd_mixer_attach(handle.mixer, name.c_str()) >= 0 &&
           snd_mixer_selem_register(handle.mixer, nullptr, nullptr) >= 0 &&
           snd_mixer_load(handle.mixer) >= 0;
}

snd_mixer_elem_t* findVolume(snd_mixer_t* mixer, const std::string& name) {
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, name.c_str());
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, id);
    return elem != nullptr && snd_mixer_selem_has_playback_volume(elem) ? elem : nullptr;
}

class AlsaMixerAccess : public MixerAccess {
public:
    AlsaMixerAccess() { snd_lib_error_set_handler(&quietAlsa); }

    std::vector<Control> controls() override {
        std::vector<Control> found;
        int index = -1;
        while (snd_card_next(&index) >= 0 && index >= 0) {
            snd_ctl_t* ctl = nullptr;
            const std::string hw = "hw:" + std::to_string(index);
            if (snd_ctl_open(&ctl, hw.c_str(), 0) < 0) continue;
            snd_ctl_card_info_t* info = nullptr;
            snd_ctl_card_info_alloca(&info);
            std::string cardId = std::to_string(index);
            if (snd_ctl_card_info(ctl, info) >= 0) cardId = snd_ctl_card_info_get_id(info);
            snd_ctl_close(ctl);
            MixerHandle handle;
            if (!openMixer(cardId, handle)) continue;
            for (const char* name : {"Master", "PCM"})
                if (findVolume(handle.mixer, name) != nullptr) found.push_back({cardId, name});
        }
        return found;
    }

    bool read(const Control& control, std::vector<long>& values) override {
        MixerHandle handle;
        if (!openMixer(control.card, handle)) return false;
        snd_mixer_elem_t* elem = findVolume(handle.mixer, control.name);
        if (elem == nullptr) return false;
        values.clear();
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (!snd_mixer_selem_has_playback_channel(elem, channel)) continue;
            long v = 0;
            if (snd_mixer_selem_get_playback_volume(elem, channel, &v) < 0) return false;
            values.push_back(v);
        }
        return !values.empty();
    }

    bool write(const Control& control, const std::vector<long>& values) override {
        MixerHandle handle;
        if (!openMixer(control.card, handle)) return false;
        snd_mixer_elem_t* elem = findVolume(handle.mixer, control.name);
        if (elem == nullptr) return false;
        size_t k = 0;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST && k < values.size(); ++c) {
            const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
            if (!snd_mixer_selem_has_playback_channel(elem, channel)) continue;
            snd_mixer_selem_set_playback_volume(elem, channel, values[k++]);
        }
        return true;
    }

    bool maximise(const Control& control) override {
        MixerHandle handle;
        if (!openMixer(control.card, handle)) return false;
        snd_mixer_elem_t* elem = findVolume(handle.mixer, control.name);
        if (elem == nullptr) return false;
        long min = 0;
        long max = 0;
        if (snd_mixer_selem_get_playback_volume_range(elem, &min, &max) < 0) return false;
        return snd_mixer_selem_set_playback_volume_all(elem, max) >= 0;
    }
};

}  // namespace

std::unique_ptr<SystemVolume> SystemVolume::forThisMachine(std::string restoreFile) {
    return std::make_unique<SystemVolume>(std::make_unique<AlsaMixerAccess>(),
                                          std::move(restoreFile));
}

}  // namespace spinlorex
