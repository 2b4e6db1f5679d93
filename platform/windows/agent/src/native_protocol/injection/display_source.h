// Enumerates the monitors with their physical-pixel geometry.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_SOURCE_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_SOURCE_H_

#include <vector>

#include "common/result.h"
#include "native_protocol/adapter_error.h"
#include "native_protocol/injection/display_record.h"

namespace vornakel::native_protocol {

class DisplaySource {
 public:
  virtual ~DisplaySource() = default;
  // One record per monitor in enumeration order; the first monitor that fails fails the whole call.
  virtual Result<std::vector<DisplayRecord>, AdapterError> enumerate_displays() = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_SOURCE_H_
