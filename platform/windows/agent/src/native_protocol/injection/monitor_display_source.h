// Display enumeration over a MonitorApi: one DisplayRecord per monitor in enumeration order, the
// first monitor that fails failing the whole enumeration, and the thread's DPI awareness restored
// on every path.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_DISPLAY_SOURCE_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_DISPLAY_SOURCE_H_

#include <memory>

#include "native_protocol/injection/display_source.h"
#include "native_protocol/injection/monitor_api.h"

namespace vornakel::native_protocol {

class MonitorDisplaySource : public DisplaySource {
 public:
  explicit MonitorDisplaySource(std::unique_ptr<MonitorApi> api) : api_(std::move(api)) {}
  Result<std::vector<DisplayRecord>, AdapterError> enumerate_displays() override;

 private:
  Result<DisplayRecord, AdapterError> describe(MonitorApi::Monitor monitor,
                                               const std::vector<MonitorFriendlyName>& names);
  std::unique_ptr<MonitorApi> api_;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_DISPLAY_SOURCE_H_
