// Running out of memory on demand: this program replaces the global operator new with one that,
// once armed, lets a given number of allocations of the calling thread through and fails every one
// after them with std::bad_alloc.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_OUT_OF_MEMORY_ALLOCATION_HOOK_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_OUT_OF_MEMORY_ALLOCATION_HOOK_H_

#include <cstddef>

namespace vornakel::testing {

// Lets `allowed` more allocations of this thread succeed, then fails all of them.
void fail_allocations_after(std::size_t allowed);
// Back to normal; returns how many allocations were refused while armed.
std::size_t allow_allocations();

// Arms the hook for one scope.
class NoMemoryAfter {
 public:
  explicit NoMemoryAfter(std::size_t allowed) { fail_allocations_after(allowed); }
  ~NoMemoryAfter() { (void)allow_allocations(); }
  NoMemoryAfter(const NoMemoryAfter&) = delete;
  NoMemoryAfter& operator=(const NoMemoryAfter&) = delete;
};

}  // namespace vornakel::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_OUT_OF_MEMORY_ALLOCATION_HOOK_H_
