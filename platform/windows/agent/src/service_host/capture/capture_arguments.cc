#include "service_host/capture/capture_arguments.h"

#include "common/utf16.h"
#include "service_host/quote_argument.h"

namespace vornakel {

bool capture_arguments_in_bound(const std::vector<std::u16string>& args) {
  if (args.size() > kMaxCaptureArguments) return false;
  size_t total = 0;
  for (const std::u16string& arg : args) {
    total += utf8_length_of(arg);
    if (total > kMaxCaptureArgumentBytes) return false;
  }
  return true;
}

std::u16string engine_command_line(std::u16string_view engine_path,
                                   const std::vector<std::u16string>& args) {
  std::u16string line = quote_argument(engine_path);
  for (const std::u16string& arg : args) {
    line += u' ';
    line += quote_argument(arg);
  }
  return line;
}

}  // namespace vornakel
