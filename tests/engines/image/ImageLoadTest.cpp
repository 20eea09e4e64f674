#include "engines/image/ImageEngine.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/ImageTestSupport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using vips::VImage;

void saveJPEG(const VImage& image, const fs::path& file, int orientation) {
    VImage tagged = image.copy();
    tagged.set(VIPS_META_ORIENTATION, orientation);
    tagged.jpegsave(file.c_str(), VImage::option()->set("Q", 95));
}

// The sources, written once: a 96 × 64 photo in every promised format and turned every way, and a
// 1600 × 1200 one that decoders can shrink while loading.
class ImageLoad : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        files = std::make_unique<TemporaryDirectory>();
        const VImage small = testing::photo(96, 64);
        const std::string png = (*files / "photo.png").string();
        small.pngsave(png.c_str());
        for (int orientation = 1; orientation <= 8; ++orientation)
            saveJPEG(small, *files / ("turned" + std::to_string(orientation) + ".jpg"), orientation);
        // HEIC in a child process: libx265 keeps allocations for the life of the process that loads it.
        testing::mustRun({"vips", "heifsave", png, (*files / "photo.heic").string(), "--Q", "90"});
        small.heifsave((*files / "photo.avif").c_str(),
                       VImage::option()->set("Q", 90)->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1));
        small.webpsave((*files / "photo.webp").c_str(), VImage::option()->set("Q", 90));
        small.tiffsave((*files / "photo.tiff").c_str());
        // As paint programs and scanners write them; the 24-bit one named as a JPEG.
        testing::mustRun({"convert", png, "-type", "TrueColor", "BMP3:" + (*files / "bmp.jpg").string()});
        testing::mustRun({"convert", png, "-type", "Palette", "BMP3:" + (*files / "palette.bmp").string()});
        testing::mustRun({"convert", png, (*files / "icon.ico").string()});
        const VImage large = testing::photo(1600, 1200);
        saveJPEG(large, *files / "large.jpg", 6);
        large.webpsave((*files / "large.webp").c_str(), VImage::option()->set("Q", 90));
        large.pngsave((*files / "large.png").c_str());
    }
    static void TearDownTestSuite() { files.reset(); }

    static Bitmap load(const fs::path& file) {
        auto image = ImageEngine::loadNormalized(file);
        return image ? *image : Bitmap(0, 0, false, testing::Bytes{});
    }

    static inline std::unique_ptr<TemporaryDirectory> files;
};

// libvips' own turning of the same file is the reference; a wrong turn or mirror costs 20 dB.
TEST_F(ImageLoad, EveryOrientationLoadsUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const fs::path file = *files / ("turned" + std::to_string(orientation) + ".jpg");
        const VImage reference = VImage::new_from_file(file.c_str()).autorot().bandjoin_const({255});
        EXPECT_EQ(ImageEngine::pixelSize(file), orientation >= 5 ? Size(64, 96) : Size(96, 64));
        const Bitmap image = load(file);
        ASSERT_EQ(image.width(), reference.width());
        ASSERT_EQ(image.height(), reference.height());
        EXPECT_FALSE(image.hasAlpha());
        EXPECT_GT(testing::psnr(image.pixels(), VipsImage::render(reference, false).pixels()), 40);
    }
}

TEST_F(ImageLoad, ReadsEveryPromisedFormatByItsContent) {
    const Bitmap reference = load(*files / "photo.png");
    for (const char* name :
         {"photo.heic", "photo.avif", "photo.webp", "photo.tiff", "bmp.jpg", "palette.bmp", "icon.ico"}) {
        SCOPED_TRACE(name);
        const Bitmap image = load(*files / name);
        ASSERT_EQ(image.width(), 96);
        ASSERT_EQ(image.height(), 64);
        EXPECT_GT(testing::psnr(image.pixels(), reference.pixels()), 28);
        EXPECT_EQ(ImageEngine::pixelSize(*files / name), Size(96, 64));
    }
}

TEST_F(ImageLoad, ReducedScaleLoadMatchesTheFullPath) {
    for (const char* name : {"large.jpg", "large.webp", "large.png"}) {
        for (const FrameSizing& target : {FrameSizing::fit(200, 200), FrameSizing::exact(300, 100),
                                          FrameSizing::fit(1000, 1000), FrameSizing::untouched()}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(target.width) + "x" +
                         std::to_string(target.height));
            const auto full = ImageEngine::resize(load(*files / name), target);
            const auto reduced = ImageEngine::loadNormalized(*files / name, target);
            ASSERT_TRUE(full && reduced);
            ASSERT_EQ(reduced->width(), full->width());
            ASSERT_EQ(reduced->height(), full->height());
            EXPECT_GT(testing::psnr(reduced->pixels(), full->pixels()), 30);
        }
    }
}

