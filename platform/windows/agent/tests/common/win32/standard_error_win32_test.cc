#include "common/win32/standard_error.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/win32/unique_handle.h"

namespace vornakel::win32 {
namespace {

// Points this process's standard error at a pipe for one test, as a parent that redirected it
// would, and puts the original handle back afterwards.
class RedirectedStandardError : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = ::GetStdHandle(STD_ERROR_HANDLE);
    ASSERT_TRUE(::CreatePipe(read_.receive(), write_.receive(), nullptr, 1 << 16));
    ASSERT_TRUE(::SetStdHandle(STD_ERROR_HANDLE, write_.get()));
  }
  void TearDown() override { ::SetStdHandle(STD_ERROR_HANDLE, original_); }

  std::string drain() {
    write_.reset();
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(read_.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      bytes.append(buffer, read);
    }
    return bytes;
  }

  HANDLE original_ = nullptr;
  UniqueHandle read_;
  UniqueHandle write_;
};

TEST_F(RedirectedStandardError, WritesTheExactBytes) {
  const std::string line = "Windows host service: caf\xC3\xA9 (os error 2)\n";
  ASSERT_TRUE(write_standard_error(line));
  EXPECT_EQ(drain(), line);
}

TEST_F(RedirectedStandardError, NoHandleMeansNothingIsWritten) {
  ASSERT_TRUE(::SetStdHandle(STD_ERROR_HANDLE, nullptr));
  EXPECT_FALSE(write_standard_error("lost\n"));
  ASSERT_TRUE(::SetStdHandle(STD_ERROR_HANDLE, INVALID_HANDLE_VALUE));
  EXPECT_FALSE(write_standard_error("lost\n"));
  EXPECT_EQ(drain(), "");
}

}  // namespace
}  // namespace vornakel::win32
