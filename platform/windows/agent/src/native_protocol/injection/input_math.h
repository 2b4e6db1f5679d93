// Pointer arithmetic of the input backend, kept apart so that its rounding and saturation rules
// are tested directly.
#ifndef VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_MATH_H_
#define VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_MATH_H_

#include <cstdint>
#include <optional>

namespace vornakel::native_protocol {

// Rounds to nearest (halves away from zero) in 32-bit float arithmetic and converts with
// saturation; not-a-number becomes 0.
int32_t round_to_i32_saturating(float value);
int32_t add_saturating(int32_t a, int32_t b);

// Pixel of a 0..1 position on a display side starting at `origin` and `size` pixels long (0 counts
// as 1): origin + round(fraction * (size - 1)).
int32_t absolute_pixel(int32_t origin, uint32_t size, float fraction);

// A primary-screen coordinate in the 0..65535 space of absolute mouse events; nullopt for a screen
// side shorter than 2 pixels, which the normalisation cannot express.
std::optional<int32_t> normalise_to_absolute(int32_t coordinate, int32_t screen_size);

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_INJECTION_INPUT_MATH_H_
