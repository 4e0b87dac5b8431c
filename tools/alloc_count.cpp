#include "tools/alloc_count.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local long long g_allocated = 0;
thread_local long long g_allocations = 0;

} // namespace

namespace kvr {

long long allocatedBytes() { return g_allocated; }
long long allocations() { return g_allocations; }

} // namespace kvr

void* operator new(std::size_t n) {
    g_allocated += static_cast<long long>(n);
    ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
