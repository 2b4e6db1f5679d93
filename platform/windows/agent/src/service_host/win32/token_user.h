// The current process token's user, read through a link seam: the shipped program reads the real
// token, the Wine end-to-end test program substitutes LocalSystem (which Wine cannot provide).
#ifndef VORNAKEL_SERVICE_HOST_WIN32_TOKEN_USER_H_
#define VORNAKEL_SERVICE_HOST_WIN32_TOKEN_USER_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/result.h"

namespace vornakel::win32 {

// A TOKEN_USER with its SID, in storage aligned to 8 bytes as GetTokenInformation requires.
class TokenUserBuffer {
 public:
  // `size` is rounded up to a multiple of 8; the storage is zero-filled.
  explicit TokenUserBuffer(size_t size);

  void* data() { return storage_.get(); }
  size_t size() const { return size_; }
  const TOKEN_USER* user() const { return reinterpret_cast<const TOKEN_USER*>(storage_.get()); }

 private:
  std::unique_ptr<uint64_t[]> storage_;
  size_t size_;
};

// Opens the process token, learns the TokenUser size (refusing sizes outside 1..65536 with
// "Invalid process token") and reads it. The token handle is closed on every path.
Result<TokenUserBuffer> read_process_token_user();

}  // namespace vornakel::win32

#endif  // VORNAKEL_SERVICE_HOST_WIN32_TOKEN_USER_H_
