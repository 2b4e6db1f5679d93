// The operating system's message text for an error code, for texts that stay inside the process.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_SYSTEM_MESSAGE_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_SYSTEM_MESSAGE_WIN32_H_

#include <cstdint>
#include <string>

namespace vornakel::native_protocol::win32 {

// FormatMessageW's text for a Win32 code or HRESULT, trailing line breaks removed; a generic
// "error 0x...." text when the system has none. The thread's last error is left as it was: the
// text is made for a failure whose last error the command loop still has to read.
std::string system_message(uint32_t code);

}  // namespace vornakel::native_protocol::win32

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_SYSTEM_MESSAGE_WIN32_H_
