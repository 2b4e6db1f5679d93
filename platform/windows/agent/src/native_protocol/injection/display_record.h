// One monitor as the input host sees it, the limits a monitor must meet, and the three rules by
// which the current display is chosen from a fresh enumeration.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_RECORD_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_RECORD_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vornakel::native_protocol {

struct DisplayRecord {
  std::string id;                  // GDI device name, e.g. "\\.\DISPLAY1"
  std::string device;              // the same name, kept for the backend
  std::string name;                // friendly name, or the device name when none is known
  int32_t x = 0, y = 0;            // monitor rectangle's left and top, physical pixels
  uint32_t width = 0, height = 0;  // current mode size, physical pixels
  float rotation = 0;              // degrees: 0, 90, 180 or 270
  float scale = 1;                 // scale percentage / 100
  float frequency = 0;             // hertz; 0 when unknown
  bool primary = false;
};

// Each side 1 to 16384 and at most 33554432 pixels in all.
bool display_size_within_limits(uint32_t width, uint32_t height);
// Scale percentage 1 to 1000.
bool display_scale_within_limits(uint32_t percent);
// Display orientation 1, 2, 3 -> 90, 180, 270 degrees; anything else 0.
float rotation_for_orientation(uint32_t orientation);
// A reported refresh rate of 0 or 1 means "hardware default": unknown.
float frequency_for_refresh_rate(uint32_t hertz);
// The device name with every character that is not an ASCII letter or digit removed: the form a
// display command names a monitor by.
std::string command_id_for(std::string_view display_id);

// Start-up: the first primary record.
const DisplayRecord* choose_primary(const std::vector<DisplayRecord>& displays);
// After a desktop change: the first record with the same id, byte for byte.
const DisplayRecord* choose_same_id(const std::vector<DisplayRecord>& displays,
                                    std::string_view id);
// On a display command: the first record whose id, reduced to letters and digits, equals
// `command_id` exactly.
const DisplayRecord* choose_by_command_id(const std::vector<DisplayRecord>& displays,
                                          std::string_view command_id);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_DISPLAY_RECORD_H_
