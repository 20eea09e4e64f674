#include "engines/image/ImageEngine.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/ImageTestSupport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace quillmorph {
namespace {

using testing::TemporaryDirectory;
using vips::VImage;

using Colour = std::array<std::uint8_t, 3>;

// 3 × 2 flat blocks of 16 pixels, all colours far apart: any turn or mirror shows.
constexpr int blockSize = 16;
constexpr std::array<Colour, 6> blockColours{Colour{220, 30, 30}, Colour{30, 200, 40},
                                             Colour{40, 60, 220}, Colour{240, 230, 40},
                                             Colour{30, 30, 30},  Colour{230, 230, 230}};

Colour storedColour(int x, int y) {
    return blockColours[std::size_t(y / blockSize * 3 + x / blockSize)];
}

VImage blocks() {
    VipsImage::start();
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 2 * blockSize; ++y) {
        for (int x = 0; x < 3 * blockSize; ++x) {
            const Colour colour = storedColour(x, y);
            pixels.insert(pixels.end(), colour.begin(), colour.end());
        }
    }
    return VImage::new_from_memory(pixels.data(), pixels.size(), 3 * blockSize, 2 * blockSize, 3,
                                   VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .copy_memory();
}

void saveJPEG(const VImage& image, const std::filesystem::path& file, int orientation = 1) {
    VImage tagged = image.copy();
    tagged.set(VIPS_META_ORIENTATION, orientation);
    tagged.jpegsave(file.c_str(),
                    VImage::option()->set("Q", 95)->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_OFF));
}

// Where upright pixel (x, y) comes from in a stored image of width w and height h.
std::pair<int, int> storedPosition(int orientation, int x, int y, int w, int h) {
    switch (orientation) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {y, h - 1 - x};
    case 7:
        return {w - 1 - y, h - 1 - x};
    case 8:
        return {w - 1 - y, x};
    default:
        return {x, y};
    }
}

