// The monitor and display-configuration calls of display enumeration, behind a seam so that the
// enumeration's rules (limits, messages, DPI restore on every path) are tested without a display.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_API_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_API_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace vornakel::native_protocol {

struct MonitorInfo {
  std::u16string device;  // GDI device name
  int32_t left = 0;
  int32_t top = 0;
  uint32_t flags = 0;  // monitor information flags; 1 is the primary monitor
};

struct MonitorMode {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frequency = 0;  // hertz as reported; 0 or 1 mean the hardware default
};

struct MonitorFriendlyName {
  std::u16string device;
  std::u16string name;
};

class MonitorApi {
 public:
  using Monitor = uintptr_t;
  virtual ~MonitorApi() = default;
  // Per-monitor DPI awareness (v2) for the calling thread; false when refused. Each successful
  // enter is paired with one restore.
  virtual bool enter_per_monitor_dpi_awareness() = 0;
  virtual void restore_dpi_awareness() = 0;
  // EnumDisplayMonitors over the whole virtual screen; nullopt on failure. The call reports no
  // error code (only its return value), so there is no system message to carry.
  virtual std::optional<std::vector<Monitor>> monitors() = 0;
  // GetMonitorInfoW with the extended information; nullopt on failure.
  virtual std::optional<MonitorInfo> monitor_info(Monitor monitor) = 0;
  // EnumDisplaySettingsW, current settings; nullopt on failure.
  virtual std::optional<MonitorMode> current_mode(const std::u16string& device) = 0;
  // EnumDisplaySettingsExW's display orientation; nullopt on failure (no error code either).
  virtual std::optional<uint32_t> orientation(const std::u16string& device) = 0;
  // GetScaleFactorForMonitor as a percentage; the error is the system's message for the result.
  virtual Result<uint32_t, std::string> scale_percent(Monitor monitor) = 0;
  // Friendly names of the active display paths; empty when the configuration cannot be read.
  virtual std::vector<MonitorFriendlyName> friendly_names() = 0;
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_MONITOR_API_H_
