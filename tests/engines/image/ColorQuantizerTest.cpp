#include "engines/image/ColorQuantizer.h"

#include "engines/image/PNGWriter.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

using testing::distinctPixels;
using testing::makeBitmap;
using testing::Pixel;

// 300 colours: a red ramp over a green step, premultiplied at half coverage on odd rows when `translucent`,
// otherwise RGBX with a zero filler byte (which must not read as transparency).
Bitmap gradient(bool translucent) {
    return makeBitmap(47, 33, translucent, [&](int x, int y) {
        const int index = (y * 47 + x) % 300;
        const int alpha = translucent && y % 2 ? 128 : 255;
        return Pixel{std::uint8_t(index % 150 * alpha / 255), std::uint8_t(index / 150 * 100 * alpha / 255),
                     40, std::uint8_t(translucent ? alpha : 0)};
    });
}

Bitmap fewColours(int count) {
    return makeBitmap(47, 33, false, [&](int x, int y) {
        return Pixel{std::uint8_t((x + y) % count * 20), 0, 0, 255};
    });
}

// Nothing when there is nothing to reduce: a palette of one or none, no pixels, or few enough colours.
TEST(ColorQuantizer, ReducesToPremultipliedPaletteColoursAndClearStaysClear) {
    for (const auto& [image, maxColors] : {std::pair{gradient(false), 1},
                                           {gradient(false), 0},
                                           {Bitmap(0, 0, true, testing::Bytes{}), 16},
                                           {fewColours(19), 19}})
        EXPECT_FALSE(ColorQuantizer::quantize(image, maxColors)) << maxColors;
    // The left third is clear (some of it with stray colour); the rest is a translucent ramp.
    const Bitmap clearLeft = makeBitmap(47, 33, true, [](int x, int y) {
        if (x < 16)
            return y % 3 ? Pixel{0, 0, 0, 0} : Pixel{30, 60, 90, 0};
        const int alpha = 64 + (x + y) % 190;
        return Pixel{std::uint8_t(alpha / 2), std::uint8_t(alpha / 3), std::uint8_t(x * alpha / 47),
                     std::uint8_t(alpha)};
    });
    const struct {
        const char* name;
        Bitmap image;
        int clearColumns;
    } rows[] = {{"opaque gradient", gradient(false), 0},
                {"translucent rows", gradient(true), 0},
                {"clear left third", clearLeft, 16},
                {"20 colours", fewColours(20), 0}};
    for (const auto& [name, image, clearColumns] : rows) {
        for (int maxColors : {256, 19, 2}) {
            SCOPED_TRACE(std::string(name) + ", " + std::to_string(maxColors) + " colours");
            const auto quantized = ColorQuantizer::quantize(image, maxColors);
            ASSERT_EQ(quantized.has_value(), maxColors < int(distinctPixels(image).size()));
            if (!quantized)
                continue;
            EXPECT_EQ(quantized->width(), 47);
            EXPECT_EQ(quantized->height(), 33);
            EXPECT_EQ(quantized->hasAlpha(), image.hasAlpha());
            EXPECT_LE(distinctPixels(*quantized).size(), std::size_t(maxColors));
            const auto pixels = quantized->pixels();
            for (std::size_t i = 0; i < pixels.size(); i += 4) {
                ASSERT_LE(std::max({pixels[i], pixels[i + 1], pixels[i + 2]}), pixels[i + 3])
                    << "premultiplied";
                ASSERT_TRUE(int(i / 4 % 47) >= clearColumns || pixels[i] + pixels[i + 1] + pixels[i + 2] == 0)
                    << "clear stays clear";
            }
            // The palette PNG path takes the result, the same every time.
            EXPECT_TRUE(PNGWriter::indexed(*quantized));
            EXPECT_TRUE(std::ranges::equal(ColorQuantizer::quantize(image, maxColors)->pixels(), pixels));
        }
    }
}

int weightedDistance(const std::uint8_t* a, const std::uint8_t* b) {
    int distance = 0;
    for (const auto& [channel, weight] : {std::pair{0, 3}, {1, 6}, {2, 1}, {3, 10}})
        distance += weight * (a[channel] - b[channel]) * (a[channel] - b[channel]);
    return distance;
}

// A red ramp across 4000 columns, the same in every row. Dithered, columns break up; not dithered, every
// column holds one colour, so the first row holds the whole palette and each of its pixels took the
// colour nearest to its source.
TEST(ColorQuantizer, DithersUpToEightMegapixelsOnly) {
    for (const auto& [height, dithered] : {std::pair{2000, true}, {2001, false}}) {
        SCOPED_TRACE(std::to_string(4000 * height) + " pixels");
        const Bitmap source = makeBitmap(4000, height, false, [](int x, int) {
            return Pixel{std::uint8_t(x * 256 / 4000), 0, 0, 255};
        });
        const auto quantized = ColorQuantizer::quantize(source, 4);
        ASSERT_TRUE(quantized);
        const auto pixels = quantized->pixels();
        const std::size_t rowBytes = 4000 * 4;
        EXPECT_EQ(std::ranges::equal(pixels.subspan(rowBytes), pixels.first(pixels.size() - rowBytes)),
                  !dithered);
        for (std::size_t offset = 0; !dithered && offset < rowBytes; offset += 4) {
            int closest = std::numeric_limits<int>::max();
            for (std::size_t other = 0; other < rowBytes; other += 4)
                closest = std::min(closest,
                                   weightedDistance(source.pixels().data() + offset, pixels.data() + other));
            ASSERT_EQ(weightedDistance(source.pixels().data() + offset, pixels.data() + offset), closest)
                << "at x = " << offset / 4;
        }
    }
}

} // namespace
} // namespace quillmorph
