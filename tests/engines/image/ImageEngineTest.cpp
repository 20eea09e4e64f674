#include "engines/image/ImageEngine.h"

#include "tests/engines/image/ImageTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace quillmorph {
namespace {

using testing::makeBitmap;
using testing::Pixel;

const std::uint8_t* pixelAt(const Bitmap& image, int x, int y) {
    return image.pixels().data() + (std::size_t(y) * image.width() + x) * 4;
}

// Every pixel (x, y) holds x and y, so a crop shows exactly where the canvas sits. Exact crops the
// centre: x = rnd((ow - sw) / 2), the top (oh - sh) - rnd((oh - sh) / 2) in a top-down raster. Where
// nothing changes, the very same image comes back.
TEST(ImageResize, CropsTheCentreRoundingHalvesAwayFromZero) {
    struct Row {
        int width;
        int height;
        FrameSizing sizing;
        int firstColumn; // -1: the image itself
        int firstRow;
    };
    for (const Row& row :
         {Row{40, 30, FrameSizing::exact(30, 30), 5, 0}, Row{43, 30, FrameSizing::exact(30, 30), 7, 0},
          Row{30, 40, FrameSizing::exact(30, 30), 0, 5}, Row{30, 43, FrameSizing::exact(30, 30), 0, 6},
          Row{47, 33, FrameSizing::untouched(), -1, 0}, Row{47, 33, FrameSizing::fit(1000, 1000), -1, 0},
          Row{47, 33, FrameSizing::exact(94, 66), -1, 0}, Row{47, 33, FrameSizing::fit(47, 33), -1, 0}}) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height) + " into " +
                     std::to_string(row.sizing.width) + "x" + std::to_string(row.sizing.height));
        const Bitmap source = makeBitmap(row.width, row.height, false, [](int x, int y) {
            return Pixel{std::uint8_t(x), std::uint8_t(y), 0, 255};
        });
        const auto resized = ImageEngine::resize(source, row.sizing);
        ASSERT_TRUE(resized.has_value());
        EXPECT_EQ(resized->isSameImage(source), row.firstColumn < 0);
        if (row.firstColumn < 0)
            continue;
        ASSERT_EQ(resized->width(), row.sizing.width);
        ASSERT_EQ(resized->height(), row.sizing.height);
        for (int y = 0; y < row.sizing.height; ++y) {
            for (int x = 0; x < row.sizing.width; ++x) {
                ASSERT_EQ(pixelAt(*resized, x, y)[0], row.firstColumn + x);
                ASSERT_EQ(pixelAt(*resized, x, y)[1], row.firstRow + y);
            }
        }
    }
}

TEST(ImageResize, AnEmptyImageCannotBeRendered) {
    EXPECT_EQ(ImageEngine::resize(Bitmap(0, 0, false, testing::Bytes{}), FrameSizing::untouched()),
              tl::unexpected(ImageEngineError::renderFailed()));
}

// Half-covered red on a clear background: a downscale must not bleed colour into the clear part.
TEST(ImageResize, TranslucentImagesStayPremultiplied) {
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
            ASSERT_EQ(Pixel({pixel[0], pixel[1], pixel[2], pixel[3]}), Pixel({pixel[3], 0, 0, pixel[3]}));
        }
    }
    EXPECT_EQ(pixelAt(*resized, 2, 8)[3], 128);
    EXPECT_EQ(pixelAt(*resized, 13, 8)[3], 0);
}

bool contains(const std::vector<std::uint8_t>& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// Lossless rows (minimumPSNR 0) decode to the very pixels; the rest to their straight colours within
// a tolerance, smaller at a lower quality. JPEG drops alpha and keeps the straight colours. WebP is
// lossless from 0.99 up.
TEST(ImageEncode, EncodedFilesDecodeToTheirImage) {
    const Bitmap photo = testing::photoBitmap(160, 120);
    const Bitmap translucent = makeBitmap(160, 120, true, [](int x, int y) {
        const auto alpha = std::uint8_t(std::max(x, y) + 90);
        return Pixel{std::uint8_t(alpha * (y % 7) / 6), std::uint8_t(alpha / 2), alpha, alpha};
    });
    struct Row {
        ImageFormat format;
        double quality;
        const Bitmap& image;
        double minimumPSNR;
        std::string_view magic;
        std::size_t magicOffset;
    };
    for (const Row& row : {Row{ImageFormat::png, 1.0, photo, 0, "\x89PNG", 0},
                           Row{ImageFormat::png, 0.95, translucent, 0, "\x89PNG", 0},
                           Row{ImageFormat::webp, 1.0, translucent, 0, "WEBPVP8L", 8},
                           Row{ImageFormat::webp, 0.99, photo, 0, "WEBPVP8L", 8},
                           Row{ImageFormat::webp, 0.989, photo, 32, "WEBPVP8 ", 8},
                           Row{ImageFormat::jpg, 0.9, photo, 32, "\xff\xd8\xff", 0},
                           Row{ImageFormat::jpg, 0.9, translucent, 32, "\xff\xd8\xff", 0},
                           Row{ImageFormat::avif, 0.9, photo, 32, "ftypavif", 4},
                           Row{ImageFormat::avif, 0.9, translucent, 32, "ftypavif", 4}}) {
        SCOPED_TRACE(std::string(label(row.format)) + " " + std::to_string(row.quality) +
                     (row.image.hasAlpha() ? " alpha" : ""));
        const auto encoded = ImageEngine::encode(row.image, row.format, row.quality);
        ASSERT_TRUE(encoded.has_value());
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(encoded->data()), encoded->size())
                      .substr(row.magicOffset, row.magic.size()),
                  row.magic);
        // No metadata: neither EXIF nor a colour profile.
        EXPECT_FALSE(contains(*encoded, "Exif") || contains(*encoded, "ICC_PROFILE"));
        const auto decoded = testing::decode(*encoded);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_EQ(decoded->width, 160);
        ASSERT_EQ(decoded->height, 120);
        const auto straight = row.image.unpremultipliedRGBA();
        if (row.minimumPSNR == 0) {
            EXPECT_EQ(decoded->rgba, straight);
            EXPECT_TRUE(row.format != ImageFormat::png || testing::passesPngcheck(*encoded));
            continue;
        }
        EXPECT_GT(testing::psnr(decoded->rgba, *straight), row.minimumPSNR);
        for (std::size_t alpha = 3; alpha < straight->size(); alpha += 4)
            ASSERT_NEAR(decoded->rgba[alpha], row.format == ImageFormat::jpg ? 255 : (*straight)[alpha], 12);
        EXPECT_LT(ImageEngine::encode(row.image, row.format, 0.3)->size(), encoded->size());
    }
    for (const ImageFormat format : allCases<ImageFormat>()) {
        SCOPED_TRACE(label(format));
        for (const double quality : {0.5, 1.0})
            EXPECT_EQ(ImageEngine::encode(Bitmap(0, 0, false, testing::Bytes{}), format, quality),
                      tl::unexpected(ImageEngineError::encodingFailed(format)));
    }
}

} // namespace
} // namespace quillmorph
