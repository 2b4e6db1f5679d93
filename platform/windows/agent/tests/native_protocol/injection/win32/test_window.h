// A top-level window of the test process that takes the foreground and records the input
// messages it receives, with the extra information each one carried.
#ifndef VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_WIN32_TEST_WINDOW_H_
#define VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_WIN32_TEST_WINDOW_H_

#include <windows.h>

#include <functional>
#include <vector>

namespace vornakel::native_protocol::testing {

struct ReceivedMessage {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  LPARAM extra_info;  // GetMessageExtraInfo() while the message was handled
};

class TestWindow {
 public:
  TestWindow();
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND handle() const { return window_; }
  RECT screen_rect() const;
  // Pumps messages until `done` holds for the received ones or about two seconds have passed.
  bool pump_until(const std::function<bool(const std::vector<ReceivedMessage>&)>& done);
  // Pumps what is already queued.
  void pump();
  std::vector<ReceivedMessage>& received() { return received_; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND window_ = nullptr;
  std::vector<ReceivedMessage> received_;
};

}  // namespace vornakel::native_protocol::testing

#endif  // VORNAKEL_TESTS_NATIVE_PROTOCOL_INJECTION_WIN32_TEST_WINDOW_H_
