#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>

namespace spinlorex {

class DspHook;
struct TrackMeasures;

// One change a caller thread asks of a deck.
struct DeckRequest {
    enum Code : int32_t {
        kNone = 0,
        kOpenAt = 1,
        kClose = 2,
        kPlay = 3,
        kPause = 4,
        kSeek = 6,
        kShift = 7,
        kNudge = 8,
        kSetPitch = 9,
        kSetDsp = 10,
        kRefresh = 11,
        kAdoptMeasures = 12,
        kSetTempoByHand = 13,
        kSetPitchTrim = 14,
        kSetLoop = 15,
        kEndLoop = 16,
        kSeekFrame = 17,
        kSetKeyShift = 18,
        kTouchWheel = 20,
        kMoveFinely = 21,
    };

    int32_t code = kNone;
    int32_t intArg = 0;
    float floatArg = 0.0f;
    DspHook* dsp = nullptr;                   // kSetDsp
    const TrackMeasures* measures = nullptr;  // kAdoptMeasures
    int64_t frame = 0;                        // kSetLoop (start), kSeekFrame, kMoveFinely
    double length = 0.0;                      // kSetLoop
};

// Carries out requests; the deck, on the sound thread (or inline on the caller's).
class DeckRequestServer {
public:
    virtual void serveRequest(const DeckRequest& request) = 0;

protected:
    ~DeckRequestServer() = default;
};

// The channel from caller threads to the sound thread for one deck: one slot. A caller
// stores its request and blocks until the sound thread has served it at the start of its
// next pass; callers on several threads take turns. While no sound thread runs, requests
// are served at once on the calling thread (setServedInline), so no caller waits for ever.
class DeckRequests {
public:
    explicit DeckRequests(DeckRequestServer& server) : server_(server) {}

    // Main thread, while the sound thread is stopped: released with every request, so a
    // sound thread resting while nothing plays wakes at once (or null).
    void setWake(std::binary_semaphore* wake) { wake_.store(wake, std::memory_order_relaxed); }
    // Main thread, while no sound thread runs.
    void setServedInline(bool inline_) { servedInline_.store(inline_, std::memory_order_release); }

    // Caller thread: blocks until the request was served.
    void issue(const DeckRequest& request);
    // Any thread: a caller waits for its request to be served.
    bool pending() const { return code_.load(std::memory_order_relaxed) != DeckRequest::kNone; }

    // Sound thread: serves the waiting request, if any, and lets its caller go. False when
    // none waited.
    bool serveWaiting();

private:
    DeckRequest waiting() const;

    DeckRequestServer& server_;
    std::atomic<std::binary_semaphore*> wake_{nullptr};
    std::atomic<bool> servedInline_{false};

    std::mutex serial_;  // caller side only: one outstanding request per deck
    std::atomic<int32_t> code_{DeckRequest::kNone};
    std::atomic<int32_t> intArg_{0};
    std::atomic<float> floatArg_{0.0f};
    std::atomic<DspHook*> dsp_{nullptr};
    std::atomic<const TrackMeasures*> measures_{nullptr};
    std::atomic<int64_t> frame_{0};
    std::atomic<double> length_{0.0};
    std::binary_semaphore done_{0};
};

}  // namespace spinlorex
