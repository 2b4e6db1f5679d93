// Monitor enumeration in physical pixels.
#include <windows.h>

#include <shellscalingapi.h>

#include <string_view>
#include <utility>
#include <vector>

#include "common/utf16.h"
#include "native_protocol/win32/dpi_awareness_win32.h"
#include "native_protocol/win32/input_host_win32.h"
#include "native_protocol/win32/system_message_win32.h"

namespace vornakel::native_protocol::win32 {
namespace {

AdapterError platform(std::string text) { return AdapterError::platform(std::move(text)); }

std::u16string_view wide_view(const wchar_t* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != L'\0') ++length;
  return std::u16string_view(reinterpret_cast<const char16_t*>(text), length);
}

// Restores the thread's DPI awareness context on every path out of an enumeration.
class DpiAwarenessScope {
 public:
  DpiAwarenessScope() : previous_(enter_per_monitor_dpi_awareness()) {}
  ~DpiAwarenessScope() { restore_dpi_awareness(previous_); }
  DpiAwarenessScope(const DpiAwarenessScope&) = delete;
  DpiAwarenessScope& operator=(const DpiAwarenessScope&) = delete;
  bool entered() const { return previous_ != nullptr; }

 private:
  DPI_AWARENESS_CONTEXT previous_;
};

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
  reinterpret_cast<std::vector<HMONITOR>*>(context)->push_back(monitor);
  return TRUE;
}

struct FriendlyName {
  std::u16string device;  // GDI device name of the path's source
  std::u16string name;    // the monitor's friendly name
};

// Friendly names of the active display paths, by GDI device name. Any failure only means that
// the device names stand in for the friendly ones.
std::vector<FriendlyName> friendly_names() {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  LONG status = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    UINT32 path_count = 0;
    UINT32 mode_count = 0;
    if (GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) !=
        ERROR_SUCCESS) {
      return {};
    }
    paths.resize(path_count);
    modes.resize(mode_count);
    status = QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count,
                                modes.data(), nullptr);
    paths.resize(path_count);
  }
  if (status != ERROR_SUCCESS) return {};

  std::vector<FriendlyName> names;
  for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = path.sourceInfo.adapterId;
    source.header.id = path.sourceInfo.id;
    if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS) continue;
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
    target.header.size = sizeof(target);
    target.header.adapterId = path.targetInfo.adapterId;
    target.header.id = path.targetInfo.id;
    if (DisplayConfigGetDeviceInfo(&target.header) != ERROR_SUCCESS) continue;
    std::u16string_view name =
        wide_view(target.monitorFriendlyDeviceName, std::size(target.monitorFriendlyDeviceName));
    if (name.empty()) continue;
    names.push_back(
        {std::u16string(wide_view(source.viewGdiDeviceName, std::size(source.viewGdiDeviceName))),
         std::u16string(name)});
  }
  return names;
}

Result<DisplayRecord, AdapterError> describe_monitor(HMONITOR monitor,
                                                     const std::vector<FriendlyName>& names) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return platform("Failed to get monitor information.");
  const std::u16string_view device16 = wide_view(info.szDevice, std::size(info.szDevice));
  std::optional<std::string> device = utf16_to_utf8(device16);
  if (!device) return platform("Failed to convert a Windows string: unpaired surrogate");

  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  if (!EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode)) {
    return platform("Failed to get the monitor's display settings.");
  }
  if (!display_size_within_limits(mode.dmPelsWidth, mode.dmPelsHeight)) {
    return AdapterError::of(AdapterError::Kind::kDisplayTooLarge);
  }

  DEVMODEW extended{};
  extended.dmSize = sizeof(extended);
  if (!EnumDisplaySettingsExW(info.szDevice, ENUM_CURRENT_SETTINGS, &extended, 0)) {
    return platform(system_message(GetLastError()));
  }

  DEVICE_SCALE_FACTOR scale = DEVICE_SCALE_FACTOR_INVALID;
  const HRESULT scale_result = GetScaleFactorForMonitor(monitor, &scale);
  if (FAILED(scale_result)) return platform(system_message(static_cast<uint32_t>(scale_result)));
  const uint32_t percent = static_cast<uint32_t>(scale);
  if (!display_scale_within_limits(percent)) {
    return platform("Windows returned an invalid monitor scale factor");
  }

  DisplayRecord record;
  record.id = *device;
  record.device = *device;
  record.name = *device;
  for (const FriendlyName& friendly : names) {
    if (friendly.device != device16) continue;
    if (std::optional<std::string> name = utf16_to_utf8(friendly.name)) record.name = *name;
    break;
  }
  record.x = info.rcMonitor.left;
  record.y = info.rcMonitor.top;
  record.width = mode.dmPelsWidth;
  record.height = mode.dmPelsHeight;
  record.rotation = rotation_for_orientation(extended.dmDisplayOrientation);
  record.scale = static_cast<float>(percent) / 100.0f;
  record.frequency = frequency_for_refresh_rate(mode.dmDisplayFrequency);
  record.primary = info.dwFlags == MONITORINFOF_PRIMARY;
  return record;
}

class Win32DisplaySource : public DisplaySource {
 public:
  Result<std::vector<DisplayRecord>, AdapterError> enumerate_displays() override {
    DpiAwarenessScope dpi;
    if (!dpi.entered()) {
      return platform("Windows could not enable per-monitor DPI awareness for pointer coordinates");
    }
    std::vector<HMONITOR> monitors;
    if (!EnumDisplayMonitors(nullptr, nullptr, collect_monitor,
                             reinterpret_cast<LPARAM>(&monitors))) {
      return platform(system_message(GetLastError()));
    }
    const std::vector<FriendlyName> names = friendly_names();
    std::vector<DisplayRecord> displays;
    for (HMONITOR monitor : monitors) {
      Result<DisplayRecord, AdapterError> record = describe_monitor(monitor, names);
      if (!record.ok()) return record.take_error();
      displays.push_back(std::move(record).value());
    }
    return displays;
  }
};

}  // namespace

std::unique_ptr<DisplaySource> make_display_source() {
  return std::make_unique<Win32DisplaySource>();
}

}  // namespace vornakel::native_protocol::win32
