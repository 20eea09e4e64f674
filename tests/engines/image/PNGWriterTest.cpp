#include "engines/image/PNGWriter.h"

#include "engines/image/ImageEngine.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/CodecTestSupport.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

namespace quillmorph {
namespace {

using testing::makeBitmap;
using testing::Pixel;
using Bytes = std::vector<std::uint8_t>;

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

// Passes pngcheck and decodes through libvips to the image's own straight RGBA.
void expectFaithful(const Bitmap& image, const Bytes& png) {
    EXPECT_TRUE(testing::passesPngcheck(png));
    const auto decoded = testing::decode(png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, image.width());
    EXPECT_EQ(decoded->height, image.height());
    EXPECT_TRUE(decoded->rgba == image.unpremultipliedRGBA()) << "decoded pixels differ";
}

// Colour number i, premultiplied; odd colours are half transparent when `translucent`.
Pixel colour(int i, bool translucent) {
    return {std::uint8_t(i % 128), std::uint8_t(i / 128 * 40), 60,
            std::uint8_t(translucent && i % 2 ? 128 : 255)};
}

// 47 × 33 pixels cycling through `count` colours, which therefore first appear in number order.
Bitmap cyclingImage(int count, bool translucent) {
    return makeBitmap(47, 33, translucent,
                      [&](int x, int y) { return colour((y * 47 + x) % count, translucent); });
}

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
    std::vector<Row> rows{
        // Fully transparent pixels, with and without stray colour, share the first entry.
        {"clear and opaque", diagonals({{200, 100, 50, 255}, {9, 9, 9, 0}, {0, 0, 0, 0}}), 1,
         Bytes{0, 0, 0, 200, 100, 50}, Bytes{0}},
        // Premultiplied white at alphas 255, 200 and 1 is straight white each time: three entries.
        {"colours differing in alpha only",
         diagonals({{255, 255, 255, 255}, {200, 200, 200, 200}, {1, 1, 1, 1}, {0, 0, 0, 255}, {0, 0, 0, 0}}),
         4, Bytes{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0}, Bytes{0, 1, 200}},
    };
    for (bool translucent : {false, true}) {
        for (const auto& [count, depth] :
             {std::pair{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {16, 4}, {17, 8}, {256, 8}}) {
            // The odd colours are the translucent ones, and tRNS holds exactly their alphas.
            rows.push_back(
                {std::to_string(count) + (translucent ? " colours, odd ones translucent" : " colours"),
                 cyclingImage(count, translucent),
                 depth,
                 {},
                 Bytes(translucent ? std::size_t(count / 2) : 0, 128)});
        }
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto png = PNGWriter::indexed(row.image);
        ASSERT_TRUE(png);
        expectFaithful(row.image, *png);
        EXPECT_EQ(dataOf(*png, "IHDR").at(8), row.depth);
        EXPECT_EQ(dataOf(*png, "IHDR").at(9), 3) << "colour type";
        if (!row.palette.empty())
            EXPECT_EQ(dataOf(*png, "PLTE"), row.palette);
        EXPECT_EQ(dataOf(*png, "tRNS"), row.alphas);
    }
}

TEST(PNGWriter, NoPaletteBeyond256ColoursAndNothingWithoutPixels) {
    EXPECT_FALSE(PNGWriter::indexed(Bitmap(0, 7, false, Bytes{})));
    EXPECT_FALSE(PNGWriter::truecolour(Bitmap(0, 7, false, Bytes{})));
    EXPECT_FALSE(PNGWriter::smallest(Bitmap(7, 0, true, Bytes{})));
    // The 257th colour is the very last pixel.
    const Bitmap lastPixelTooMany = makeBitmap(257, 1, false, [](int x, int) {
        return Pixel{std::uint8_t(x), std::uint8_t(x / 256), 0, 255};
    });
    for (const Bitmap& image : {cyclingImage(257, false), cyclingImage(257, true), lastPixelTooMany})
        EXPECT_FALSE(PNGWriter::indexed(image));
}

TEST(PNGWriter, EveryRowGetsItsBestFilter) {
    // Pseudo-random rows make several filters win somewhere; over 300 colours only truecolour remains.
    const auto noisy = [](int count, bool translucent) {
        std::uint32_t state = 12345;
        return makeBitmap(61, 45, translucent, [&](int x, int y) {
            state = state * 1664525 + 1013904223;
            return colour((x * y + x / 3 + int(state >> 28)) % count, translucent);
        });
    };
    const struct {
        const char* name;
        Bitmap image;
        std::optional<Bytes> (*write)(const Bitmap&);
        std::size_t rowBytes;
        int colourType;
    } cases[] = {
        {"palette", noisy(200, true), PNGWriter::indexed, 61, 3},
        {"RGBA", noisy(200, true), PNGWriter::truecolour, 61 * 4, 6},
        {"RGB, the smallest", noisy(300, false), PNGWriter::smallest, 61 * 3, 2},
    };
    for (const auto& [name, image, write, rowBytes, colourType] : cases) {
        SCOPED_TRACE(name);
        const auto png = write(image);
        ASSERT_TRUE(png);
        expectFaithful(image, *png);
        EXPECT_EQ(dataOf(*png, "IHDR").at(9), colourType);
        const Bytes compressed = dataOf(*png, "IDAT");
        Bytes lines(45 * (rowBytes + 1));
        uLongf length = lines.size();
        ASSERT_EQ(uncompress(lines.data(), &length, compressed.data(), compressed.size()), Z_OK);
        std::set<int> filters;
        for (std::size_t row = 0; row < 45; ++row)
            filters.insert(lines[row * (rowBytes + 1)]);
        EXPECT_GE(filters.size(), 3u);
        EXPECT_LE(*filters.rbegin(), 4);
    }
}

// FNV-1a of the decoded straight RGBA.
std::uint64_t fingerprint(const Bytes& rgba) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::uint8_t byte : rgba)
        hash = (hash ^ byte) * 1099511628211ULL;
    return hash;
}

TEST(PNGWriter, EncodedPNGsDecodeAsBeforeAndNeverGrow) {
    const Bitmap photo = VipsImage::render(testing::photo(160, 120, 3).bandjoin_const({255}), false);
    const Bitmap larger = VipsImage::render(testing::photo(320, 240, 4).bandjoin_const({255}), false);
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

} // namespace
} // namespace quillmorph
