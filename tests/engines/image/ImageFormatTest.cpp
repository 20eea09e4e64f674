#include "engines/image/EncoderQuality.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEngineError.h"
#include "engines/image/ImageSettings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

TEST(ImageSettings, DefaultFormatTable) {
    const ImageFormat avif = ImageEngine::supports(ImageFormat::avif) ? ImageFormat::avif : ImageFormat::jpg;
    const std::vector<std::pair<std::string, ImageFormat>> cases{
        {"/photos/IMG_0001.JPG", ImageFormat::jpg}, {"/photos/a.jpeg", ImageFormat::jpg},
        {"/photos/a.Png", ImageFormat::png},        {"/photos/a.apng", ImageFormat::png},
        {"/photos/a.WEBP", ImageFormat::webp},      {"/photos/a.avif", avif},
        {"/photos/scan.TIFF", ImageFormat::png},    {"/photos/anim.GIF", ImageFormat::png},
        {"/photos/phone.HEIC", ImageFormat::jpg},   {"/photos/noextension", ImageFormat::jpg},
        {"/photos/.png", ImageFormat::jpg},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file);
        EXPECT_EQ(ImageSettings::defaultFormat(file), expected);
    }
}

TEST(EncoderQuality, AvifIsCappedBelowLossless) {
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 1.0), 0.99);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.99), 0.99);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.5), 0.5);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::jpg, 1.0), 1.0);
    EXPECT_EQ(EncoderQuality::libraryQ(0.756), 76);
    EXPECT_EQ(EncoderQuality::libraryQ(1.0), 100);
    EXPECT_EQ(EncoderQuality::libraryQ(0.001), 1);
}

TEST(ImageEngine, PaletteSize) {
    const std::vector<std::pair<double, int>> cases{
        {0.0, 19}, {0.05, 19}, {0.1, 22}, {0.5, 76}, {0.89, 256}, {0.949, 256}, {0.95, 0}, {1.0, 0},
    };
    for (const auto& [quality, colours] : cases) {
        SCOPED_TRACE(quality);
        EXPECT_EQ(ImageEngine::paletteSize(quality), colours);
    }
}

} // namespace
} // namespace quillmorph
