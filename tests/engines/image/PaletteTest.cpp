#include "engines/image/ColorQuantizer.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/PNGWriter.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace quillmorph {
namespace {

using testing::Bytes;
using testing::distinctPixels;
using testing::makeBitmap;
using testing::Pixel;

// The data of the file's first chunk of `type`, empty when there is none; pngcheck checks the layout.
Bytes dataOf(const Bytes& png, const std::string& type) {
    for (std::size_t offset = 8; offset + 12 <= png.size();) {
        const std::size_t length = std::size_t(png[offset]) << 24 | std::size_t(png[offset + 1]) << 16 |
                                   std::size_t(png[offset + 2]) << 8 | png[offset + 3];
        if (std::string(&png[offset + 4], &png[offset + 8]) == type)
            return Bytes(&png[offset + 8], &png[offset + 8] + length);
        offset += 12 + length;
    }
    return {};
}

// 47 × 33 pixels cycling through `count` colours, which therefore first appear in number order; odd
// colours are half transparent when `translucent`, otherwise RGBX with a zero filler byte (which must
// not read as transparency).
Bitmap cyclingImage(int count, bool translucent) {
    return makeBitmap(47, 33, translucent, [&](int x, int y) {
        const int i = (y * 47 + x) % count;
        return Pixel{std::uint8_t(i % 128), std::uint8_t(i / 128 * 40), 60,
                     std::uint8_t(translucent ? (i % 2 ? 128 : 255) : 0)};
    });
}

// Depth 0: no palette file at all.
TEST(PNGWriter, PaletteInOrderOfOpacityThenAppearanceAtTheSmallestDepth) {
    struct Row {
        std::string name;
        Bitmap image;
        int depth;
        Bytes palette; // empty: not checked
        Bytes alphas;
    };
    // Colour (x + y) mod n of the list, premultiplied.
    const auto diagonals = [](std::vector<Pixel> colours) {
        return makeBitmap(5, 4, true,
                          [=](int x, int y) { return colours[std::size_t(x + y) % colours.size()]; });
    };
    const Bitmap lastTooMany = makeBitmap(257, 1, false, [](int x, int) {
        return Pixel{std::uint8_t(x), std::uint8_t(x / 256), 0, 255};
    });
    std::vector<Row> rows{
        // Fully transparent pixels, with and without stray colour, share the first entry.
        {"clear and opaque", diagonals({{200, 100, 50, 255}, {9, 9, 9, 0}, {0, 0, 0, 0}}), 1,
         Bytes{0, 0, 0, 200, 100, 50}, Bytes{0}},
        // Premultiplied white at alphas 255, 200 and 1 is straight white each time: three entries.
        {"colours differing in alpha only",
         diagonals({{255, 255, 255, 255}, {200, 200, 200, 200}, {1, 1, 1, 1}, {0, 0, 0, 255}, {0, 0, 0, 0}}),
         4, Bytes{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}, Bytes{0, 1, 200}},
        {"the 257th colour is the very last pixel", lastTooMany, 0, {}, {}},
        {"no pixels", Bitmap(0, 7, false, Bytes{}), 0, {}, {}},
    };
    for (bool translucent : {false, true}) {
        for (const auto& [count, depth] :
             {std::pair{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {16, 4}, {17, 8}, {256, 8}, {257, 0}}) {
            // The odd colours are the translucent ones, and tRNS holds exactly their alphas.
            const Bytes alphas(translucent ? std::size_t(count / 2) : 0, 128);
            const std::string name =
                std::to_string(count) + (translucent ? " colours, odd ones translucent" : "");
            rows.push_back({name, cyclingImage(count, translucent), depth, {}, alphas});
        }
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto png = PNGWriter::indexed(row.image);
        ASSERT_EQ(png.has_value(), row.depth > 0);
        if (!png)
            continue;
        EXPECT_TRUE(testing::passesPngcheck(*png));
        const auto decoded = testing::decode(*png);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(decoded->rgba == row.image.unpremultipliedRGBA()) << "decoded pixels differ";
        EXPECT_EQ(dataOf(*png, "IHDR").at(8), row.depth);
        EXPECT_EQ(dataOf(*png, "IHDR").at(9), 3) << "colour type";
        EXPECT_TRUE(row.palette.empty() || dataOf(*png, "PLTE") == row.palette);
        EXPECT_EQ(dataOf(*png, "tRNS"), row.alphas);
    }
    EXPECT_FALSE(PNGWriter::truecolour(Bitmap(0, 7, false, Bytes{})));
    // Beyond 256 colours truecolour remains, exact as well.
    const auto truecolour = PNGWriter::truecolour(cyclingImage(257, true));
    ASSERT_TRUE(truecolour && testing::passesPngcheck(*truecolour));
    EXPECT_EQ(testing::decode(*truecolour)->rgba, cyclingImage(257, true).unpremultipliedRGBA());
}

// FNV-1a of the decoded straight RGBA.
std::uint64_t fingerprint(const Bytes& rgba) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::uint8_t byte : rgba)
        hash = (hash ^ byte) * 1099511628211ULL;
    return hash;
}

// Truecolour with every row filter, palette, and colour-reduced files: the smallest is kept.
TEST(PNGWriter, EncodedPNGsDecodeAsBeforeAndNeverGrow) {
    const Bitmap photo = testing::photoBitmap(160, 120, 3);
    const Bitmap larger = testing::photoBitmap(320, 240, 4);
    const Bitmap translucent = makeBitmap(96, 64, true, [](int x, int y) {
        const auto alpha = std::uint8_t(x * 2 + y);
        return Pixel{std::uint8_t(alpha * (y % 7) / 6), std::uint8_t(alpha / 2), std::uint8_t(alpha * x / 96),
                     alpha};
    });
    const struct {
        const char* name;
        const Bitmap& image;
        double quality;
        std::uint64_t decoded;
        std::size_t bytes; // what the encoder wrote before it was made faster
    } cases[] = {
        {"photo at 1.0", photo, 1.0, 9303304756234820856ULL, 26791},
        {"photo at 0.75", photo, 0.75, 1907281242156038574ULL, 11299},
        {"photo at 0.05", photo, 0.05, 7188131921289980737ULL, 6445},
        {"larger photo at 0.5", larger, 0.5, 6008929935701418776ULL, 36607},
        {"translucent at 1.0", translucent, 1.0, 12021183899678700774ULL, 4131},
        {"translucent at 0.5", translucent, 0.5, 12871335400583277911ULL, 2217},
    };
    for (const auto& [name, image, quality, decoded, bytes] : cases) {
        SCOPED_TRACE(name);
        const auto png = ImageEngine::encode(image, ImageFormat::png, quality);
        ASSERT_TRUE(png);
        const auto pixels = testing::decode(*png);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(fingerprint(pixels->rgba), decoded);
        EXPECT_LE(png->size(), bytes);
    }
}

// Nothing when there is nothing to reduce: a palette of one or none, no pixels, or few enough colours.
TEST(ColorQuantizer, ReducesToPremultipliedPaletteColoursAndClearStaysClear) {
    for (const auto& [image, maxColors] : {std::pair{cyclingImage(300, false), 1},
                                           {cyclingImage(300, false), 0},
                                           {Bitmap(0, 0, true, testing::Bytes{}), 16},
                                           {cyclingImage(19, false), 19}})
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
    } rows[] = {{"300 opaque colours", cyclingImage(300, false), 0},
                {"300 colours, odd ones translucent", cyclingImage(300, true), 0},
                {"clear left third", clearLeft, 16},
                {"20 colours", cyclingImage(20, false), 0}};
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
