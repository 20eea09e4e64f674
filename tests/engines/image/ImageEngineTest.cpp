#include "engines/image/ImageEngine.h"

#include "engines/image/VipsImage.h"
#include "tests/engines/image/CodecTestSupport.h"
#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace quillmorph {
namespace {

using testing::makeBitmap;
using testing::Pixel;

Bitmap photoBitmap(int width, int height) {
    const vips::VImage photo = testing::photo(width, height);
    return VipsImage::render(photo.bandjoin_const({255}), false);
}

const std::uint8_t* pixelAt(const Bitmap& image, int x, int y) {
    return image.pixels().data() + (std::size_t(y) * image.width() + x) * 4;
}

Bitmap fromDecoded(const testing::DecodedImage& decoded) {
    return Bitmap(decoded.width, decoded.height, false, decoded.rgba);
}

bool contains(const std::vector<std::uint8_t>& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST(ImageResize, UnchangedGeometryReturnsTheSameImage) {
    const Bitmap image = photoBitmap(47, 33);
    for (const FrameSizing& sizing :
         {FrameSizing::untouched(), FrameSizing::fit(47, 33), FrameSizing::fit(1000, 1000),
          FrameSizing::exact(47, 33), FrameSizing::exact(94, 66)}) {
        SCOPED_TRACE(std::to_string(sizing.width) + "x" + std::to_string(sizing.height));
        const auto resized = ImageEngine::resize(image, sizing);
        ASSERT_TRUE(resized.has_value());
        EXPECT_TRUE(resized->isSameImage(image));
    }
    EXPECT_FALSE(ImageEngine::resize(image, FrameSizing::fit(20, 20))->isSameImage(image));
}

// Every pixel (x, y) holds x and y, so a crop shows exactly where the canvas sits.
Bitmap coordinates(int width, int height) {
    return makeBitmap(width, height, false, [](int x, int y) {
        return Pixel{std::uint8_t(x), std::uint8_t(y), 0, 255};
    });
}

TEST(ImageResize, ExactCropsTheCentreRoundingHalvesAwayFromZero) {
    struct CropCase {
        int width;
        int height;
        int box;
        int firstColumn;
        int firstRow;
    };
    // x = rnd((ow - sw) / 2); the top is (oh - sh) - rnd((oh - sh) / 2) in a top-down raster.
    for (const CropCase& row : {CropCase{40, 30, 30, 5, 0}, CropCase{43, 30, 30, 7, 0},
                                CropCase{30, 40, 30, 0, 5}, CropCase{30, 43, 30, 0, 6}}) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        const auto cropped =
            ImageEngine::resize(coordinates(row.width, row.height), FrameSizing::exact(row.box, row.box));
        ASSERT_TRUE(cropped.has_value());
        ASSERT_EQ(cropped->width(), row.box);
        ASSERT_EQ(cropped->height(), row.box);
        for (int y = 0; y < row.box; ++y) {
            for (int x = 0; x < row.box; ++x) {
                ASSERT_EQ(pixelAt(*cropped, x, y)[0], row.firstColumn + x);
                ASSERT_EQ(pixelAt(*cropped, x, y)[1], row.firstRow + y);
            }
        }
    }
}

TEST(ImageResize, TranslucentImagesStayPremultiplied) {
    // Half-covered red on a clear background: a downscale must not bleed colour into the clear part.
    const Bitmap image = makeBitmap(64, 64, true, [](int x, int) {
        return x < 32 ? Pixel{128, 0, 0, 128} : Pixel{0, 0, 0, 0};
    });
    const auto resized = ImageEngine::resize(image, FrameSizing::fit(16, 16));
    ASSERT_TRUE(resized.has_value());
    EXPECT_TRUE(resized->hasAlpha());
    ASSERT_EQ(resized->width(), 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t* pixel = pixelAt(*resized, x, y);
            ASSERT_LE(pixel[0], pixel[3]);
            ASSERT_EQ(pixel[1], 0);
        }
    }
    EXPECT_EQ((std::array{pixelAt(*resized, 2, 8)[0], pixelAt(*resized, 2, 8)[3]}),
              (std::array<std::uint8_t, 2>{128, 128}));
    EXPECT_EQ(pixelAt(*resized, 13, 8)[3], 0);
}

