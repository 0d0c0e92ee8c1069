#include "platform/core/FatalError.h"

#include <atomic>

namespace spinlorex {
namespace {
std::atomic<const char*> g_fatalError{nullptr};
}

void setFatalError(const char* message) { g_fatalError.store(message, std::memory_order_relaxed); }
const char* fatalError() { return g_fatalError.load(std::memory_order_relaxed); }
void clearFatalError() { g_fatalError.store(nullptr, std::memory_order_relaxed); }

}  // namespace spinlorex