TEST(ImageLoad, EveryOrientationLoadsUpright) {
    TemporaryDirectory directory;
    const VImage stored = blocks();
    const int w = stored.width();
    const int h = stored.height();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const auto file = directory / ("turned" + std::to_string(orientation) + ".jpg");
        saveJPEG(stored, file, orientation);

        const bool swaps = orientation >= 5;
        EXPECT_EQ(ImageEngine::pixelSize(file), swaps ? Size(h, w) : Size(w, h));
        const auto image = ImageEngine::loadNormalized(file);
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->width(), swaps ? h : w);
        ASSERT_EQ(image->height(), swaps ? w : h);
        EXPECT_FALSE(image->hasAlpha());

        int mismatches = 0;
        for (int y = 0; y < image->height(); ++y) {
            for (int x = 0; x < image->width(); ++x) {
                const auto [sx, sy] = storedPosition(orientation, x, y, w, h);
                // Block interiors only: JPEG blurs the edges between blocks.
                if (sx % blockSize < 3 || sx % blockSize > 12 || sy % blockSize < 3 || sy % blockSize > 12)
                    continue;
                const Colour expected = storedColour(sx, sy);
                const std::uint8_t* pixel =
                    image->pixels().data() + (std::size_t(y) * image->width() + x) * 4;
                for (int channel = 0; channel < 3; ++channel)
                    mismatches += std::abs(int(pixel[channel]) - int(expected[channel])) > 10;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(ImageLoad, PixelSizeReadsOnlyTheHeader) {
    TemporaryDirectory directory;
    const auto whole = directory / "whole.jpg";
    saveJPEG(testing::photo(600, 400), whole, 6);
    // Cut inside the image data: the header is intact, the pixels are not.
    const std::string bytes = testing::readFile(whole);
    const auto truncated = directory / "truncated.jpg";
    testing::writeFile(truncated, bytes.substr(0, bytes.size() / 2));

    EXPECT_EQ(ImageEngine::pixelSize(truncated), Size(400, 600));
    const auto image = ImageEngine::loadNormalized(truncated);
    ASSERT_FALSE(image.has_value());
    EXPECT_EQ(image.error(), ImageEngineError::unreadable(truncated));
}

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(ImageLoad, RefusesDecompressionBombsBeforeDecoding) {
    TemporaryDirectory directory;
    // Valid, small on disk and over 400 million pixels; the same kind of file under the limit decodes.
    const auto bomb = directory / "bomb.png";
    testing::mustRun({"vips", "black", bomb.string() + "[compression=9]", "20001", "20001"});
    const auto small = directory / "small.png";
    testing::mustRun({"vips", "black", small.string(), "8000", "2000"});

    EXPECT_EQ(ImageEngine::pixelSize(bomb), Size(20001, 20001));
    const long before = peakResidentKilobytes();
    const auto image = ImageEngine::loadNormalized(bomb);
    ASSERT_FALSE(image.has_value());
    EXPECT_EQ(image.error(), ImageEngineError::unreadable(bomb));
    EXPECT_FALSE(ImageEngine::loadNormalized(bomb, FrameSizing::fit(100, 100)).has_value());
    // Decoding 400 million pixels would take gigabytes.
    EXPECT_LT(peakResidentKilobytes() - before, 300'000);

    const auto decoded = ImageEngine::loadNormalized(small, FrameSizing::fit(200, 200));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width(), 200);
    EXPECT_EQ(decoded->height(), 50);
}

TEST(ImageLoad, BadInputIsUnreadable) {
    TemporaryDirectory directory;
    struct BadFile {
        std::string name;
        std::string contents;
    };
    const auto png = directory / "photo.png";
    testing::photo(300, 200).pngsave(png.c_str());
    const std::string pngBytes = testing::readFile(png);

    const std::vector<BadFile> files{
        {"truncated.png", pngBytes.substr(0, pngBytes.size() * 2 / 3)},
        {"empty.jpg", ""},
        {"notes.jpg", "This is not a picture, only text.\n"},
        {"garbage.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(500, '\x5a')},
    };
    for (const BadFile& bad : files) {
        SCOPED_TRACE(bad.name);
        const auto file = directory / bad.name;
        testing::writeFile(file, bad.contents);
        const auto image = ImageEngine::loadNormalized(file);
        ASSERT_FALSE(image.has_value());
        EXPECT_EQ(image.error(), ImageEngineError::unreadable(file));
        EXPECT_FALSE(ImageEngine::loadNormalized(file, FrameSizing::fit(16, 16)).has_value());
        // The source is never touched.
        EXPECT_EQ(testing::readFile(file), bad.contents);
    }
    for (const auto& file : {directory.path(), directory / "missing.jpg"}) {
        SCOPED_TRACE(file.string());
        EXPECT_EQ(ImageEngine::pixelSize(file), std::nullopt);
        EXPECT_EQ(ImageEngine::loadNormalized(file), tl::unexpected(ImageEngineError::unreadable(file)));
    }
}

TEST(ImageLoad, DeepGreyAndCMYKImagesBecome8BitSRGB) {
    TemporaryDirectory directory;
    VipsImage::start();
    const auto flat = [](int bands, std::vector<double> values, VipsBandFormat format,
                         VipsInterpretation interpretation) {
        return (VImage::black(8, 8, VImage::option()->set("bands", bands)) + values)
            .cast(format)
            .copy(VImage::option()->set("interpretation", interpretation));
    };
    struct Row {
        const char* name;
        VImage image;
        std::array<int, 4> expected; // premultiplied: 200 × 128 / 255 ≈ 100.4
        int tolerance;
    };
    const Row rows[] = {
        {"deep.png",
         flat(3, {0x8080, 0x2000, 0xff00}, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_RGB16),
         {0x80, 0x20, 0xff, 255},
         1},
        {"grey.png", flat(1, {77}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W), {77, 77, 77, 255}, 0},
        {"greyalpha.png",
         flat(2, {200, 128}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W),
         {100, 100, 100, 128},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.image.pngsave((directory / row.name).c_str());
        const auto image = ImageEngine::loadNormalized(directory / row.name);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->hasAlpha(), row.expected[3] != 255);
        const std::uint8_t* pixel = image->pixels().data() + (3 * 8 + 5) * 4;
        for (std::size_t channel = 0; channel < 4; ++channel)
            EXPECT_NEAR(pixel[channel], row.expected[channel], row.tolerance) << channel;
    }

    // Full cyan ink prints as a light blue-green.
    const auto cmyk = directory / "cmyk.jpg";
    flat(4, {255, 0, 0, 0}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_CMYK)
        .jpegsave(cmyk.c_str(), VImage::option()->set("Q", 100));
    const auto cmykImage = ImageEngine::loadNormalized(cmyk);
    ASSERT_TRUE(cmykImage.has_value());
    EXPECT_FALSE(cmykImage->hasAlpha());
    const std::uint8_t* cyan = cmykImage->pixels().data() + (4 * 8 + 4) * 4;
    EXPECT_LT(cyan[0], 80);
    EXPECT_GT(cyan[1], 120);
    EXPECT_GT(cyan[2], 180);
}

TEST(ImageLoad, ReadsHEICAVIFWebPAndTIFF) {
    TemporaryDirectory directory;
    const VImage source = testing::photo(96, 64);
    const auto reference = ImageEngine::loadNormalized([&] {
        const auto file = directory / "reference.png";
        source.pngsave(file.c_str());
        return file;
    }());
    ASSERT_TRUE(reference.has_value());

    // In a child process: libx265 keeps allocations for the life of the process that loads it.
    const auto heic = directory / "photo.heic";
    testing::mustRun({"vips", "heifsave", (directory / "reference.png").string(), heic.string(), "--Q", "90",
                      "--compression", "hevc"});
    const auto avif = directory / "photo.avif";
    source.heifsave(avif.c_str(),
                    VImage::option()->set("Q", 90)->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1));
    const auto webp = directory / "photo.webp";
    source.webpsave(webp.c_str(), VImage::option()->set("Q", 90));
    const auto tiff = directory / "photo.tiff";
    source.tiffsave(tiff.c_str());
    // Named by its format, not by its content: the decoder goes by content.
    const auto misnamed = directory / "photo.jpg";
    std::filesystem::copy_file(webp, misnamed);

    for (const auto& file : {heic, avif, webp, tiff, misnamed}) {
        SCOPED_TRACE(file.filename().string());
        const auto image = ImageEngine::loadNormalized(file);
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->width(), 96);
        ASSERT_EQ(image->height(), 64);
        EXPECT_GT(testing::psnr(*image, *reference), 30);
        EXPECT_EQ(ImageEngine::pixelSize(file), Size(96, 64));
    }
}

TEST(ImageLoad, ReducedScaleLoadMatchesTheFullPath) {
    TemporaryDirectory directory;
    const VImage source = testing::photo(1600, 1200);
    const auto jpeg = directory / "photo.jpg";
    saveJPEG(source, jpeg, 6);
    const auto webp = directory / "photo.webp";
    source.webpsave(webp.c_str(), VImage::option()->set("Q", 90));
    const auto png = directory / "photo.png";
    source.pngsave(png.c_str());

    for (const auto& file : {jpeg, webp, png}) {
        for (const FrameSizing& target : {FrameSizing::fit(200, 200), FrameSizing::exact(300, 100),
                                          FrameSizing::fit(1000, 1000), FrameSizing::untouched()}) {
            SCOPED_TRACE(file.filename().string() + " " + std::to_string(target.width) + "x" +
                         std::to_string(target.height));
            const auto full = ImageEngine::loadNormalized(file).and_then(
                [&](const Bitmap& image) { return ImageEngine::resize(image, target); });
            const auto reduced = ImageEngine::loadNormalized(file, target);
            ASSERT_TRUE(full.has_value());
            ASSERT_TRUE(reduced.has_value());
            ASSERT_EQ(reduced->width(), full->width());
            ASSERT_EQ(reduced->height(), full->height());
            EXPECT_GT(testing::psnr(*reduced, *full), 30);
            // Already at its geometry: the resize that follows is free.
            EXPECT_TRUE(ImageEngine::resize(*reduced, target)->isSameImage(*reduced));
        }
    }
}

} // namespace
} // namespace quillmorph
