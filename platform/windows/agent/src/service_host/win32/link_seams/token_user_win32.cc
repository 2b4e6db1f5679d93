#include <windows.h>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "service_host/local_system.h"
#include "service_host/win32/token_user.h"

namespace vornakel::win32 {

Result<TokenUserBuffer> read_process_token_user() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
    return last_os_error();
  }
  // Expected to fail with ERROR_INSUFFICIENT_BUFFER; only the size matters.
  DWORD needed = 0;
  (void)::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
  if (!token_user_size_in_bound(needed)) return Error::message(kInvalidProcessToken);

  TokenUserBuffer buffer(needed);
  DWORD returned = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &returned)) {
    return last_os_error();
  }
  return buffer;
}

}  // namespace vornakel::win32
