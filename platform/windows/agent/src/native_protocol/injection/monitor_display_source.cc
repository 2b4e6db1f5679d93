#include "native_protocol/injection/monitor_display_source.h"

#include "common/utf16.h"

namespace vornakel::native_protocol {
namespace {

constexpr uint32_t kPrimaryMonitorFlag = 1;

AdapterError platform(std::string text) { return AdapterError::platform(std::move(text)); }

class DpiScope {
 public:
  explicit DpiScope(MonitorApi& api) : api_(api), entered_(api.enter_per_monitor_dpi_awareness()) {}
  ~DpiScope() {
    if (entered_) api_.restore_dpi_awareness();
  }
  DpiScope(const DpiScope&) = delete;
  DpiScope& operator=(const DpiScope&) = delete;
  bool entered() const { return entered_; }

 private:
  MonitorApi& api_;
  bool entered_;
};

}  // namespace

Result<std::vector<DisplayRecord>, AdapterError> MonitorDisplaySource::enumerate_displays() {
  DpiScope dpi(*api_);
  if (!dpi.entered()) {
    return platform("Windows could not enable per-monitor DPI awareness for pointer coordinates");
  }
  // Fixed texts where Windows reports only failure: the thread's last error would belong to some
  // earlier call.
  std::optional<std::vector<MonitorApi::Monitor>> monitors = api_->monitors();
  if (!monitors) return platform("Failed to enumerate the monitors.");
  const std::vector<MonitorFriendlyName> names = api_->friendly_names();
  std::vector<DisplayRecord> displays;
  for (MonitorApi::Monitor monitor : *monitors) {
    Result<DisplayRecord, AdapterError> record = describe(monitor, names);
    if (!record.ok()) return record.take_error();
    displays.push_back(std::move(record).value());
  }
  return displays;
}

Result<DisplayRecord, AdapterError> MonitorDisplaySource::describe(
    MonitorApi::Monitor monitor, const std::vector<MonitorFriendlyName>& names) {
  const std::optional<MonitorInfo> info = api_->monitor_info(monitor);
  if (!info) return platform("Failed to get monitor information.");
  const std::optional<std::string> device = utf16_to_utf8(info->device);
  if (!device) {
    return platform(
        "Failed to convert a Windows string: the device name holds an unpaired surrogate");
  }

  const std::optional<MonitorMode> mode = api_->current_mode(info->device);
  if (!mode) return platform("Failed to get the monitor's display settings.");
  if (!display_size_within_limits(mode->width, mode->height)) {
    return AdapterError::of(AdapterError::Kind::kDisplayTooLarge);
  }

  const std::optional<uint32_t> orientation = api_->orientation(info->device);
  if (!orientation) return platform("Failed to get the monitor's display orientation.");

  Result<uint32_t, std::string> scale = api_->scale_percent(monitor);
  if (!scale.ok()) return platform(scale.take_error());
  if (!display_scale_within_limits(scale.value())) {
    return platform("Windows returned an invalid monitor scale factor");
  }

  DisplayRecord record;
  record.id = *device;
  record.device = *device;
  record.name = *device;
  for (const MonitorFriendlyName& friendly : names) {
    if (friendly.device != info->device || friendly.name.empty()) continue;
    // A friendly name that does not convert is no name at all: the device name stands in.
    if (std::optional<std::string> name = utf16_to_utf8(friendly.name)) record.name = *name;
    break;
  }
  record.x = info->left;
  record.y = info->top;
  record.width = mode->width;
  record.height = mode->height;
  record.rotation = rotation_for_orientation(*orientation);
  record.scale = static_cast<float>(scale.value()) / 100.0f;
  record.frequency = frequency_for_refresh_rate(mode->frequency);
  record.primary = info->flags == kPrimaryMonitorFlag;
  return record;
}

}  // namespace vornakel::native_protocol
