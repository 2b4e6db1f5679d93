// Single owners of the kernel handles and LocalAlloc'd blocks the program receives from Windows.
// Release failures are ignored: there is nothing useful a caller could do about them.
#ifndef VORNAKEL_COMMON_WIN32_UNIQUE_HANDLE_H_
#define VORNAKEL_COMMON_WIN32_UNIQUE_HANDLE_H_

#include <windows.h>

#include <utility>

namespace vornakel::win32 {

// Owns a HANDLE closed with CloseHandle. Both null and INVALID_HANDLE_VALUE count as "no handle",
// because Windows uses either depending on the call that produced it.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  static bool is_valid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  bool valid() const { return is_valid(handle_); }
  explicit operator bool() const { return valid(); }
  HANDLE get() const { return handle_; }

  // Gives up ownership without closing.
  HANDLE release() { return std::exchange(handle_, nullptr); }

  void reset(HANDLE handle = nullptr) {
    HANDLE old = std::exchange(handle_, handle);
    if (is_valid(old)) ::CloseHandle(old);
  }

  // For out-parameters of calls such as OpenProcessToken; closes the current handle first.
  HANDLE* receive() {
    reset();
    return &handle_;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Owns memory that Windows allocated with LocalAlloc on the caller's behalf (security descriptors,
// FormatMessageW buffers, CommandLineToArgvW arrays); released with LocalFree.
template <typename T>
class UniqueLocal {
 public:
  UniqueLocal() = default;
  explicit UniqueLocal(T pointer) : pointer_(pointer) {}
  UniqueLocal(const UniqueLocal&) = delete;
  UniqueLocal& operator=(const UniqueLocal&) = delete;
  UniqueLocal(UniqueLocal&& other) noexcept : pointer_(other.release()) {}
  UniqueLocal& operator=(UniqueLocal&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueLocal() { reset(); }

  T get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  T release() { return std::exchange(pointer_, nullptr); }
  void reset(T pointer = nullptr) {
    T old = std::exchange(pointer_, pointer);
    if (old != nullptr) ::LocalFree(reinterpret_cast<HLOCAL>(old));
  }
  T* receive() {
    reset();
    return &pointer_;
  }

 private:
  T pointer_ = nullptr;
};

}  // namespace vornakel::win32

#endif  // VORNAKEL_COMMON_WIN32_UNIQUE_HANDLE_H_
