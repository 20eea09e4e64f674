#pragma once

#include "engines/image/Bitmap.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillmorph::PNGWriter {

// A complete indexed-colour PNG (colour type 3, bit depth 1, 2, 4 or 8) holding the image's exact straight
// RGBA colours, palette in order of ascending alpha and then of first appearance. Nothing when the image is
// empty, has more than 256 distinct colours, or cannot be read back or compressed.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> indexed(const Bitmap& image);

} // namespace quillmorph::PNGWriter
