#include "audio/Crossfader.h"

#include <algorithm>
#include <cmath>

#include "platform/settings/Settings.h"

namespace spinlorex {

CrossfaderGains crossfaderGains(int32_t p) {
    switch (get(settings().crossfader)) {
        case 0:
            return {std::min(kCrossfaderMax - p, 256), std::min(p, 256)};
        case 1:
            return {std::min((kCrossfaderMax - p) * 256 / 192, 256), std::min(p * 256 / 192, 256)};
        case 2:
            return {p < 193 ? 256 : 0, p < 192 ? 0 : 256};
        default:
            set(settings().crossfader, 0);
            return {0, 0};
    }
}

int32_t toHundredthsDb(int32_t value) {
    if (value < 11) return -10000;
    return static_cast<int32_t>(2000.0 * std::log10(static_cast<double>(value) / 65536.0));
}

}  // namespace spinlorex
