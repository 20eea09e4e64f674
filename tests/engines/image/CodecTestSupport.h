#pragma once

#include "engines/image/Bitmap.h"

#include <array>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <vector>

namespace quillmorph::testing {

using Pixel = std::array<std::uint8_t, 4>;

// A bitmap whose pixel (x, y) is pixelAt(x, y), given as stored: premultiplied RGBA, or RGBX.
Bitmap makeBitmap(int width, int height, bool hasAlpha, const std::function<Pixel(int x, int y)>& pixelAt);

// The distinct stored pixels of a bitmap, each as R << 24 | G << 16 | B << 8 | A.
std::set<std::uint32_t> distinctPixels(const Bitmap& image);

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // straight, alpha 255 when the file has none
};

// The file decoded by libvips, or nothing when it does not decode.
std::optional<DecodedImage> decode(const std::vector<std::uint8_t>& file);

// Success when pngcheck finds nothing wrong with the file; its report otherwise.
::testing::AssertionResult passesPngcheck(const std::vector<std::uint8_t>& file);

} // namespace quillmorph::testing
