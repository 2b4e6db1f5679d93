// Monitor enumeration and the desktop calls against the real (Wine) system.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "native_protocol/win32/input_host_win32.h"

namespace vornakel::native_protocol {
namespace {

TEST(Win32DisplaySourceTest, DescribesTheXvfbMonitor) {
  const DPI_AWARENESS_CONTEXT before = GetThreadDpiAwarenessContext();
  auto displays = win32::make_display_source()->enumerate_displays();
  ASSERT_TRUE(displays.ok()) << displays.error().message();
  // The thread's awareness is back to what it was.
  EXPECT_TRUE(AreDpiAwarenessContextsEqual(before, GetThreadDpiAwarenessContext()));

  ASSERT_EQ(displays.value().size(), static_cast<size_t>(GetSystemMetrics(SM_CMONITORS)));
  const DisplayRecord& display = displays.value().front();
  EXPECT_EQ(display.id, "\\\\.\\DISPLAY1");
  EXPECT_EQ(display.device, display.id);
  EXPECT_FALSE(display.name.empty());
  EXPECT_EQ(display.x, 0);
  EXPECT_EQ(display.y, 0);
  EXPECT_EQ(display.width, static_cast<uint32_t>(GetSystemMetrics(SM_CXSCREEN)));
  EXPECT_EQ(display.height, static_cast<uint32_t>(GetSystemMetrics(SM_CYSCREEN)));
  EXPECT_EQ(display.rotation, 0.0f);
  EXPECT_EQ(display.scale, 1.0f);
  EXPECT_GE(display.frequency, 0.0f);
  EXPECT_TRUE(display.primary);
  EXPECT_EQ(choose_by_command_id(displays.value(), "DISPLAY1"), &displays.value().front());
}

TEST(Win32DesktopApiTest, FollowsTheInputDesktop) {
  auto desktop = win32::make_input_desktop();
  std::unique_ptr<InputBackend> backend;
  auto changed = desktop->refresh_input_desktop(backend);
  ASSERT_TRUE(changed.ok());
  EXPECT_TRUE(changed.value());
  EXPECT_EQ(desktop->name(), "Default");
  changed = desktop->refresh_input_desktop(backend);
  ASSERT_TRUE(changed.ok());
  EXPECT_FALSE(changed.value());
}

TEST(Win32DesktopApiTest, NamesAndAttachesAnotherDesktop) {
  // Wine never makes another desktop the input desktop, but the calls themselves work on one
  // created here.
  HDESK created = CreateDesktopW(L"Winlogon", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(created, nullptr) << GetLastError();
  auto api = win32::make_desktop_api();
  const auto handle = reinterpret_cast<DesktopApi::Handle>(created);
  EXPECT_EQ(api->desktop_name(handle), std::u16string(u"Winlogon"));

  bool attached = false;
  HDESK seen = nullptr;
  std::thread worker([&] {
    attached = api->set_thread_desktop(handle);
    seen = GetThreadDesktop(GetCurrentThreadId());
  });
  worker.join();
  EXPECT_TRUE(attached);
  EXPECT_EQ(seen, created);

  auto input = api->open_input_desktop();
  ASSERT_TRUE(input.ok());
  EXPECT_EQ(api->desktop_name(input.value()), std::u16string(u"Default"));
  api->close_desktop(input.value());
  api->close_desktop(handle);
}

}  // namespace
}  // namespace vornakel::native_protocol
