// The replaced operator new and delete of the workflow tests: plain malloc and free, with
// the failure switch of failing_allocations.h.
#include "tests/workflow/failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gArmed{false};
std::atomic<bool> gAndLater{false};
std::atomic<long> gCount{0};
std::atomic<long> gFailAt{-1};
std::atomic<long> gFailures{0};

void* allocate(std::size_t size) {
    if (gArmed.load(std::memory_order_relaxed)) {
        const long k = gCount.fetch_add(1);
        const long at = gFailAt.load();
        if (k == at || (gAndLater.load() && k > at)) {
            gFailures.fetch_add(1);
            throw std::bad_alloc();
        }
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

namespace failing_allocations {

void arm(long n, bool andLater) {
    gCount = 0;
    gFailures = 0;
    gFailAt = n;
    gAndLater = andLater;
    gArmed = true;
}

long disarm() {
    gArmed = false;
    return gFailures.load();
}

}  // namespace failing_allocations

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
