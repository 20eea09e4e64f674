#include "engines/image/ColorQuantizer.h"

#include "engines/image/PNGWriter.h"
#include "tests/engines/image/CodecTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <span>
#include <string>

namespace quillmorph {
namespace {

using testing::distinctPixels;
using testing::makeBitmap;
using testing::Pixel;

// 300 colours: a red ramp over a green step, premultiplied at half coverage on odd rows when `translucent`,
// otherwise RGBX with a zero filler byte (which must not read as transparency).
Bitmap gradient(int width, int height, bool translucent) {
    return makeBitmap(width, height, translucent, [&](int x, int y) {
        const int index = (y * width + x) % 300;
        const int alpha = translucent && y % 2 ? 128 : 255;
        return Pixel{std::uint8_t(index % 150 * alpha / 255), std::uint8_t(index / 150 * 100 * alpha / 255),
                     40, std::uint8_t(translucent ? alpha : 0)};
    });
}

Bitmap fewColours(int width, int height, int count) {
    return makeBitmap(width, height, false, [&](int x, int y) {
        return Pixel{std::uint8_t((x + y) % count * 20), 0, 0, 255};
    });
}

TEST(ColorQuantizer, GivesNothingWhenThereIsNothingToReduce) {
    struct Row {
        const char* name;
        Bitmap image;
        int maxColors;
    };
    const Row rows[] = {
        {"a palette of one", gradient(47, 33, false), 1},
        {"a palette of none", gradient(47, 33, false), 0},
        {"an empty image", Bitmap(0, 0, true, std::vector<std::uint8_t>{}), 16},
        {"19 colours, at most 19", fewColours(47, 33, 19), 19},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(ColorQuantizer::quantize(row.image, row.maxColors));
    }
    EXPECT_TRUE(ColorQuantizer::quantize(fewColours(47, 33, 20), 19));
}

TEST(ColorQuantizer, ReducesA300ColourGradient) {
    for (bool translucent : {false, true}) {
        for (int maxColors : {256, 19, 2}) {
            SCOPED_TRACE(std::to_string(maxColors) +
                         (translucent ? " colours, translucent rows" : " colours"));
            const Bitmap image = gradient(47, 33, translucent);
            ASSERT_GT(distinctPixels(image).size(), 256u);
            const auto quantized = ColorQuantizer::quantize(image, maxColors);
            ASSERT_TRUE(quantized);
            EXPECT_EQ(quantized->width(), 47);
            EXPECT_EQ(quantized->height(), 33);
            EXPECT_EQ(quantized->hasAlpha(), translucent);
            EXPECT_LE(distinctPixels(*quantized).size(), std::size_t(maxColors));
            // Premultiplied output: no colour component exceeds its alpha.
            const auto pixels = quantized->pixels();
            for (std::size_t i = 0; i < pixels.size(); i += 4)
                ASSERT_LE(std::max({pixels[i], pixels[i + 1], pixels[i + 2]}), pixels[i + 3]);
            // The palette PNG path takes the result, the same every time.
            EXPECT_TRUE(PNGWriter::indexed(*quantized));
            EXPECT_TRUE(std::ranges::equal(ColorQuantizer::quantize(image, maxColors)->pixels(), pixels));
        }
    }
}

TEST(ColorQuantizer, FullyTransparentPixelsEndClear) {
    // The left third is clear (some of it with stray colour); the rest is a translucent ramp.
    const Bitmap image = makeBitmap(47, 33, true, [](int x, int y) {
        if (x < 16)
            return y % 3 ? Pixel{0, 0, 0, 0} : Pixel{30, 60, 90, 0};
        const int alpha = 64 + (x + y) % 190;
        return Pixel{std::uint8_t(alpha / 2), std::uint8_t(alpha / 3), std::uint8_t(x * alpha / 47),
                     std::uint8_t(alpha)};
    });
    const auto quantized = ColorQuantizer::quantize(image, 16);
    ASSERT_TRUE(quantized);
    const auto pixels = quantized->pixels();
    for (int y = 0; y < 33; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::size_t offset = (std::size_t(y) * 47 + std::size_t(x)) * 4;
            ASSERT_EQ(Pixel({pixels[offset], pixels[offset + 1], pixels[offset + 2], pixels[offset + 3]}),
                      (Pixel{0, 0, 0, 0}))
                << "at " << x << ", " << y;
        }
    }
}

// True when every column holds one colour. The images below vary only across columns, so a column
// broken up means error diffusion moved some pixel off its nearest palette colour.
bool columnsAreUniform(const Bitmap& image) {
    const auto pixels = image.pixels();
    const std::size_t rowBytes = std::size_t(image.width()) * 4;
    for (std::size_t offset = rowBytes; offset < pixels.size(); ++offset) {
        if (pixels[offset] != pixels[offset - rowBytes])
            return false;
    }
    return true;
}

int weightedDistance(std::uint32_t a, std::uint32_t b) {
    int distance = 0;
    for (const auto& [shift, weight] : {std::pair{24, 3}, {16, 6}, {8, 1}, {0, 10}}) {
        const int difference = int(a >> shift & 0xFF) - int(b >> shift & 0xFF);
        distance += weight * difference * difference;
    }
    return distance;
}

std::uint32_t packedAt(std::span<const std::uint8_t> pixels, std::size_t offset) {
    return std::uint32_t(pixels[offset]) << 24 | std::uint32_t(pixels[offset + 1]) << 16 |
           std::uint32_t(pixels[offset + 2]) << 8 | pixels[offset + 3];
}

// Along the first row, each pixel took the colour nearest to its source among the colours of that row,
// which are the whole palette when every column holds one colour.
void expectNearestColours(const Bitmap& source, const Bitmap& quantized) {
    const std::size_t rowBytes = std::size_t(source.width()) * 4;
    std::set<std::uint32_t> palette;
    for (std::size_t offset = 0; offset < rowBytes; offset += 4)
        palette.insert(packedAt(quantized.pixels(), offset));
    for (std::size_t offset = 0; offset < rowBytes; offset += 4) {
        const std::uint32_t original = packedAt(source.pixels(), offset);
        int closest = std::numeric_limits<int>::max();
        for (std::uint32_t colour : palette)
            closest = std::min(closest, weightedDistance(original, colour));
        ASSERT_EQ(weightedDistance(original, packedAt(quantized.pixels(), offset)), closest)
            << "at x = " << offset / 4;
    }
}

// A red ramp across 4000 columns, the same in every row.
Bitmap ramp(int height) {
    return makeBitmap(4000, height, false, [](int x, int) {
        return Pixel{std::uint8_t(x * 256 / 4000), 0, 0, 255};
    });
}

TEST(ColorQuantizer, DithersUpToEightMegapixelsOnly) {
    struct Row {
        int height;
        bool dithered;
    };
    for (const Row row : {Row{2000, true}, Row{2001, false}}) {
        SCOPED_TRACE(std::to_string(4000 * row.height) + " pixels");
        const Bitmap source = ramp(row.height);
        const auto quantized = ColorQuantizer::quantize(source, 4);
        ASSERT_TRUE(quantized);
        EXPECT_EQ(columnsAreUniform(*quantized), !row.dithered);
        if (!row.dithered)
            expectNearestColours(source, *quantized);
    }
}

} // namespace
} // namespace quillmorph
