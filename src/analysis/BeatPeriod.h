#pragma once

#include <vector>

namespace spinlorex {

// The beat a DJ counts in an onset strength (see OnsetStrength.h): the period, in onset
// hops, at which the onsets repeat best, among the tempi related to the strongest
// repetition (a quarter of it up to four times it), kept within 70..180 BPM; the fastest
// of those that repeat nearly as well as the best one, so a drum-and-bass track is 170
// and not 85. 0 when nothing repeats.
double beatPeriod(const std::vector<float>& onsets, double hopSeconds);

}  // namespace spinlorex
