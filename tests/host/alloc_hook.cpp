// SPDX-License-Identifier: GPL-3.0-or-later
#include "alloc_hook.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting {false};
std::atomic<std::size_t> allocations {0};

void* allocate(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace

namespace alloc_hook {
void setCounting(bool on) { counting.store(on, std::memory_order_relaxed); }
std::size_t count() { return allocations.load(std::memory_order_relaxed); }
void reset() { allocations.store(0, std::memory_order_relaxed); }
} // namespace alloc_hook

void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
