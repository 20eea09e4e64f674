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
#include <sys/stat.h>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using vips::VImage;

void saveJPEG(const VImage& image, const fs::path& file, int orientation = 1) {
    VImage tagged = image.copy();
    tagged.set(VIPS_META_ORIENTATION, orientation);
    tagged.jpegsave(file.c_str(), VImage::option()->set("Q", 95));
}

// libvips' own turning of the same file is the reference; a wrong turn or mirror costs 20 dB.
TEST(ImageLoad, EveryOrientationLoadsUpright) {
    TemporaryDirectory directory;
    const VImage stored = testing::photo(48, 32);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const auto file = directory / ("turned" + std::to_string(orientation) + ".jpg");
        saveJPEG(stored, file, orientation);
        const VImage reference = VImage::new_from_file(file.c_str()).autorot().bandjoin_const({255});
        const bool swaps = orientation >= 5;
        EXPECT_EQ(ImageEngine::pixelSize(file), swaps ? Size(32, 48) : Size(48, 32));
        const auto image = ImageEngine::loadNormalized(file);
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->width(), reference.width());
        ASSERT_EQ(image->height(), reference.height());
        EXPECT_FALSE(image->hasAlpha());
        EXPECT_GT(testing::psnr(*image, VipsImage::render(reference, false)), 40);
    }
}

TEST(ImageLoad, BadInputIsUnreadableAndLeftAlone) {
    TemporaryDirectory directory;
    const auto whole = directory / "whole.jpg";
    saveJPEG(testing::photo(600, 400), whole, 6);
    const std::string jpeg = testing::readFile(whole);
    testing::mustRun({"convert", whole.string(), "BMP3:" + (directory / "whole.bmp").string()});
    const std::string bmp = testing::readFile(directory / "whole.bmp");
    struct BadFile {
        std::string name;
        std::string contents;
        std::optional<Size> pixelSize; // what the header alone still tells
    };
    const std::vector<BadFile> files{
        // Cut inside the image data: the header is intact, the pixels are not.
        {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2), Size(400, 600)},
        {"truncated.bmp", bmp.substr(0, bmp.size() / 2), {}},
        {"empty.jpg", "", {}},
        {"notes.jpg", "This is not a picture, only text.\n", {}},
        {"garbage.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(500, '\x5a'), {}},
        // Formats libvips reads only through loaders it marks untrusted, or by plain text.
        {"matrix.jpg", "2 2\n1 2\n3 4\n", {}},
        {"drawing.png", R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"/>)", {}},
        {"grey.jpg", "P2\n2 2\n255\n0 64\n128 255\n", {}},
    };
    for (const BadFile& bad : files) {
        SCOPED_TRACE(bad.name);
        const auto file = directory / bad.name;
        testing::writeFile(file, bad.contents);
        EXPECT_EQ(ImageEngine::pixelSize(file), bad.pixelSize);
        EXPECT_EQ(ImageEngine::loadNormalized(file), tl::unexpected(ImageEngineError::unreadable(file)));
        EXPECT_FALSE(ImageEngine::loadNormalized(file, FrameSizing::fit(16, 16)).has_value());
        EXPECT_EQ(testing::readFile(file), bad.contents);
    }
    // Only regular files are opened: a FIFO would block the reader for good.
    const auto fifo = directory / "camera.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& file : {directory.path(), directory / "missing.jpg", fifo}) {
        SCOPED_TRACE(file.string());
        EXPECT_EQ(ImageEngine::pixelSize(file), std::nullopt);
        EXPECT_EQ(ImageEngine::loadNormalized(file), tl::unexpected(ImageEngineError::unreadable(file)));
    }
}

long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(ImageLoad, RefusesDecompressionBombsBeforeDecodingSayingWhy) {
    TemporaryDirectory directory;
    // Valid, small on disk and over 400 million pixels.
    const auto bomb = directory / "bomb.png";
    testing::mustRun({"vips", "black", bomb.string() + "[compression=9]", "20001", "20001"});

    EXPECT_EQ(ImageEngine::pixelSize(bomb), Size(20001, 20001));
    const long before = peakResidentKilobytes();
    for (const auto& image :
         {ImageEngine::loadNormalized(bomb), ImageEngine::loadNormalized(bomb, FrameSizing::fit(100, 100))}) {
        ASSERT_FALSE(image.has_value());
        EXPECT_EQ(describe(image.error()), "bomb.png: File too large");
    }
    // Decoding 400 million pixels would take gigabytes.
    EXPECT_LT(peakResidentKilobytes() - before, 300'000);
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
        // Full cyan ink prints as a light blue-green.
        {"cmyk.jpg",
         flat(4, {255, 0, 0, 0}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_CMYK),
         {0, 180, 240, 255},
         60},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.image.write_to_file((directory / row.name).c_str());
        const auto image = ImageEngine::loadNormalized(directory / row.name);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->hasAlpha(), row.expected[3] != 255);
        const std::uint8_t* pixel = image->pixels().data() + (3 * 8 + 5) * 4;
        for (std::size_t channel = 0; channel < 4; ++channel)
            EXPECT_NEAR(pixel[channel], row.expected[channel], row.tolerance) << channel;
    }
}

TEST(ImageLoad, ReadsEveryPromisedFormatByItsContent) {
    TemporaryDirectory directory;
    const VImage source = testing::photo(96, 64);
    const auto png = directory / "reference.png";
    source.pngsave(png.c_str());
    const auto reference = ImageEngine::loadNormalized(png);
    ASSERT_TRUE(reference.has_value());

    // HEIC in a child process: libx265 keeps allocations for the life of the process that loads it.
    testing::mustRun({"vips", "heifsave", png.string(), (directory / "photo.heic").string(), "--Q", "90",
                      "--compression", "hevc"});
    source.heifsave((directory / "photo.avif").c_str(),
                    VImage::option()->set("Q", 90)->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1));
    source.webpsave((directory / "photo.webp").c_str(), VImage::option()->set("Q", 90));
    source.tiffsave((directory / "photo.tiff").c_str());
    // As paint programs and scanners write them; the 24-bit one named as a JPEG.
    testing::mustRun(
        {"convert", png.string(), "-type", "TrueColor", "BMP3:" + (directory / "bmp.jpg").string()});
    testing::mustRun(
        {"convert", png.string(), "-type", "Palette", "BMP3:" + (directory / "palette.bmp").string()});
    testing::mustRun({"convert", png.string(), (directory / "icon.ico").string()});

    for (const char* name :
         {"photo.heic", "photo.avif", "photo.webp", "photo.tiff", "bmp.jpg", "palette.bmp", "icon.ico"}) {
        SCOPED_TRACE(name);
        const auto file = directory / name;
        const auto image = ImageEngine::loadNormalized(file);
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->width(), 96);
        ASSERT_EQ(image->height(), 64);
        EXPECT_GT(testing::psnr(*image, *reference), 28);
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
        }
    }
}

} // namespace
} // namespace quillmorph
