#include "common/error_display.h"

#include <cstdio>

namespace vornakel {
namespace {

constexpr uint32_t kNtStatusFlag = 0x10000000u;

std::string hex_code(uint32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
  return buffer;
}

bool is_trailing_blank(char c) {
  return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ' ';
}

}  // namespace

SystemMessages::Lookup system_text(const SystemMessages& messages, uint32_t code) {
  const bool nt_status = (code & kNtStatusFlag) != 0;
  SystemMessages::Lookup lookup =
      messages.find(nt_status ? (code & ~kNtStatusFlag) : code, nt_status);
  if (lookup.text) {
    std::string& text = *lookup.text;
    while (!text.empty() && is_trailing_blank(text.back())) text.pop_back();
  }
  return lookup;
}

std::string display(const Error& error, const SystemMessages& messages) {
  switch (error.kind()) {
    case ErrorKind::kMessage:
    case ErrorKind::kJson:
      return std::string(error.text());
    case ErrorKind::kOs: {
      SystemMessages::Lookup lookup = system_text(messages, error.code());
      if (!lookup.text) return hex_code(error.code());
      return *lookup.text + " (" + hex_code(error.code()) + ")";
    }
    case ErrorKind::kFileSystem: {
      SystemMessages::Lookup lookup = system_text(messages, error.code());
      if (!lookup.text) {
        return "OS Error " + std::to_string(error.code()) + " (FormatMessageW() returned error " +
               std::to_string(lookup.format_error) + ")";
      }
      return *lookup.text + " (os error " + std::to_string(error.code()) + ")";
    }
  }
  return std::string(error.text());
}

}  // namespace vornakel
