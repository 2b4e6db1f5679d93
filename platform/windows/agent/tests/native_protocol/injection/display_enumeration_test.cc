#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "native_protocol/injection/monitor_display_source.h"

namespace vornakel::native_protocol {
namespace {

struct FakeMonitor {
  MonitorInfo info;
  MonitorMode mode;
  uint32_t orientation = 0;
  uint32_t scale = 100;
  bool info_fails = false;
  bool mode_fails = false;
  bool orientation_fails = false;
  std::optional<std::string> scale_error;
};

struct MonitorState {
  std::vector<FakeMonitor> monitors;
  std::vector<MonitorFriendlyName> names;
  bool enumeration_fails = false;
  bool dpi_refused = false;
  int dpi_depth = 0;
  int dpi_entries = 0;
};

class FakeMonitorApi : public MonitorApi {
 public:
  explicit FakeMonitorApi(std::shared_ptr<MonitorState> state) : state_(std::move(state)) {}
  bool enter_per_monitor_dpi_awareness() override {
    if (state_->dpi_refused) return false;
    ++state_->dpi_depth;
    ++state_->dpi_entries;
    return true;
  }
  void restore_dpi_awareness() override { --state_->dpi_depth; }
  std::optional<std::vector<Monitor>> monitors() override {
    if (state_->enumeration_fails) return std::nullopt;
    std::vector<Monitor> handles;
    for (size_t i = 0; i < state_->monitors.size(); ++i) handles.push_back(i + 1);
    return handles;
  }
  std::optional<MonitorInfo> monitor_info(Monitor monitor) override {
    const FakeMonitor& m = at(monitor);
    if (m.info_fails) return std::nullopt;
    return m.info;
  }
  std::optional<MonitorMode> current_mode(const std::u16string& device) override {
    const FakeMonitor& m = by_device(device);
    if (m.mode_fails) return std::nullopt;
    return m.mode;
  }
  std::optional<uint32_t> orientation(const std::u16string& device) override {
    const FakeMonitor& m = by_device(device);
    if (m.orientation_fails) return std::nullopt;
    return m.orientation;
  }
  Result<uint32_t, std::string> scale_percent(Monitor monitor) override {
    const FakeMonitor& m = at(monitor);
    if (m.scale_error) return *m.scale_error;
    return m.scale;
  }
  std::vector<MonitorFriendlyName> friendly_names() override { return state_->names; }

