#pragma once

#include <cstdint>
#include <vector>

namespace spinlorex {

// The onset hops where the beats most likely fall, given the beat period in hops: the
// chain of hops, one about a period after the other, that gathers the most onset strength
// while its spacing strays least from the period (by dynamic programming over the whole
// track). The spacing may drift by up to a fifth of the period, so the chain follows an
// intro at another tempo. In time order; empty without a period.
std::vector<int32_t> trackBeats(const std::vector<float>& onsets, double period);

}  // namespace spinlorex
