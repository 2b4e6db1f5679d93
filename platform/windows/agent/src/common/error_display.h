// Turns an Error into its one-line display. The system message table is a seam so that the
// formatting rules are testable without Windows.
#ifndef VORNAKEL_COMMON_ERROR_DISPLAY_H_
#define VORNAKEL_COMMON_ERROR_DISPLAY_H_

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.h"

namespace vornakel {

class SystemMessages {
 public:
  // What FormatMessageW looked up for one code.
  struct Lookup {
    std::optional<std::string> text;  // UTF-8, as the system wrote it (trailing blanks included)
    uint32_t format_error = 0;        // GetLastError of the failed FormatMessageW, when no text
  };

  virtual ~SystemMessages() = default;
  // Looks `code` up in the system table, or in ntdll's table when `nt_status` is set.
  virtual Lookup find(uint32_t code, bool nt_status) const = 0;
};

// The system text for a code, with the NT-status flag (0x10000000) routed to ntdll's table and
// trailing tab, line feed, vertical tab, form feed, carriage return and blank removed.
SystemMessages::Lookup system_text(const SystemMessages& messages, uint32_t code);

std::string display(const Error& error, const SystemMessages& messages);

}  // namespace vornakel

#endif  // VORNAKEL_COMMON_ERROR_DISPLAY_H_
