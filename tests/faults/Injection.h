// Failures the system can't be made to produce on demand, injected at the
// platform's edge: the socket library's listen, the rename that puts a new
// file in place, and memory on worker threads.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<int> failListenWith;  // an errno value; 0 lets listen through
extern std::atomic<int> failRenameWith;  // likewise for rename

// Allocations of whole multiples of `failAllocationsOf` bytes, made on any
// thread but the test's own, throw std::bad_alloc while it is not 0.
extern std::atomic<std::size_t> failAllocationsOf;
void MarkTestThread();
