// Process entry of vornakel_windows_service: picks the mode from the command line, runs it, and
// turns its error into one line on standard error and exit status 1.
#include <windows.h>
// After windows.h, which it depends on.
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/exit_status.h"
#include "common/win32/standard_error.h"
#include "common/win32/system_messages_win32.h"
#include "common/win32/unique_handle.h"
#include "common/win32/wide.h"
#include "service_host/install_layout.h"
#include "service_host/local_system.h"
#include "service_host/mode_dispatch.h"
#include "service_host/modes.h"

namespace vornakel {
namespace {

class Win32ModeSteps : public ModeSteps {
 public:
  Status require_local_system() override { return vornakel::require_local_system(); }
  Status attach_interactive_window_station() override {
    return vornakel::attach_interactive_window_station();
  }
  Status run_service_dispatcher() override { return vornakel::run_service_dispatcher(); }
  Status run_input_host() override { return vornakel::run_input_host(); }
  Status run_capture_host(const std::vector<std::u16string>& args) override {
    return vornakel::run_capture_host_then_exit(args);
  }
  Status run_indicator() override { return vornakel::run_indicator(); }
  Status validate_install() override {
    Result<InstallLayout> layout = vornakel::validate_install();
    if (!layout.ok()) return layout.take_error();
    return Ok();
  }
};

// The arguments after the program name, as Windows splits the process command line.
Result<std::vector<std::u16string>> process_arguments() {
  int count = 0;
  win32::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!argv) return win32::last_os_error();
  std::vector<std::u16string> args;
  for (int i = 1; i < count; ++i) args.push_back(win32::to_u16(argv.get()[i]));
  return args;
}

Status run() {
  Result<std::vector<std::u16string>> args = process_arguments();
  if (!args.ok()) return args.take_error();
  Win32ModeSteps steps;
  return run_mode(select_mode(args.value()), steps);
}

}  // namespace
}  // namespace vornakel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return vornakel::exit_status_of(
      [] { return vornakel::run(); },
      [](const vornakel::Error& error) { vornakel::win32::write_entry_error(error); },
      [](std::string_view line) { (void)vornakel::win32::write_standard_error(line); });
}
