#include "native_protocol/injection/input_math.h"

#include <cmath>
#include <limits>

namespace vornakel::native_protocol {

int32_t round_to_i32_saturating(float value) {
  if (std::isnan(value)) return 0;
  const float rounded = std::round(value);  // float overload: halves away from zero
  // 2^31 is exactly representable as a float; anything at or beyond it saturates.
  if (rounded >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (rounded < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

int32_t add_saturating(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

int32_t absolute_pixel(int32_t origin, uint32_t size, float fraction) {
  const uint32_t side = size == 0 ? 1 : size;
  const float span = static_cast<float>(side - 1);
  return add_saturating(origin, round_to_i32_saturating(fraction * span));
}

std::optional<int32_t> normalise_to_absolute(int32_t coordinate, int32_t screen_size) {
  if (screen_size < 2) return std::nullopt;
  const int64_t last = static_cast<int64_t>(screen_size) - 1;
  const int64_t v = coordinate;
  const int64_t sign = v > 0 ? 1 : (v < 0 ? -1 : 0);
  // C++ integer division truncates toward zero, which is the rule here.
  const int64_t n = (v * 65535 + sign * (last / 2)) / last;
  if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (n < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(n);
}

}  // namespace vornakel::native_protocol
