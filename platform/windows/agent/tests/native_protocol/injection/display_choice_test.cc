#include <gtest/gtest.h>

#include <vector>

#include "native_protocol/injection/display_record.h"

namespace vornakel::native_protocol {
namespace {

DisplayRecord record(std::string id, bool primary) {
  DisplayRecord display;
  display.id = display.device = display.name = std::move(id);
  display.primary = primary;
  return display;
}

TEST(DisplayLimitsTest, SizeLimits) {
  EXPECT_TRUE(display_size_within_limits(16384, 2048));
  EXPECT_TRUE(display_size_within_limits(2048, 16384));
  EXPECT_TRUE(display_size_within_limits(1, 1));
  EXPECT_TRUE(display_size_within_limits(5792, 5793));  // 33553056 pixels, just under the limit
  EXPECT_FALSE(display_size_within_limits(16385, 1));
  EXPECT_FALSE(display_size_within_limits(1, 16385));
  EXPECT_FALSE(display_size_within_limits(8192, 8192));
  EXPECT_FALSE(display_size_within_limits(16384, 2049));
  EXPECT_FALSE(display_size_within_limits(0, 1080));
  EXPECT_FALSE(display_size_within_limits(1920, 0));
  EXPECT_FALSE(display_size_within_limits(4294967295u, 4294967295u));
}

TEST(DisplayLimitsTest, ScaleOrientationAndRefreshRate) {
  EXPECT_FALSE(display_scale_within_limits(0));
  EXPECT_TRUE(display_scale_within_limits(1));
  EXPECT_TRUE(display_scale_within_limits(1000));
  EXPECT_FALSE(display_scale_within_limits(1001));
  EXPECT_EQ(rotation_for_orientation(0), 0.0f);
  EXPECT_EQ(rotation_for_orientation(1), 90.0f);
  EXPECT_EQ(rotation_for_orientation(2), 180.0f);
  EXPECT_EQ(rotation_for_orientation(3), 270.0f);
  EXPECT_EQ(rotation_for_orientation(4), 0.0f);
  EXPECT_EQ(frequency_for_refresh_rate(0), 0.0f);
  EXPECT_EQ(frequency_for_refresh_rate(1), 0.0f);
  EXPECT_EQ(frequency_for_refresh_rate(2), 2.0f);
  EXPECT_EQ(frequency_for_refresh_rate(144), 144.0f);
}

TEST(DisplayChoiceTest, StartUpTakesTheFirstPrimary) {
  const std::vector<DisplayRecord> displays = {record("\\\\.\\DISPLAY1", false),
                                               record("\\\\.\\DISPLAY2", true),
                                               record("\\\\.\\DISPLAY3", true)};
  ASSERT_NE(choose_primary(displays), nullptr);
  EXPECT_EQ(choose_primary(displays)->id, "\\\\.\\DISPLAY2");
  EXPECT_EQ(choose_primary({record("\\\\.\\DISPLAY1", false)}), nullptr);
  EXPECT_EQ(choose_primary({}), nullptr);
}

TEST(DisplayChoiceTest, DesktopChangeKeepsTheSameIdByteForByte) {
  const std::vector<DisplayRecord> displays = {record("\\\\.\\DISPLAY1", true),
                                               record("\\\\.\\DISPLAY2", false)};
  ASSERT_NE(choose_same_id(displays, "\\\\.\\DISPLAY2"), nullptr);
  EXPECT_EQ(choose_same_id(displays, "\\\\.\\DISPLAY2"), &displays[1]);
  EXPECT_EQ(choose_same_id(displays, "\\\\.\\display2"), nullptr);
  EXPECT_EQ(choose_same_id(displays, "DISPLAY2"), nullptr);
  EXPECT_EQ(choose_same_id(displays, "\\\\.\\DISPLAY3"), nullptr);
}

TEST(DisplayChoiceTest, EachDisplayIsFoundWhereverItStandsInTheList) {
  const std::vector<DisplayRecord> displays = {record("\\\\.\\DISPLAY1", false),
                                               record("\\\\.\\DISPLAY2", false),
                                               record("\\\\.\\DISPLAY3", true)};
  const std::pair<const char*, const char*> names[] = {{"\\\\.\\DISPLAY1", "DISPLAY1"},
                                                       {"\\\\.\\DISPLAY2", "DISPLAY2"},
                                                       {"\\\\.\\DISPLAY3", "DISPLAY3"}};
  for (size_t i = 0; i < displays.size(); ++i) {
    EXPECT_EQ(choose_same_id(displays, names[i].first), &displays[i]) << i;
    EXPECT_EQ(choose_by_command_id(displays, names[i].second), &displays[i]) << i;
  }
  EXPECT_EQ(choose_primary(displays), &displays[2]);
  const std::vector<DisplayRecord> both_primary = {record("\\\\.\\DISPLAY1", true),
                                                   record("\\\\.\\DISPLAY2", true)};
  EXPECT_EQ(choose_primary(both_primary), &both_primary[0]);
}

TEST(DisplayChoiceTest, CommandNamesAMonitorByItsLettersAndDigits) {
  const std::vector<DisplayRecord> displays = {record("\\\\.\\DISPLAY1", true),
                                               record("\\\\.\\DISPLAY2", false),
                                               record("\\\\.\\DISPLAY12", false)};
  EXPECT_EQ(command_id_for("\\\\.\\DISPLAY2"), "DISPLAY2");
  EXPECT_EQ(choose_by_command_id(displays, "DISPLAY2"), &displays[1]);
  EXPECT_EQ(choose_by_command_id(displays, "DISPLAY12"), &displays[2]);
  EXPECT_EQ(choose_by_command_id(displays, "display2"), nullptr);
  EXPECT_EQ(choose_by_command_id(displays, "DISPLAY"), nullptr);
  EXPECT_EQ(choose_by_command_id(displays, "DISPLAY21"), nullptr);
  // Non-ASCII letters are removed like punctuation.
  EXPECT_EQ(command_id_for("\\\\.\\DISPL\xC3\x84Y-1_x"), "DISPLY1x");
  // A name with no letter or digit at all cannot be chosen by an empty id.
  EXPECT_EQ(choose_by_command_id({record("\\\\.\\", false)}, ""), nullptr);
}

}  // namespace
}  // namespace vornakel::native_protocol
