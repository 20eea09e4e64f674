#include "common/Localization.h"
#include "engines/image/EncoderQuality.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEngineError.h"
#include "engines/image/ImageSettings.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

TEST(ImageFormat, RawValuesLabelsAndPhrases) {
    EXPECT_EQ(fromString<ImageFormat>("jpg"), ImageFormat::jpg);
    EXPECT_EQ(fromString<ImageFormat>("jpeg"), std::nullopt);
    EXPECT_EQ(fromString<ImageFormat>("WEBP"), std::nullopt);
    const std::vector<std::string> labels{"JPG", "PNG", "WebP", "AVIF"};
    for (const ImageFormat format : allCases<ImageFormat>()) {
        SCOPED_TRACE(std::string(toString(format)));
        EXPECT_EQ(label(format), labels[std::size_t(format)]);
        EXPECT_EQ(toString(detailPhrase(format)), "format." + std::string(toString(format)) + ".detail");
    }
}

TEST(ImageSettings, DefaultFormatTable) {
    const ImageFormat avif = ImageEngine::supports(ImageFormat::avif) ? ImageFormat::avif : ImageFormat::jpg;
    const std::vector<std::pair<std::string, ImageFormat>> cases{
        {"/photos/IMG_0001.JPG", ImageFormat::jpg}, {"/photos/a.jpeg", ImageFormat::jpg},
        {"/photos/a.png", ImageFormat::png},        {"/photos/a.Png", ImageFormat::png},
        {"/photos/a.apng", ImageFormat::png},       {"/photos/a.webp", ImageFormat::webp},
        {"/photos/a.WEBP", ImageFormat::webp},      {"/photos/a.avif", avif},
        {"/photos/scan.TIFF", ImageFormat::png},    {"/photos/scan.tif", ImageFormat::png},
        {"/photos/raw.dng", ImageFormat::png},      {"/photos/old.bmp", ImageFormat::png},
        {"/photos/anim.GIF", ImageFormat::png},     {"/photos/phone.HEIC", ImageFormat::jpg},
        {"/photos/phone.heif", ImageFormat::jpg},   {"/photos/new.jxl", ImageFormat::jpg},
        {"/photos/noextension", ImageFormat::jpg},  {"/photos/notes.txt", ImageFormat::jpg},
        {"/photos/.png", ImageFormat::jpg},         {"/photos/archive.tar.gz", ImageFormat::jpg},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file);
        EXPECT_EQ(ImageSettings::defaultFormat(file), expected);
    }
}

TEST(ImageSettings, EqualityComparesQualityBitForBit) {
    const ImageSettings base{.format = ImageFormat::png, .sizing = FrameSizing::fit(10, 10), .quality = 0.5};
    EXPECT_EQ(base, (ImageSettings{
                        .format = ImageFormat::png, .sizing = FrameSizing::fit(10, 10), .quality = 0.5}));
    EXPECT_NE(base, (ImageSettings{
                        .format = ImageFormat::jpg, .sizing = FrameSizing::fit(10, 10), .quality = 0.5}));
    EXPECT_NE(base, (ImageSettings{
                        .format = ImageFormat::png, .sizing = FrameSizing::exact(10, 10), .quality = 0.5}));
    EXPECT_NE(base, (ImageSettings{.format = ImageFormat::png,
                                   .sizing = FrameSizing::fit(10, 10),
                                   .quality = std::nextafter(0.5, 1.0)}));
    const ImageSettings zero{.quality = 0.0};
    EXPECT_NE(zero, (ImageSettings{.quality = -0.0}));
    EXPECT_EQ(ImageSettings{}, (ImageSettings{.format = ImageFormat::jpg, .quality = 0.75}));
}

TEST(EncoderQuality, AvifIsCappedBelowLossless) {
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.999), 0.99);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 1.0), 0.99);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.99), 0.99);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.5), 0.5);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::jpg, 0.999), 0.999);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::jpg, 1.0), 1.0);
    EXPECT_EQ(EncoderQuality::libraryQ(0.99), 99);
    EXPECT_EQ(EncoderQuality::libraryQ(0.756), 76);
    EXPECT_EQ(EncoderQuality::libraryQ(1.0), 100);
    EXPECT_EQ(EncoderQuality::libraryQ(0.001), 1);
}

TEST(ImageEngine, PaletteSize) {
    const std::vector<std::pair<double, int>> cases{
        {0.0, 19},   {0.05, 19},  {0.1, 22},    {0.25, 35}, {0.5, 76}, {0.75, 166},
        {0.85, 227}, {0.89, 256}, {0.949, 256}, {0.95, 0},  {1.0, 0},
    };
    for (const auto& [quality, colours] : cases) {
        SCOPED_TRACE(quality);
        EXPECT_EQ(ImageEngine::paletteSize(quality), colours);
    }
}

TEST(ImageEngine, SupportsTheFormatsThisSystemWrites) {
    EXPECT_TRUE(ImageEngine::supports(ImageFormat::webp));
    EXPECT_TRUE(ImageEngine::supports(ImageFormat::jpg));
    EXPECT_TRUE(ImageEngine::supports(ImageFormat::png));
    // Debian's libheif carries the AV1 encoder.
    EXPECT_TRUE(ImageEngine::supports(ImageFormat::avif));
}

TEST(ImageEngineError, DescribesWithTheCataloguePhrase) {
    Localization::setLanguage("en");
    EXPECT_EQ(describe(ImageEngineError::unreadable("/photos/holiday.heic")),
              "Could not read “holiday.heic” as an image.");
    EXPECT_EQ(describe(ImageEngineError::unsupportedOutput(ImageFormat::avif)),
              "AVIF images can’t be written on this system.");
    EXPECT_EQ(describe(ImageEngineError::encodingFailed(ImageFormat::webp)),
              "Could not encode the image as WebP.");
    EXPECT_EQ(describe(ImageEngineError::renderFailed()), "Could not process the image.");
}

} // namespace
} // namespace quillmorph
