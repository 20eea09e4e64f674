#pragma once

#include "engines/image/Bitmap.h"
#include "engines/image/ImageEngineError.h"

#include <cstdint>
#include <tl/expected.hpp>
#include <vector>

namespace quillmorph::WebPEncoder {

// A complete WebP file of the image's straight RGBA pixels: lossless at quality 0.99 and above, otherwise
// lossy at quality × 100, with libwebp's defaults for everything else. Fails with renderFailed when the
// pixels cannot be read back and with encodingFailed(webp) when libwebp produces nothing.
[[nodiscard]] tl::expected<std::vector<std::uint8_t>, ImageEngineError> encode(const Bitmap& image,
                                                                               double quality);

} // namespace quillmorph::WebPEncoder
