#include "tools/tool/ToolDesk.h"

#include <algorithm>

#include "audio/DeckPair.h"
#include "platform/settings/Settings.h"

namespace spinlorex::tool {

int32_t ToolDesk::pitchMin() const { return get(settings().limitPitch) != 0 ? 3768 : 2730; }
int32_t ToolDesk::pitchMax() const { return get(settings().limitPitch) != 0 ? 4424 : 5462; }

void ToolDesk::setDeckPitch(int deck, int32_t pitch) {
    (*decks_)[deck].setPitch(std::clamp(pitch, pitchMin(), pitchMax()));
}

void ToolDesk::setDeckLevel(int deck, int32_t level) { (*decks_)[deck].setLevel(level); }

void ToolDesk::setDeckStatus(int deck, uint32_t status) {
    status_[static_cast<size_t>(deck)].store(status, std::memory_order_relaxed);
}

void ToolDesk::post(int message, int deck) {
    if (message != kMessageTrackEnded || (deck != 0 && deck != 1)) return;
    std::atomic<int>& counter = ended_[static_cast<size_t>(deck)];
    counter.fetch_add(1, std::memory_order_release);
    counter.notify_all();
}

}  // namespace spinlorex::tool
