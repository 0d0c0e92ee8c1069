// Feeds arbitrary bytes to the information panel's template language as a skin's
// template, with deck values taken from the first bytes: every run must be non-empty,
// within the segment capacity and start inside a sane place; the value formatter must
// stay inside its buffer.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "desk/display/InfoTemplate.h"

namespace {

using namespace spinlorex;

class CheckingSink : public display::InfoSink {
public:
    void segment(int32_t, int32_t, std::string_view text) override {
        if (text.empty() || text.size() > display::kInfoSegmentCapacity) std::abort();
        // Touch every byte, so the sanitizer sees a run that points outside its buffer.
        for (const char c : text) sum_ += static_cast<unsigned char>(c);
    }

private:
    unsigned sum_ = 0;
};

template <typename T>
T take(const uint8_t*& data, size_t& size) {
    T value{};
    const size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DeckInfo info;
    info.status = take<uint32_t>(data, size) % 160;
    info.duration = take<int32_t>(data, size);
    info.position = take<float>(data, size);
    info.pitch = take<int32_t>(data, size);
    info.level = take<int32_t>(data, size);
    info.trackBpm = take<float>(data, size);
    info.localBpm = take<float>(data, size);
    info.localLevel = take<int32_t>(data, size);
    info.cuePoint = take<float>(data, size);
    info.firstStrongBeat = take<float>(data, size);
    info.lastStrongBeat = take<float>(data, size);
    info.loudnessPeak = take<int32_t>(data, size);
    info.extended = (take<uint8_t>(data, size) & 1) != 0;

    CheckingSink sink;
    display::interpretInfoTemplate(std::string_view(reinterpret_cast<const char*>(data), size),
                                   info, sink);

    char out[24];
    for (uint32_t flags = 0; flags < 8; ++flags) {
        const std::string_view text = display::formatInfoValue(info.duration, flags, info, out);
        if (text.size() > sizeof out ||
            (!text.empty() && (text.data() < out || text.data() + text.size() > out + sizeof out)))
            std::abort();
    }
    (void)display::statusMessage(info.status);
    return 0;
}
