#pragma once

#include "platform/sound/SoundSystem.h"

namespace spinlorex::sound {

// What a PortAudio failure means to the user: PortAudio's error code, and for a host error
// the host API's type and its own code (ALSA: a negative errno).
SoundError soundErrorFromPortAudio(int paError, int hostApiType, long hostErrorCode);

}  // namespace spinlorex::sound
