#pragma once

#include "engines/image/Bitmap.h"

#include <array>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <span>
#include <vector>
#include <vips/vips8>

namespace quillmorph::testing {

using Pixel = std::array<std::uint8_t, 4>;
using Bytes = std::vector<std::uint8_t>;

// A photo-like 8-bit sRGB image: smooth gradients, flat shapes with hard edges and sensor-like noise.
// The same seed gives the same image.
[[nodiscard]] vips::VImage photo(int width, int height, int seed = 1);
[[nodiscard]] Bitmap photoBitmap(int width, int height, int seed = 1);

// A bitmap whose pixel (x, y) is pixelAt(x, y), given as stored: premultiplied RGBA, or RGBX.
[[nodiscard]] Bitmap makeBitmap(int width, int height, bool hasAlpha,
                                const std::function<Pixel(int x, int y)>& pixelAt);

[[nodiscard]] std::set<Pixel> distinctPixels(const Bitmap& image);

struct DecodedImage {
    int width = 0;
    int height = 0;
    Bytes rgba; // straight, alpha 255 when the file has none
};

[[nodiscard]] std::optional<DecodedImage> decode(const Bytes& file);

// Peak signal-to-noise ratio in dB over the colour channels of two RGBA buffers of one size;
// infinity when identical.
[[nodiscard]] double psnr(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

[[nodiscard]] ::testing::AssertionResult passesPngcheck(const Bytes& file);

} // namespace quillmorph::testing
