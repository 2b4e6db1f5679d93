#include "service_host/local_system.h"
#include "service_host/win32/token_user.h"

namespace vornakel::win32 {

TokenUserBuffer::TokenUserBuffer(size_t size)
    : storage_(std::make_unique<uint64_t[]>(round_up_to_8(size) / sizeof(uint64_t))),
      size_(round_up_to_8(size)) {}

}  // namespace vornakel::win32