TEST_F(ImageLoad, BadInputIsUnreadableAndLeftAlone) {
    TemporaryDirectory directory;
    const std::string jpeg = testing::readFile(*files / "large.jpg");
    const std::string bmp = testing::readFile(*files / "bmp.jpg");
    struct BadFile {
        std::string name;
        std::string contents;
        std::optional<Size> pixelSize; // what the header alone still tells
    };
    const BadFile bad[] = {
        // Cut inside the image data: the header is intact, the pixels are not.
        {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2), Size(1200, 1600)},
        {"truncated.bmp", bmp.substr(0, bmp.size() / 2), {}},
        {"empty.jpg", "", {}},
        {"notes.jpg", "This is not a picture, only text.\n", {}},
        {"garbage.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(500, '\x5a'), {}},
        // Formats libvips reads only through loaders it marks untrusted, or by plain text.
        {"matrix.jpg", "2 2\n1 2\n3 4\n", {}},
        {"drawing.png", R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"/>)", {}},
        {"grey.jpg", "P2\n2 2\n255\n0 64\n128 255\n", {}},
    };
    for (const auto& [name, contents, pixelSize] : bad) {
        SCOPED_TRACE(name);
        const fs::path file = directory / name;
        testing::writeFile(file, contents);
        EXPECT_EQ(ImageEngine::pixelSize(file), pixelSize);
        EXPECT_EQ(ImageEngine::loadNormalized(file), tl::unexpected(ImageEngineError::unreadable(file)));
        EXPECT_FALSE(ImageEngine::loadNormalized(file, FrameSizing::fit(16, 16)).has_value());
        EXPECT_EQ(testing::readFile(file), contents);
    }
    // Only regular files are opened: a FIFO would block the reader for good.
    const fs::path fifo = directory / "camera.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& file : {directory.path(), directory / "missing.jpg", fifo}) {
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

TEST_F(ImageLoad, RefusesDecompressionBombsBeforeDecodingSayingWhy) {
    // Valid, small on disk and over 400 million pixels.
    const fs::path bomb = *files / "bomb.png";
    testing::mustRun({"vips", "black", bomb.string() + "[compression=9]", "20001", "20001"});
    EXPECT_EQ(ImageEngine::pixelSize(bomb), Size(20001, 20001));
    const long before = peakResidentKilobytes();
    for (const auto& image :
         {ImageEngine::loadNormalized(bomb), ImageEngine::loadNormalized(bomb, FrameSizing::fit(100, 100))})
        EXPECT_EQ(image ? "decoded" : describe(image.error()), "bomb.png: File too large");
    // Decoding 400 million pixels would take gigabytes.
    EXPECT_LT(peakResidentKilobytes() - before, 300'000);
}

TEST_F(ImageLoad, DeepGreyAndCMYKImagesBecome8BitSRGB) {
    const auto flat = [](std::vector<double> values, VipsInterpretation meaning) {
        return (VImage::black(8, 8, VImage::option()->set("bands", int(values.size()))) + values)
            .cast(meaning == VIPS_INTERPRETATION_RGB16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR)
            .copy(VImage::option()->set("interpretation", meaning));
    };
    const struct {
        const char* name;
        VImage image;
        testing::Pixel expected; // premultiplied: 200 × 128 / 255 ≈ 100.4
        int tolerance;
    } rows[] = {
        {"deep.png", flat({0x8080, 0x2000, 0xff00}, VIPS_INTERPRETATION_RGB16), {0x80, 0x20, 0xff, 255}, 1},
        {"grey.png", flat({77}, VIPS_INTERPRETATION_B_W), {77, 77, 77, 255}, 0},
        {"greyalpha.png", flat({200, 128}, VIPS_INTERPRETATION_B_W), {100, 100, 100, 128}, 0},
        // Full cyan ink prints as a light blue-green.
        {"cmyk.jpg", flat({255, 0, 0, 0}, VIPS_INTERPRETATION_CMYK), {0, 180, 240, 255}, 60},
    };
    for (const auto& [name, source, expected, tolerance] : rows) {
        SCOPED_TRACE(name);
        source.write_to_file((*files / name).c_str());
        const Bitmap image = load(*files / name);
        ASSERT_EQ(image.width(), 8);
        EXPECT_EQ(image.hasAlpha(), expected[3] != 255);
        for (std::size_t channel = 0; channel < 4; ++channel)
            EXPECT_NEAR(image.pixels()[(3 * 8 + 5) * 4 + channel], expected[channel], tolerance) << channel;
    }
}

} // namespace
} // namespace quillmorph
