#pragma once

#include <memory>

namespace vornakel::capture {

// The picture type is defined once per platform layer (a retained CVPixelBuffer on macOS, an NV12
// frame on the stand-in, a marker in tests). The portable code only holds and passes references.
class Picture;
using PictureRef = std::shared_ptr<const Picture>;

}  // namespace vornakel::capture
