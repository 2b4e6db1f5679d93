// Single owners of the desktop, window and GDI objects an indicator window thread creates. Release
// failures are ignored: there is nothing useful a caller could do about them.
#ifndef VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_RESOURCES_WIN32_H_
#define VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_RESOURCES_WIN32_H_

#include <windows.h>

#include <utility>

namespace vornakel::service_indicator::win32 {

template <typename T, typename Release>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != nullptr; }
  T release() { return std::exchange(value_, nullptr); }
  void reset(T value = nullptr) {
    T old = std::exchange(value_, value);
    if (old != nullptr) Release{}(old);
  }

 private:
  T value_ = nullptr;
};

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct CloseDesktopHandle {
  void operator()(HDESK desktop) const { ::CloseDesktop(desktop); }
};
struct DestroyWindowHandle {
  void operator()(HWND window) const { ::DestroyWindow(window); }
};

using UniqueFont = UniqueResource<HFONT, DeleteGdiObject>;
using UniqueBrush = UniqueResource<HBRUSH, DeleteGdiObject>;
using UniquePen = UniqueResource<HPEN, DeleteGdiObject>;
using UniqueDesktop = UniqueResource<HDESK, CloseDesktopHandle>;
using UniqueWindow = UniqueResource<HWND, DestroyWindowHandle>;

}  // namespace vornakel::service_indicator::win32

#endif  // VORNAKEL_SERVICE_INDICATOR_WIN32_WINDOW_RESOURCES_WIN32_H_
