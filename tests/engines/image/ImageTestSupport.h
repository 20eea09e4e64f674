#pragma once

#include "engines/image/Bitmap.h"

#include <filesystem>
#include <vips/vips8>

namespace quillmorph::testing {

// A photo-like 8-bit sRGB image: smooth gradients, some shapes with sharp edges, and sensor-like noise.
// The same seed gives the same image.
[[nodiscard]] vips::VImage photo(int width, int height, int seed = 1);

// Peak signal-to-noise ratio in dB over the colour channels of two same-size bitmaps; infinity when
// identical.
[[nodiscard]] double psnr(const Bitmap& a, const Bitmap& b);

} // namespace quillmorph::testing
