// Bytes allocated with operator new so far in this thread, for tools and tests that report what an
// operation allocates. Counted by the replacement operator new of alloc_count.cpp.
#pragma once

namespace kvr {

long long allocatedBytes();
// Calls to operator new so far in this thread.
long long allocations();

} // namespace kvr
