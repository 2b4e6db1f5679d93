#include "service_indicator/indicator_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "native_protocol/buffered_byte_source.h"
#include "native_protocol/support/queue_byte_source.h"
#include "service_indicator/session_start.h"
#include "service_indicator/support/indicator_fakes.h"

namespace vornakel::service_indicator {
namespace {

using native_protocol::testing::QueueByteSource;
using testing::FakeLauncher;
using testing::MemorySink;
using Lines = std::vector<std::string>;

constexpr char kLine[] =
    "{\"sessionId\":\"0f8fad5b-d9cb-469f-a165-70867728950e\",\"requesterName\":\"Ada "
    "L\",\"permissions\":[\"VIEW_SCREEN\",\"SEND_POINTER\"]}\n";
constexpr char kReadVisibility[] = R"({"type":"stage","stage":"read-visibility"})";
constexpr char kCreateWindows[] = R"({"type":"stage","stage":"create-desktop-windows"})";

// Standard input as the pipe hands it out: everything the agent wrote in one read, then the end.
class OneReadInput final : public native_protocol::BufferedByteSource {
 public:
  explicit OneReadInput(std::string bytes) : bytes_(std::move(bytes)) {}
  int raw_reads = 0;

 protected:
  Result<size_t> read_raw(std::span<uint8_t> buffer) override {
    if (raw_reads++ > 0) return size_t{0};
    std::copy(bytes_.begin(), bytes_.end(), buffer.begin());
    return bytes_.size();
  }

 private:
  std::string bytes_;
};

class IndicatorSessionTest : public ::testing::Test {
 protected:
  Result<IndicatorEnd> run(std::shared_ptr<native_protocol::ByteSource> input,
                           std::string_view brand = kBuiltinBrandText) {
    IndicatorSeams seams{std::move(input), sink, clock, launcher};
    return run_indicator_session(seams, brand);
  }

  MemorySink sink;
  native_protocol::SystemMonotonicClock clock;
  FakeLauncher launcher;
};

TEST_F(IndicatorSessionTest, StartsBothWindowsWithTheirCopiesAndEndsWhenInputCloses) {
  Result<IndicatorEnd> end = run(std::make_shared<QueueByteSource>(kLine));
  ASSERT_TRUE(end.ok()) << end.error().text();
  EXPECT_EQ(end.value().exit_status, 0);
  EXPECT_FALSE(end.value().error);
  EXPECT_EQ(sink.lines(), (Lines{kReadVisibility, kCreateWindows, R"({"type":"ready"})"}));

  ASSERT_EQ(launcher.started.size(), 2u);
  EXPECT_EQ(launcher.started[0].desktop, DesktopName::kDefault);
  EXPECT_EQ(launcher.started[1].desktop, DesktopName::kWinlogon);
  for (const WindowThreadStart& start : launcher.started) {
    EXPECT_EQ(start.brand.paper, "#f5f8fc");
    EXPECT_EQ(start.details,
              "Connected: Ada L\r\nGranted permissions:\r\nVIEW_SCREEN\r\nSEND_POINTER");
  }
  EXPECT_EQ(launcher.started[0].flags, launcher.started[1].flags);
}

TEST_F(IndicatorSessionTest, InputAlreadyBufferedBehindTheLineEndsTheIndicatorWithoutARead) {
  auto input = std::make_shared<OneReadInput>(std::string(kLine) + "x");
  launcher.send_ready = false;
  Result<IndicatorEnd> end = run(input);
  ASSERT_TRUE(end.ok());
  EXPECT_EQ(end.value().exit_status, 1);  // closed before the windows were ready
  EXPECT_EQ(input->raw_reads, 1);
  EXPECT_EQ(sink.lines(), (Lines{kReadVisibility, kCreateWindows}));
}

TEST_F(IndicatorSessionTest, EachRefusedLineEndsTheModeAfterTheFirstStageLine) {
  const std::string long_name(5000, 'n');
  struct Case {
    std::string input;
    Error error;
  };
  for (const Case& c : std::vector<Case>{
           {"", Error::message(kSessionLineOutOfBound)},
           {std::string(kLine).substr(0, 40), Error::message(kSessionLineOutOfBound)},
           {"{\"requesterName\":\"" + long_name + "\"}\n", Error::message(kSessionLineOutOfBound)},
           {"{\"sessionId\":\"x\",\"requesterName\":\"A\",\"permissions\":[\"V\"]}\n",
            Error::message(kInvalidSessionMetadata)},
       }) {
    sink.flushed.clear();
    Result<IndicatorEnd> end = run(std::make_shared<QueueByteSource>(c.input));
    ASSERT_FALSE(end.ok()) << c.input.substr(0, 60);
    EXPECT_EQ(end.error(), c.error);
    EXPECT_EQ(sink.lines(), Lines{kReadVisibility});
  }
  sink.flushed.clear();
  Result<IndicatorEnd> unparsable = run(std::make_shared<QueueByteSource>("{\"sessionId\":\n"));
  ASSERT_FALSE(unparsable.ok());
  EXPECT_EQ(unparsable.error().kind(), ErrorKind::kJson);
  EXPECT_EQ(sink.lines(), Lines{kReadVisibility});
  EXPECT_TRUE(launcher.started.empty());
}

TEST_F(IndicatorSessionTest, AnInvalidBrandEndsTheModeBeforeAnyLine) {
  std::string brand(kBuiltinBrandText);
  brand.replace(brand.find("#132238"), 7, "#13223Z");
  Result<IndicatorEnd> end = run(std::make_shared<QueueByteSource>(kLine), brand);
  ASSERT_FALSE(end.ok());
  EXPECT_EQ(end.error(), Error::message(kInvalidBrand));
  EXPECT_EQ(sink.flushed, "");
}

TEST_F(IndicatorSessionTest, AWindowThatCannotStartEndsTheProcessUnsuccessfully) {
  launcher.fail_for = DesktopName::kWinlogon;
  Result<IndicatorEnd> end = run(std::make_shared<QueueByteSource>(kLine));
  ASSERT_TRUE(end.ok()) << "a window thread is running: the process must end, not return";
  EXPECT_EQ(end.value().exit_status, 1);
  ASSERT_TRUE(end.value().error);
  EXPECT_EQ(end.value().error->text(), "no thread for this window");
}

TEST_F(IndicatorSessionTest, AnUnwritableLineAfterTheWindowsStartedEndsTheProcessWithIt) {
  sink.fail_write_number = 3;  // the ready line
  Result<IndicatorEnd> end = run(std::make_shared<QueueByteSource>(kLine));
  ASSERT_TRUE(end.ok());
  EXPECT_EQ(end.value().exit_status, 1);
  EXPECT_EQ(end.value().error, Error::os_from_win32(232));
}

}  // namespace
}  // namespace vornakel::service_indicator
