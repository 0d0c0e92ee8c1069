#include "audio/DeckRequests.h"

namespace spinlorex {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

}  // namespace

void DeckRequests::issue(const DeckRequest& request) {
    std::lock_guard serial(serial_);
    intArg_.store(request.intArg, relaxed);
    floatArg_.store(request.floatArg, relaxed);
    dsp_.store(request.dsp, relaxed);
    measures_.store(request.measures, relaxed);
    frame_.store(request.frame, relaxed);
    length_.store(request.length, relaxed);
    if (servedInline_.load(std::memory_order_acquire)) {
        // No sound thread runs: the caller is the only one at the deck's buffers.
        server_.serveRequest(request);
        return;
    }
    // Release: the arguments (and anything the caller prepared) are visible to the sound
    // thread once it sees the code.
    code_.store(request.code, std::memory_order_release);
    if (std::binary_semaphore* wake = wake_.load(relaxed)) wake->release();
    done_.acquire();
}

bool DeckRequests::serveWaiting() {
    if (code_.load(std::memory_order_acquire) == DeckRequest::kNone) return false;
    server_.serveRequest(waiting());
    code_.store(DeckRequest::kNone, relaxed);
    done_.release();
    return true;
}

DeckRequest DeckRequests::waiting() const {
    return {code_.load(relaxed),  intArg_.load(relaxed),   floatArg_.load(relaxed),
            dsp_.load(relaxed),   measures_.load(relaxed), frame_.load(relaxed),
            length_.load(relaxed)};
}

}  // namespace spinlorex
