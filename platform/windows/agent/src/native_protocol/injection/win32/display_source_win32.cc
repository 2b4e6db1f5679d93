// The monitor calls behind MonitorApi; the enumeration rules are MonitorDisplaySource's.
#include <windows.h>

#include <shellscalingapi.h>

#include <string_view>
#include <utility>
#include <vector>

#include "common/win32/wide.h"
#include "native_protocol/injection/monitor_display_source.h"
#include "native_protocol/win32/dpi_awareness_win32.h"
#include "native_protocol/win32/input_host_win32.h"
#include "native_protocol/win32/system_message_win32.h"

namespace vornakel::native_protocol::win32 {
namespace {

std::u16string wide_text(const wchar_t* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != L'\0') ++length;
  return vornakel::win32::to_u16(std::wstring_view(text, length));
}

HMONITOR to_monitor(MonitorApi::Monitor monitor) { return reinterpret_cast<HMONITOR>(monitor); }

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
  reinterpret_cast<std::vector<MonitorApi::Monitor>*>(context)->push_back(
      reinterpret_cast<MonitorApi::Monitor>(monitor));
  return TRUE;
}

class Win32MonitorApi : public MonitorApi {
 public:
  bool enter_per_monitor_dpi_awareness() override { return dpi_awareness_.enter(); }

  void restore_dpi_awareness() override { dpi_awareness_.restore(); }

  std::optional<std::vector<Monitor>> monitors() override {
    std::vector<Monitor> monitors;
    if (!EnumDisplayMonitors(nullptr, nullptr, collect_monitor,
                             reinterpret_cast<LPARAM>(&monitors))) {
      return std::nullopt;
    }
    return monitors;
  }

  std::optional<MonitorInfo> monitor_info(Monitor monitor) override {
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(to_monitor(monitor), &info)) return std::nullopt;
    return MonitorInfo{wide_text(info.szDevice, std::size(info.szDevice)), info.rcMonitor.left,
                       info.rcMonitor.top, info.dwFlags};
  }

  std::optional<MonitorMode> current_mode(const std::u16string& device) override {
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    const std::wstring device_name = vornakel::win32::to_wide(device);
    if (!EnumDisplaySettingsW(device_name.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
      return std::nullopt;
    }
    return MonitorMode{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
  }

  std::optional<uint32_t> orientation(const std::u16string& device) override {
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsExW(vornakel::win32::to_wide(device).c_str(), ENUM_CURRENT_SETTINGS,
                                &mode, 0)) {
      return std::nullopt;
    }
    return static_cast<uint32_t>(mode.dmDisplayOrientation);
  }

  Result<uint32_t, std::string> scale_percent(Monitor monitor) override {
    DEVICE_SCALE_FACTOR scale = DEVICE_SCALE_FACTOR_INVALID;
    const HRESULT result = GetScaleFactorForMonitor(to_monitor(monitor), &scale);
    if (FAILED(result)) return system_message(static_cast<uint32_t>(result));
    return static_cast<uint32_t>(scale);
  }

  // The display configuration is matched to GDI device names through each active path's source.
  std::vector<MonitorFriendlyName> friendly_names() override {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
    LONG status = ERROR_INSUFFICIENT_BUFFER;
    // The configuration can change between sizing and querying; a few attempts settle it.
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

    std::vector<MonitorFriendlyName> names;
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
      names.push_back({wide_text(source.viewGdiDeviceName, std::size(source.viewGdiDeviceName)),
                       wide_text(target.monitorFriendlyDeviceName,
                                 std::size(target.monitorFriendlyDeviceName))});
    }
    return names;
  }

 private:
  DpiAwarenessStack dpi_awareness_;
};

}  // namespace

std::unique_ptr<MonitorApi> make_monitor_api() { return std::make_unique<Win32MonitorApi>(); }

std::unique_ptr<DisplaySource> make_display_source() {
  return std::make_unique<MonitorDisplaySource>(make_monitor_api());
}

}  // namespace vornakel::native_protocol::win32
