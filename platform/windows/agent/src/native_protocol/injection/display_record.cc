#include "native_protocol/injection/display_record.h"

namespace vornakel::native_protocol {
namespace {

bool is_ascii_alphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool display_size_within_limits(uint32_t width, uint32_t height) {
  constexpr uint32_t kMaxSide = 16384;
  constexpr uint64_t kMaxPixels = 33554432;
  return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide &&
         static_cast<uint64_t>(width) * height <= kMaxPixels;
}

bool display_scale_within_limits(uint32_t percent) { return percent >= 1 && percent <= 1000; }

float rotation_for_orientation(uint32_t orientation) {
  switch (orientation) {
    case 1:
      return 90;
    case 2:
      return 180;
    case 3:
      return 270;
    default:
      return 0;
  }
}

float frequency_for_refresh_rate(uint32_t hertz) {
  return hertz <= 1 ? 0.0f : static_cast<float>(hertz);
}

std::string command_id_for(std::string_view display_id) {
  std::string id;
  for (char c : display_id) {
    if (is_ascii_alphanumeric(c)) id.push_back(c);
  }
  return id;
}

const DisplayRecord* choose_primary(const std::vector<DisplayRecord>& displays) {
  for (const DisplayRecord& display : displays) {
    if (display.primary) return &display;
  }
  return nullptr;
}

const DisplayRecord* choose_same_id(const std::vector<DisplayRecord>& displays,
                                    std::string_view id) {
  for (const DisplayRecord& display : displays) {
    if (display.id == id) return &display;
  }
  return nullptr;
}

const DisplayRecord* choose_by_command_id(const std::vector<DisplayRecord>& displays,
                                          std::string_view command_id) {
  // A name reduced to nothing must not pick a monitor whose name has no letter or digit.
  if (command_id.empty()) return nullptr;
  for (const DisplayRecord& display : displays) {
    if (command_id_for(display.id) == command_id) return &display;
  }
  return nullptr;
}

}  // namespace vornakel::native_protocol
