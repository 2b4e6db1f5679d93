// Test double of the process token user, linked only into vornakel_windows_service_wine_test.
// Wine has no LocalSystem account (every process runs as the ordinary user), so this double hands
// out a TokenUser naming LocalSystem. The real token is still opened and read first, so a broken
// token fails here as it would in the shipped program.
#include <windows.h>

#include <cstring>

#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "service_host/win32/token_user.h"

namespace vornakel::win32 {

Result<TokenUserBuffer> read_process_token_user() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
    return last_os_error();
  }
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof sid;
  if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, sid, &sid_size)) return last_os_error();

  TokenUserBuffer buffer(sizeof(TOKEN_USER) + sid_size);
  auto* user = static_cast<TOKEN_USER*>(buffer.data());
  BYTE* sid_copy = static_cast<BYTE*>(buffer.data()) + sizeof(TOKEN_USER);
  std::memcpy(sid_copy, sid, sid_size);
  user->User.Sid = sid_copy;
  user->User.Attributes = 0;
  return buffer;
}

}  // namespace vornakel::win32
