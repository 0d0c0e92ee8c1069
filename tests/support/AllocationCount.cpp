#include "support/AllocationCount.h"

#include <atomic>
#include <cstddef>

namespace {
thread_local bool t_counting = false;
std::atomic<int64_t> g_allocations{0};
}  // namespace

namespace spinlorex::test {
void countAllocationsOnThisThread(bool on) { t_counting = on; }
int64_t allocationsCounted() { return g_allocations.load(std::memory_order_relaxed); }
}  // namespace spinlorex::test

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
void counted() {
    if (t_counting) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    counted();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    counted();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    counted();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    counted();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    counted();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    counted();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;  // ENOMEM
}
void free(void* p) { __libc_free(p); }
}
#endif