TEST(ImageEncode, PNGAtFullQualityIsLossless) {
    const Bitmap opaque = photoBitmap(47, 33);
    const Bitmap translucent = makeBitmap(47, 33, true, [](int x, int y) {
        const auto alpha = std::uint8_t(x * 5 + y);
        return Pixel{std::uint8_t(alpha * (y % 7) / 6), std::uint8_t(alpha / 2), alpha, alpha};
    });
    for (const Bitmap& image : {opaque, translucent}) {
        for (const double quality : {0.95, 1.0}) {
            SCOPED_TRACE(std::string(image.hasAlpha() ? "alpha " : "opaque ") + std::to_string(quality));
            const auto png = ImageEngine::encode(image, ImageFormat::png, quality);
            ASSERT_TRUE(png.has_value());
            EXPECT_TRUE(testing::passesPngcheck(*png));
            const auto decoded = testing::decode(*png);
            ASSERT_TRUE(decoded.has_value());
            EXPECT_EQ(decoded->rgba, image.unpremultipliedRGBA());
        }
    }
}

TEST(ImageEncode, PNGKeepsTheSmallestCandidate) {
    // Four colours: the exact palette file beats a truecolour one by far.
    const Bitmap flat = makeBitmap(64, 64, false, [](int x, int y) {
        return Pixel{std::uint8_t(x < 32 ? 200 : 10), std::uint8_t(y < 32 ? 100 : 50), 30, 255};
    });
    const auto palette = ImageEngine::encode(flat, ImageFormat::png, 1.0);
    ASSERT_TRUE(palette.has_value());
    EXPECT_EQ((*palette)[25], 3) << "colour type";

    // Below 0.95 a photo is reduced to at most paletteSize colours.
    const Bitmap photo = photoBitmap(120, 90);
    const auto reduced = ImageEngine::encode(photo, ImageFormat::png, 0.05);
    const auto lossless = ImageEngine::encode(photo, ImageFormat::png, 1.0);
    ASSERT_TRUE(reduced.has_value());
    ASSERT_TRUE(lossless.has_value());
    EXPECT_LT(reduced->size(), lossless->size());
    const auto decoded = testing::decode(*reduced);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_LE(testing::distinctPixels(fromDecoded(*decoded)).size(), 19u);
}

TEST(ImageEncode, LossyFormatsRoundTrip) {
    const Bitmap photo = photoBitmap(160, 120);
    struct LossyCase {
        ImageFormat format;
        double quality;
        double minimumPSNR;
        std::string_view magic;
        std::size_t magicOffset;
    };
    for (const LossyCase& row : {LossyCase{ImageFormat::jpg, 0.9, 32, "\xff\xd8\xff", 0},
                                 LossyCase{ImageFormat::avif, 0.9, 32, "ftypavif", 4},
                                 LossyCase{ImageFormat::webp, 0.9, 32, "WEBP", 8},
                                 LossyCase{ImageFormat::webp, 1.0, 1000, "WEBP", 8}}) {
        SCOPED_TRACE(std::string(label(row.format)) + " " + std::to_string(row.quality));
        const auto encoded = ImageEngine::encode(photo, row.format, row.quality);
        ASSERT_TRUE(encoded.has_value());
        ASSERT_GT(encoded->size(), row.magicOffset + row.magic.size());
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(encoded->data()) + row.magicOffset,
                                   row.magic.size()),
                  row.magic);
        // No metadata: neither EXIF nor a colour profile.
        EXPECT_FALSE(contains(*encoded, "Exif"));
        EXPECT_FALSE(contains(*encoded, "ICC_PROFILE"));
        const auto decoded = testing::decode(*encoded);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_EQ(decoded->width, 160);
        ASSERT_EQ(decoded->height, 120);
        EXPECT_GT(testing::psnr(fromDecoded(*decoded), photo), row.minimumPSNR);
        EXPECT_LT(ImageEngine::encode(photo, row.format, 0.3)->size(), encoded->size());
    }
}

TEST(ImageEncode, JPEGOfATranslucentImageKeepsItsStraightColours) {
    const Bitmap translucent = makeBitmap(32, 32, true, [](int, int) { return Pixel{100, 0, 0, 100}; });
    const auto jpeg = ImageEngine::encode(translucent, ImageFormat::jpg, 0.9);
    ASSERT_TRUE(jpeg.has_value());
    const auto decoded = testing::decode(*jpeg);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_NEAR(decoded->rgba[0], 255, 3);
    EXPECT_NEAR(decoded->rgba[1], 0, 3);
    EXPECT_EQ(decoded->rgba[3], 255);

    const auto avif = ImageEngine::encode(translucent, ImageFormat::avif, 0.9);
    ASSERT_TRUE(avif.has_value());
    const auto decodedAVIF = testing::decode(*avif);
    ASSERT_TRUE(decodedAVIF.has_value());
    EXPECT_NEAR(decodedAVIF->rgba[3], 100, 3);
}

} // namespace
} // namespace quillmorph
