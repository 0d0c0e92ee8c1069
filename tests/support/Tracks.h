#pragma once

#include <cstdint>
#include <string>

#include "tools/synth/Synth.h"

namespace spinlorex::test {

// Writes a synthetic track as WAV (any bit depth) or MP3 (through LAME) and returns its
// path. Files are made once per process and parameter set, in a folder removed at exit.
std::string makeWav(const synth::Params& params, int32_t bitsPerSample = 16);
std::string makeMp3(const synth::Params& params, int32_t kbps = 192);

// A folder for the process's shared fixtures.
std::string fixtureDir();

}  // namespace spinlorex::test
