// The Windows forms of the input host's seams.
#ifndef VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_
#define VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_

#include <memory>

#include "native_protocol/injection/desktop_api.h"
#include "native_protocol/injection/display_source.h"
#include "native_protocol/injection/input_backend_factory.h"
#include "native_protocol/injection/input_desktop.h"
#include "native_protocol/injection/input_injector.h"
#include "native_protocol/injection/monitor_api.h"

namespace vornakel::native_protocol::win32 {

std::unique_ptr<DesktopApi> make_desktop_api();
// The input desktop of the calling thread (InputDesktopTracker over make_desktop_api()).
std::unique_ptr<InputDesktop> make_input_desktop();
std::unique_ptr<MonitorApi> make_monitor_api();
// MonitorDisplaySource over make_monitor_api().
std::unique_ptr<DisplaySource> make_display_source();
std::unique_ptr<InputInjector> make_input_injector();
// InjectingBackendFactory over make_input_injector().
std::unique_ptr<InputBackendFactory> make_input_backend_factory();

}  // namespace vornakel::native_protocol::win32

#endif  // VORNAKEL_NATIVE_PROTOCOL_WIN32_INPUT_HOST_WIN32_H_
