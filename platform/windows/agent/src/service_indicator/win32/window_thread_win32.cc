#include "service_indicator/win32/window_thread_win32.h"

#include <windows.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "common/utf16.h"
#include "common/win32/wide.h"
#include "service_indicator/win32/indicator_window_win32.h"
#include "service_indicator/win32/window_resources_win32.h"
#include "service_indicator/window/input_origin.h"

namespace vornakel::service_indicator::win32 {
namespace {

using vornakel::win32::to_wide;

// DESKTOP_READOBJECTS | DESKTOP_CREATEWINDOW | DESKTOP_CREATEMENU | DESKTOP_WRITEOBJECTS.
constexpr ACCESS_MASK kDesktopAccess = 0x87;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 1000;
constexpr int kHotkeyId = 1;

struct ControlSpec {
  ControlId id;
  const wchar_t* window_class;
  DWORD extra_style;
};

constexpr ControlSpec kTitleSpec{ControlId::kTitle, L"STATIC", 0};
constexpr ControlSpec kStatusSpec{ControlId::kStatus, L"STATIC", 0};
// Created in this order after the two labels; the buttons are the only tab stops.
constexpr ControlSpec kLaterControls[] = {
    {ControlId::kDetails, L"EDIT", WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
    {ControlId::kStop, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON},
    {ControlId::kPause, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON},
    {ControlId::kCollapse, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON},
};

HFONT create_font(int height, int weight) {
  return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

class WindowThread {
 public:
  explicit WindowThread(WindowThreadStart start) : start_(std::move(start)) {}
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;
  ~WindowThread() { release(); }

  // Sends exactly one of WindowReady or WindowFailed.
  bool set_up();
  void run_message_loop();

 private:
  // Reads the failing call's code before anything can overwrite it, releases what was created and
  // only then reports.
  bool fail() { return fail_with(window_failure_code(::GetLastError())); }
  bool fail_with(int32_t code) {
    release();
    start_.events.send(WindowFailed{stage_, start_.desktop, code});
    return false;
  }

  // The window first (its controls use the fonts and its procedure the state), then the fonts, the
  // state and the desktop. Closing the desktop this thread is attached to fails, which is ignored.
  void release() {
    window_.reset();
    body_font_.reset();
    title_font_.reset();
    state_.reset();
    desktop_.reset();
  }

  bool create_control(const ControlSpec& spec, const std::wstring& text);
  bool set_font(ControlId id, HFONT font);

  WindowThreadStart start_;
  WindowStage stage_ = WindowStage::kOpenDesktop;
  HINSTANCE instance_ = nullptr;
  UniqueDesktop desktop_;
  std::unique_ptr<IndicatorWindowState> state_;
  UniqueFont title_font_;
  UniqueFont body_font_;
  UniqueWindow window_;
};

bool WindowThread::create_control(const ControlSpec& spec, const std::wstring& text) {
  const ControlRect r = *control_rect(spec.id, true);
  HWND child = ::CreateWindowExW(
      0, spec.window_class, text.c_str(), WS_CHILD | WS_VISIBLE | spec.extra_style, r.x, r.y,
      r.width, r.height, window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)),
      instance_, nullptr);
  return child != nullptr;
}

bool WindowThread::set_font(ControlId id, HFONT font) {
  HWND child = ::GetDlgItem(window_.get(), static_cast<int>(id));
  if (child == nullptr) return false;
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return true;
}

bool WindowThread::set_up() {
  const wchar_t* desktop_name = start_.desktop == DesktopName::kWinlogon ? L"Winlogon" : L"Default";
  desktop_.reset(::OpenDesktopW(desktop_name, 0, FALSE, kDesktopAccess));
  if (!desktop_) return fail();

  stage_ = WindowStage::kAttachDesktop;
  if (!::SetThreadDesktop(desktop_.get())) return fail();

  stage_ = WindowStage::kModuleInstance;
  instance_ = ::GetModuleHandleW(nullptr);
  if (instance_ == nullptr) return fail();
  register_indicator_class(instance_);
  state_ = std::make_unique<IndicatorWindowState>(start_, std::chrono::steady_clock::now());

  stage_ = WindowStage::kCreateWindow;
  window_.reset(create_indicator_window(instance_, *state_));
  if (!window_) return fail();
  // CreateFontW documents no last error, and a text that is not UTF-8 is no call's failure: both
  // are reported with code 0.
  title_font_.reset(create_font(-22, 600));
  if (!title_font_) return fail_with(0);
  body_font_.reset(create_font(-16, 400));
  if (!body_font_) return fail_with(0);
  const std::optional<std::u16string> product_name = utf8_to_utf16(start_.brand.product_name);
  if (!product_name) return fail_with(0);
  if (!create_control(kTitleSpec, to_wide(*product_name))) return fail();
  if (!set_font(ControlId::kTitle, title_font_.get())) return fail();
  if (!create_control(kStatusSpec, to_wide(status_text(std::chrono::seconds(0), false, true)))) {
    return fail();
  }

  stage_ = WindowStage::kCreateControls;
  const std::optional<std::u16string> details = utf8_to_utf16(start_.details);
  if (!details) return fail_with(0);
  for (const ControlSpec& spec : kLaterControls) {
    std::u16string_view text = *details;
    if (spec.id == ControlId::kStop) text = stop_button_text(true);
    if (spec.id == ControlId::kPause) text = pause_button_text(false);
    if (spec.id == ControlId::kCollapse) text = collapse_button_text(true);
    if (!create_control(spec, to_wide(text))) return fail();
  }
  for (ControlId id : {ControlId::kStop, ControlId::kPause, ControlId::kCollapse,
                       ControlId::kStatus, ControlId::kDetails}) {
    if (!set_font(id, body_font_.get())) return fail();
  }
  if (::SetTimer(window_.get(), kTimerId, kTimerPeriodMs, nullptr) == 0) return fail();

  stage_ = WindowStage::kRegisterHotkey;
  const Result<StopShortcut, int32_t> shortcut =
      register_stop_shortcut([this](uint32_t virtual_key) -> std::optional<int32_t> {
        if (::RegisterHotKey(window_.get(), kHotkeyId, kStopShortcutModifiers, virtual_key)) {
          return std::nullopt;
        }
        return window_failure_code(::GetLastError());
      });
  if (!shortcut.ok()) return fail_with(shortcut.error());
  // A failure of the texts or the placement is reported under the shortcut's stage too.
  if (!state_->port.set_control_text(ControlId::kDetails,
                                     details_with_shortcut(*details, shortcut.value()))) {
    return fail();
  }
  if (!state_->behaviour.place(true)) return fail();

  // Shown without taking the focus from whatever the user is doing. Ready is reported only for a
  // window the person can see; neither ShowWindow nor IsWindowVisible sets a last error, so one
  // that stays hidden fails with code 0 under the stage of the steps before it.
  if (!state_->behaviour.show()) return fail_with(0);
  // Painted at once, while this thread still holds the setup lock.
  ::RedrawWindow(window_.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  start_.events.send(WindowReady{});
  return true;
}

void WindowThread::run_message_loop() {
  MSG message;
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The remote operator's injected clicks and keys reach no control and start no move: they
    // must not stop, pause or collapse the person's safeguard.
    if (is_remote_input(message.message, static_cast<uint64_t>(::GetMessageExtraInfo()))) {
      continue;
    }
    // Tab moves between the three buttons; every other key goes to the focused control as usual.
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
        ::IsDialogMessageW(window_.get(), &message)) {
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// The two windows are set up one after the other, each up to its first paint. Windows does not need
// this, but Wine's text layout (Uniscribe, used by the details box) is not safe when two threads
// lay out and paint edit controls at the same time: about one start in ten crashed. Serialising the
// setup also lets the second thread's class registration fail only once the class is usable (under
// Wine a duplicate registration could return early, and CreateWindowExW then found no class).
std::timed_mutex& setup_lock() {
  static std::timed_mutex lock;
  return lock;
}

}  // namespace

void run_window_thread(WindowThreadStart start) {
  WindowThread thread(std::move(start));
  bool ready = false;
  {
    std::lock_guard<std::timed_mutex> lock(setup_lock());
    ready = thread.set_up();
  }
  if (ready) thread.run_message_loop();
}

Status WindowThreadLauncher::start_window(WindowThreadStart start) {
  try {
    std::thread window(
        [start = std::move(start)]() mutable { run_window_thread(std::move(start)); });
    window.detach();
  } catch (const std::system_error& e) {
    return Error::message(std::string("an indicator window thread could not start: ") + e.what());
  }
  return Ok();
}

void WindowThreadLauncher::settle_before_exit() {
  // Kept locked on success: the process is about to end, and no other setup may begin.
  (void)setup_lock().try_lock_for(kSettleBound);
}

}  // namespace vornakel::service_indicator::win32
