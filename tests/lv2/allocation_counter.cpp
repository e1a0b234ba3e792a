// Counts heap allocations made while a test says so: malloc and friends are replaced for the
// whole process, the plug-in's shared object and the libraries it loads included.
#include "tests/lv2/allocation_counter.h"

#include <atomic>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> counted{0};
void note() {
    if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    note();
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** pointer, size_t alignment, size_t size) {
    note();
    *pointer = __libc_memalign(alignment, size);
    return *pointer != nullptr ? 0 : 12;
}
void* aligned_alloc(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
}

void startCountingAllocations() {
    counted.store(0);
    counting.store(true);
}

long stopCountingAllocations() {
    counting.store(false);
    return counted.load();
}
