// The display records the operating system hands back and the rules that choose among them.
// Oracles: the limits and conversions re-derived from their definitions, and each choice made
// again by a plain scan of the records.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "native_protocol/injection/display_record.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::native_protocol;
using vornakel::fuzz::require;

std::string letters_and_digits(const std::string& id) {
  std::string out;
  for (char c : id) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) out += c;
  }
  return out;
}

const DisplayRecord* first(const std::vector<DisplayRecord>& displays, auto&& matches) {
  for (const DisplayRecord& d : displays) {
    if (matches(d)) return &d;
  }
  return nullptr;
}

std::string take_id(FuzzedDataProvider& in) {
  // Device names look like "\\.\DISPLAY1"; mutations of them, non-ASCII included, probe the rules.
  static const std::string kNames[] = {"\\\\.\\DISPLAY1",
                                       "\\\\.\\DISPLAY2",
                                       "\\\\.\\DISPLAY12",
                                       "DISPLAY1",
                                       "\\\\.\\\xC3\x84NZEIGE1",
                                       "\xE6\x98\xBE\xE7\xA4\xBA"
                                       "1",
                                       ""};
  std::string id = in.PickValueInArray(kNames);
  if (in.ConsumeBool()) id += in.ConsumeRandomLengthString(8);
  return id;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint32_t width = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 16385)
                                          : in.ConsumeIntegral<uint32_t>();
  const uint32_t height = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 16385)
                                           : in.ConsumeIntegral<uint32_t>();
  require(display_size_within_limits(width, height) ==
              (width >= 1 && width <= 16384 && height >= 1 && height <= 16384 &&
               uint64_t{width} * height <= 33554432u),
          "each side 1 to 16384, at most 33554432 pixels");
  const uint32_t percent =
      in.ConsumeIntegralInRange<uint32_t>(0, 1001) ^ (in.ConsumeBool() ? 0 : 0x80000000u);
  require(display_scale_within_limits(percent) == (percent >= 1 && percent <= 1000),
          "scale 1 to 1000 percent");
  const uint32_t orientation = in.ConsumeIntegralInRange<uint32_t>(0, 4);
  const float rotations[] = {0, 90, 180, 270, 0};
  require(rotation_for_orientation(orientation) == rotations[orientation],
          "orientation to degrees");
  const uint32_t hertz = in.ConsumeIntegralInRange<uint32_t>(0, 3) == 0
                             ? in.ConsumeIntegralInRange<uint32_t>(0, 1)
                             : in.ConsumeIntegral<uint32_t>();
  require(frequency_for_refresh_rate(hertz) == (hertz <= 1 ? 0.0f : static_cast<float>(hertz)),
          "a refresh rate of 0 or 1 is unknown");

  std::vector<DisplayRecord> displays(in.ConsumeIntegralInRange<size_t>(0, 6));
  for (DisplayRecord& d : displays) {
    d.id = take_id(in);
    d.device = d.id;
    d.primary = in.ConsumeBool();
  }
  const std::string wanted = take_id(in);
  const std::string command_id =
      in.ConsumeBool() ? letters_and_digits(take_id(in)) : in.ConsumeRandomLengthString(12);
  for (const DisplayRecord& d : displays) {
    require(command_id_for(d.id) == letters_and_digits(d.id),
            "a command id keeps ASCII letters and digits only");
  }
  require(
      choose_primary(displays) == first(displays, [](const DisplayRecord& d) { return d.primary; }),
      "start-up takes the first primary display");
  require(choose_same_id(displays, wanted) ==
              first(displays, [&](const DisplayRecord& d) { return d.id == wanted; }),
          "a desktop change keeps the display of the same id");
  // An empty id never names a display (the command's range check refuses it before).
  require(choose_by_command_id(displays, command_id) ==
              first(displays,
                    [&](const DisplayRecord& d) {
                      return !command_id.empty() && letters_and_digits(d.id) == command_id;
                    }),
          "a display command names a display by its reduced id");
  return 0;
}