 private:
  const FakeMonitor& at(Monitor monitor) { return state_->monitors.at(monitor - 1); }
  const FakeMonitor& by_device(const std::u16string& device) {
    for (const FakeMonitor& m : state_->monitors) {
      if (m.info.device == device) return m;
    }
    return state_->monitors.at(0);
  }
  std::shared_ptr<MonitorState> state_;
};

FakeMonitor monitor(std::u16string device, int32_t left, uint32_t width, uint32_t height,
                    uint32_t flags) {
  FakeMonitor m;
  m.info = MonitorInfo{std::move(device), left, 0, flags};
  m.mode = MonitorMode{width, height, 60};
  return m;
}

struct Fixture {
  Fixture()
      : state(std::make_shared<MonitorState>()), source(std::make_unique<FakeMonitorApi>(state)) {
    state->monitors = {monitor(u"\\\\.\\DISPLAY1", 0, 1920, 1080, 1),
                       monitor(u"\\\\.\\DISPLAY2", -2560, 2560, 1440, 0)};
  }
  Result<std::vector<DisplayRecord>, AdapterError> enumerate() {
    auto result = source.enumerate_displays();
    EXPECT_EQ(state->dpi_depth, 0);  // restored on every path
    return result;
  }
  std::shared_ptr<MonitorState> state;
  MonitorDisplaySource source;
};

TEST(DisplayEnumerationTest, DescribesEveryMonitorInOrder) {
  Fixture f;
  f.state->monitors[1].orientation = 3;
  f.state->monitors[1].scale = 150;
  f.state->monitors[1].mode.frequency = 1;
  f.state->names = {{u"\\\\.\\DISPLAY2", u"DELL U2720Q"}, {u"\\\\.\\DISPLAY1", u""}};
  auto displays = f.enumerate();
  ASSERT_TRUE(displays.ok());
  ASSERT_EQ(displays.value().size(), 2u);
  const DisplayRecord& first = displays.value()[0];
  EXPECT_EQ(first.id, "\\\\.\\DISPLAY1");
  EXPECT_EQ(first.device, "\\\\.\\DISPLAY1");
  EXPECT_EQ(first.name, "\\\\.\\DISPLAY1");  // no friendly name: the device name stands in
  EXPECT_EQ(first.width, 1920u);
  EXPECT_EQ(first.frequency, 60.0f);
  EXPECT_EQ(first.scale, 1.0f);
  EXPECT_TRUE(first.primary);
  const DisplayRecord& second = displays.value()[1];
  EXPECT_EQ(second.name, "DELL U2720Q");
  EXPECT_EQ(second.x, -2560);
  EXPECT_EQ(second.rotation, 270.0f);
  EXPECT_EQ(second.scale, 1.5f);
  EXPECT_EQ(second.frequency, 0.0f);
  EXPECT_FALSE(second.primary);
  EXPECT_EQ(f.state->dpi_entries, 1);
}

TEST(DisplayEnumerationTest, PrimaryMeansExactlyThePrimaryFlag) {
  Fixture f;
  f.state->monitors[0].info.flags = 3;  // primary plus an unknown bit
  auto displays = f.enumerate();
  ASSERT_TRUE(displays.ok());
  EXPECT_FALSE(displays.value()[0].primary);
  EXPECT_EQ(choose_primary(displays.value()), nullptr);
}

TEST(DisplayEnumerationTest, SizeLimitsFailTheWholeEnumeration) {
  for (auto [width, height, ok] :
       {std::tuple{16384u, 2048u, true}, std::tuple{16385u, 1000u, false},
        std::tuple{8192u, 8192u, false}, std::tuple{0u, 1080u, false}}) {
    Fixture f;
    f.state->monitors[1].mode.width = width;
    f.state->monitors[1].mode.height = height;
    auto displays = f.enumerate();
    EXPECT_EQ(displays.ok(), ok) << width << "x" << height;
    if (!ok) {
      EXPECT_EQ(displays.error().message(), "display exceeds the capture allocation safety limit");
    }
  }
}

TEST(DisplayEnumerationTest, FailureMessages) {
  auto failure = [](auto change) {
    Fixture f;
    change(*f.state);
    auto displays = f.enumerate();
    EXPECT_FALSE(displays.ok());
    return displays.ok() ? std::string() : displays.error().message();
  };
  const std::string prefix = "Windows adapter operation failed: ";
  EXPECT_EQ(failure([](MonitorState& s) { s.dpi_refused = true; }),
            prefix + "Windows could not enable per-monitor DPI awareness for pointer coordinates");
  // Neither call sets a last error: a fixed text, never whatever the thread last recorded.
  EXPECT_EQ(failure([](MonitorState& s) { s.enumeration_fails = true; }),
            prefix + "Failed to enumerate the monitors.");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[1].info_fails = true; }),
            prefix + "Failed to get monitor information.");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[0].mode_fails = true; }),
            prefix + "Failed to get the monitor's display settings.");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[0].orientation_fails = true; }),
            prefix + "Failed to get the monitor's display orientation.");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[0].scale_error = "Unspecified error"; }),
            prefix + "Unspecified error");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[0].scale = 0; }),
            prefix + "Windows returned an invalid monitor scale factor");
  EXPECT_EQ(failure([](MonitorState& s) { s.monitors[0].scale = 1001; }),
            prefix + "Windows returned an invalid monitor scale factor");
  EXPECT_EQ(
      failure(
          [](MonitorState& s) { s.monitors[0].info.device = std::u16string(1, char16_t(0xD800)); }),
      prefix + "Failed to convert a Windows string: the device name holds an unpaired surrogate");
}

TEST(DisplayEnumerationTest, ScaleEdgesAreAccepted) {
  for (uint32_t scale : {1u, 1000u}) {
    Fixture f;
    f.state->monitors[0].scale = scale;
    auto displays = f.enumerate();
    ASSERT_TRUE(displays.ok());
    EXPECT_EQ(displays.value()[0].scale, static_cast<float>(scale) / 100.0f);
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
