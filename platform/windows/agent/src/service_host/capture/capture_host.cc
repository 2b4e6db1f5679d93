#include "service_host/capture/capture_host.h"

#include <utility>

#include "service_host/capture/capture_arguments.h"

namespace vornakel {

Result<uint32_t> capture_engine_exit_code(CapturePlatform& platform,
                                          const std::vector<std::u16string>& args) {
  VK_RETURN_IF_ERROR(platform.require_local_system());
  // Checked before the installation is read, so an oversized request costs nothing and learns
  // nothing about the machine.
  if (!capture_arguments_in_bound(args)) return Error::message(kCaptureArgumentBoundExceeded);

  Result<InstallLayout> layout = platform.validate_install();
  if (!layout.ok()) return layout.take_error();
  const std::u16string engine = join_path(layout.value().version_dir, kMediaEngineRelativePath);
  VK_RETURN_IF_ERROR(platform.check_protected_path(engine, /*private_mode=*/false));

  Result<DesktopNameBuffer> name = platform.read_input_desktop_name();
  if (!name.ok()) return name.take_error();
  Result<std::u16string> desktop = engine_desktop_for(desktop_name_in(name.value()));
  if (!desktop.ok()) return desktop.take_error();

  EngineLaunch launch;
  launch.application = engine;
  launch.command_line = engine_command_line(engine, args);
  launch.desktop = std::move(desktop.value());
  return platform.run_engine(launch);
}

}  // namespace vornakel
