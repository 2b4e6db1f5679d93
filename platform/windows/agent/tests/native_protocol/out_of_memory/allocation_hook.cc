#include "out_of_memory/allocation_hook.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool armed = false;
thread_local std::size_t allowed_left = 0;
thread_local std::size_t refused = 0;

void* allocate(std::size_t size) {
  if (armed) {
    if (allowed_left == 0) {
      ++refused;
      throw std::bad_alloc();
    }
    --allowed_left;
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

namespace vornakel::testing {

void fail_allocations_after(std::size_t allowed) {
  allowed_left = allowed;
  refused = 0;
  armed = true;
}

std::size_t allow_allocations() {
  armed = false;
  return refused;
}

}  // namespace vornakel::testing

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
