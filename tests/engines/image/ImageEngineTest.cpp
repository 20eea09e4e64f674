#include "engines/image/ImageEngine.h"

#include "engines/image/Bitmap.h"
#include "engines/image/ColorQuantizer.h"
#include "engines/image/EncoderQuality.h"
#include "engines/image/ImageEngineError.h"
#include "engines/image/ImageEstimate.h"
#include "engines/image/ImageSettings.h"
#include "engines/image/PNGWriter.h"
#include "engines/image/VipsImage.h"
#include "tests/engines/image/ImageTestSupport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::distinctPixels;
using testing::makeBitmap;
using testing::Pixel;
using testing::TemporaryDirectory;
using vips::VImage;

// Every pixel (x, y) holds x and y, so a crop shows exactly where the canvas sits. Exact crops the
// centre: x = rnd((ow - sw) / 2), the top (oh - sh) - rnd((oh - sh) / 2) in a top-down raster. Where
// nothing changes, the very same image comes back.
TEST(ImageResize, CropsTheCentreRoundingHalvesAwayFromZero) {
    using Row = std::tuple<int, int, FrameSizing, int, int>;
    for (const auto& [width, height, sizing, firstColumn, firstRow] :
         {Row{40, 30, FrameSizing::exact(30, 30), 5, 0}, Row{43, 30, FrameSizing::exact(30, 30), 7, 0},
          Row{30, 40, FrameSizing::exact(30, 30), 0, 5}, Row{30, 43, FrameSizing::exact(30, 30), 0, 6},
          Row{47, 33, FrameSizing::untouched(), -1, 0}, Row{47, 33, FrameSizing::fit(1000, 1000), -1, 0},
          Row{47, 33, FrameSizing::exact(94, 66), -1, 0}, Row{47, 33, FrameSizing::fit(47, 33), -1, 0}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " into " +
                     std::to_string(sizing.width) + "x" + std::to_string(sizing.height));
        const Bitmap source = makeBitmap(width, height, false, [](int x, int y) {
            return Pixel{std::uint8_t(x), std::uint8_t(y), 0, 255};
        });
        const auto resized = ImageEngine::resize(source, sizing);
        ASSERT_TRUE(resized.has_value());
        EXPECT_EQ(resized->isSameImage(source), firstColumn < 0);
        if (firstColumn < 0)
            continue;
        ASSERT_EQ(Size(resized->width(), resized->height()), Size(sizing.width, sizing.height));
        const Bitmap expected = makeBitmap(sizing.width, sizing.height, false, [&](int x, int y) {
            return Pixel{std::uint8_t(firstColumn + x), std::uint8_t(firstRow + y), 0, 255};
        });
        EXPECT_EQ(resized->unpremultipliedRGBA(), expected.unpremultipliedRGBA());
    }
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
    for (const Pixel& pixel : distinctPixels(*resized))
        EXPECT_EQ(pixel, Pixel({pixel[3], 0, 0, pixel[3]}));
    EXPECT_EQ(resized->pixels()[(8 * 16 + 2) * 4 + 3], 128);
    EXPECT_EQ(resized->pixels()[(8 * 16 + 13) * 4 + 3], 0);
}

// Lossless rows (minimumPSNR 0) decode to the very pixels; the rest to their straight colours within
// a tolerance, smaller at a lower quality. JPEG drops alpha and keeps the straight colours. WebP is
// lossless from 0.99 up. An empty image neither renders nor encodes.
TEST(ImageEncode, EncodedFilesDecodeToTheirImage) {
    const Bitmap photo = testing::photoBitmap(160, 120);
    const Bitmap translucent = makeBitmap(160, 120, true, [](int x, int y) {
        const auto alpha = std::uint8_t(std::max(x, y) + 90);
        return Pixel{std::uint8_t(alpha * (y % 7) / 6), std::uint8_t(alpha / 2), alpha, alpha};
    });
    using Row = std::tuple<ImageFormat, double, const Bitmap&, double, std::string_view, std::size_t>;
    for (const auto& [format, quality, image, minimumPSNR, magic, magicOffset] :
         {Row{ImageFormat::png, 1.0, photo, 0, "\x89PNG", 0},
          Row{ImageFormat::png, 0.95, translucent, 0, "\x89PNG", 0},
          Row{ImageFormat::webp, 1.0, translucent, 0, "WEBPVP8L", 8},
          Row{ImageFormat::webp, 0.99, photo, 0, "WEBPVP8L", 8},
          Row{ImageFormat::webp, 0.989, photo, 32, "WEBPVP8 ", 8},
          Row{ImageFormat::jpg, 0.9, photo, 32, "\xff\xd8\xff", 0},
          Row{ImageFormat::jpg, 0.9, translucent, 32, "\xff\xd8\xff", 0},
          Row{ImageFormat::avif, 0.9, photo, 32, "ftypavif", 4},
          Row{ImageFormat::avif, 0.9, translucent, 32, "ftypavif", 4}}) {
        SCOPED_TRACE(std::string(label(format)) + " " + std::to_string(quality) +
                     (image.hasAlpha() ? " alpha" : ""));
        const auto encoded = ImageEngine::encode(image, format, quality);
        ASSERT_TRUE(encoded.has_value());
        const std::string_view file(reinterpret_cast<const char*>(encoded->data()), encoded->size());
        EXPECT_EQ(file.substr(magicOffset, magic.size()), magic);
        EXPECT_TRUE(file.find("Exif") == file.npos && file.find("ICC_PROFILE") == file.npos) << "metadata";
        const auto decoded = testing::decode(*encoded);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_EQ(Size(decoded->width, decoded->height), Size(160, 120));
        const auto straight = image.unpremultipliedRGBA();
        if (minimumPSNR == 0) {
            EXPECT_EQ(decoded->rgba, straight);
            EXPECT_TRUE(format != ImageFormat::png || testing::passesPngcheck(*encoded));
            continue;
        }
        EXPECT_GT(testing::psnr(decoded->rgba, *straight), minimumPSNR);
        for (std::size_t alpha = 3; alpha < straight->size(); alpha += 4)
            ASSERT_NEAR(decoded->rgba[alpha], format == ImageFormat::jpg ? 255 : (*straight)[alpha], 12);
        EXPECT_LT(ImageEngine::encode(image, format, 0.3)->size(), encoded->size());
    }
    const Bitmap empty(0, 0, false, Bytes{});
    EXPECT_EQ(ImageEngine::resize(empty, FrameSizing::untouched()),
              tl::unexpected(ImageEngineError::renderFailed()));
    for (const ImageFormat format : allCases<ImageFormat>()) {
        SCOPED_TRACE(label(format));
        for (const double quality : {0.5, 1.0})
            EXPECT_EQ(ImageEngine::encode(empty, format, quality),
                      tl::unexpected(ImageEngineError::encodingFailed(format)));
    }
}

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
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::avif, 0.5), 0.5);
    EXPECT_EQ(EncoderQuality::lossy(ImageFormat::jpg, 1.0), 1.0);
    EXPECT_EQ(EncoderQuality::libraryQ(0.756), 76);
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

TEST(ImageEstimate, RatioOfTheFirstFileTimesTheTotal) {
    // Truncated, not rounded.
    EXPECT_EQ(ImageEstimate::estimatedBytes(ImageEstimate::estimatedRatio(2, 3), 100), 66);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, 0), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedRatio(500, -1), std::nullopt);
    EXPECT_EQ(ImageEstimate::estimatedBytes(std::nullopt, 6'000'000), std::nullopt);
}

// A newer estimate stops this one: libvips' savers are killed, the others not started.
TEST(ImageEstimate, SampleBytesAreThoseOfTheResizedEncoding) {
    const Bitmap sample = testing::photoBitmap(200, 100);
    const auto resized = ImageEngine::resize(sample, FrameSizing::fit(100, 100));
    std::stop_source stopped;
    stopped.request_stop();
    for (const ImageFormat format : allCases<ImageFormat>()) {
        SCOPED_TRACE(toString(format));
        const ImageSettings settings{.format = format, .sizing = FrameSizing::fit(100, 100), .quality = 0.6};
        EXPECT_EQ(ImageEstimate::sampleBytes(sample, settings),
                  std::int64_t(ImageEngine::encode(*resized, format, settings.quality)->size()));
        EXPECT_EQ(ImageEstimate::sampleBytes(sample, settings, stopped.get_token()), std::nullopt);
    }
}

TEST(Bitmap, UnpremultipliesEachPixel) {
    const std::tuple<const char*, bool, Bytes, Bytes> rows[] = {
        {"opaque", true, {10, 20, 30, 255}, {10, 20, 30, 255}},
        {"clear", true, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"clear with stray colour", true, {5, 6, 7, 0}, {0, 0, 0, 0}},
        {"half covered, rounded down", true, {64, 32, 1, 128}, {127, 63, 1, 128}},
        {"colour above its alpha is capped", true, {200, 1, 100, 100}, {255, 2, 255, 100}},
        {"least coverage", true, {1, 0, 1, 1}, {255, 0, 255, 1}},
        {"filler byte ignored", false, {10, 20, 30, 7}, {10, 20, 30, 255}},
    };
    for (const auto& [name, hasAlpha, stored, straight] : rows) {
        SCOPED_TRACE(name);
        // The pixel twice, so that the walk across pixels is covered as well.
        Bytes twice = stored, expected = straight;
        twice.insert(twice.end(), stored.begin(), stored.end());
        expected.insert(expected.end(), straight.begin(), straight.end());
        EXPECT_EQ(Bitmap(2, 1, hasAlpha, twice).unpremultipliedRGBA(), expected);
    }
}

TEST(Bitmap, RejectsABufferOfTheWrongSize) {
    EXPECT_THROW(Bitmap(2, 2, true, Bytes(15)), std::invalid_argument);
    EXPECT_THROW(Bitmap(-1, 2, true, Bytes{}), std::invalid_argument);
    EXPECT_THROW(Bitmap(-1, 2, true, std::shared_ptr<const std::uint8_t[]>()), std::invalid_argument);
}

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
        return ImageEngine::loadNormalized(file).value_or(Bitmap(0, 0, false, testing::Bytes{}));
    }

    static inline std::unique_ptr<TemporaryDirectory> files;
};

// The other formats compare with photo.png, the turned JPEGs with libvips' own turning of the same file,
// where a wrong turn or mirror costs 20 dB.
TEST_F(ImageLoad, ReadsEveryPromisedFormatByItsContentUpright) {
    std::vector<std::tuple<std::string, Bitmap, double>> rows;
    for (const char* name :
         {"photo.heic", "photo.avif", "photo.webp", "photo.tiff", "bmp.jpg", "palette.bmp", "icon.ico"})
        rows.emplace_back(name, load(*files / "photo.png"), 28);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string name = "turned" + std::to_string(orientation) + ".jpg";
        const VImage upright = VImage::new_from_file((*files / name).c_str()).autorot().bandjoin_const({255});
        rows.emplace_back(name, VipsImage::render(upright, false), 40);
    }
    for (const auto& [name, reference, minimumPSNR] : rows) {
        SCOPED_TRACE(name);
        const Bitmap image = load(*files / name);
        ASSERT_EQ(Size(image.width(), image.height()), Size(reference.width(), reference.height()));
        EXPECT_EQ(ImageEngine::pixelSize(*files / name), Size(image.width(), image.height()));
        EXPECT_TRUE(name == "icon.ico" || !image.hasAlpha()) << "an opaque source";
        EXPECT_GT(testing::psnr(image.pixels(), reference.pixels()), minimumPSNR);
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
            ASSERT_EQ(Size(reduced->width(), reduced->height()), Size(full->width(), full->height()));
            EXPECT_GT(testing::psnr(reduced->pixels(), full->pixels()), 30);
        }
    }
}

TEST_F(ImageLoad, BadInputIsUnreadableAndLeftAlone) {
    TemporaryDirectory directory;
    const std::string jpeg = testing::readFile(*files / "large.jpg");
    const std::string bmp = testing::readFile(*files / "bmp.jpg");
    const std::tuple<std::string, std::string, std::optional<Size>> bad[] = {
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

TEST_F(ImageLoad, RefusesDecompressionBombsBeforeDecodingSayingWhy) {
    // Valid, small on disk and over 400 million pixels.
    const fs::path bomb = *files / "bomb.png";
    testing::mustRun({"vips", "black", bomb.string() + "[compression=9]", "20001", "20001"});
    EXPECT_EQ(ImageEngine::pixelSize(bomb), Size(20001, 20001));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long before = usage.ru_maxrss;
    for (const auto& image :
         {ImageEngine::loadNormalized(bomb), ImageEngine::loadNormalized(bomb, FrameSizing::fit(100, 100))})
        EXPECT_EQ(image ? "decoded" : describe(image.error()), "bomb.png: File too large");
    // Decoding 400 million pixels would take gigabytes.
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - before, 300'000);
}

TEST_F(ImageLoad, DeepGreyAndCMYKImagesBecome8BitSRGB) {
    const auto flat = [](std::vector<double> values, VipsInterpretation meaning) {
        return (VImage::black(8, 8, VImage::option()->set("bands", int(values.size()))) + values)
            .cast(meaning == VIPS_INTERPRETATION_RGB16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR)
            .copy(VImage::option()->set("interpretation", meaning));
    };
    // Name, image, the pixel expected (premultiplied: 200 × 128 / 255 ≈ 100.4) and the tolerance.
    const std::tuple<const char*, VImage, Pixel, int> rows[] = {
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
    using Row = std::tuple<std::string, Bitmap, int, Bytes, Bytes>;
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
    for (const auto& [name, image, depth, palette, alphas] : rows) {
        SCOPED_TRACE(name);
        const auto png = PNGWriter::indexed(image);
        ASSERT_EQ(png.has_value(), depth > 0);
        if (!png)
            continue;
        EXPECT_TRUE(testing::passesPngcheck(*png));
        const auto decoded = testing::decode(*png);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(decoded->rgba == image.unpremultipliedRGBA()) << "decoded pixels differ";
        EXPECT_EQ(dataOf(*png, "IHDR").at(8), depth);
        EXPECT_EQ(dataOf(*png, "IHDR").at(9), 3) << "colour type";
        EXPECT_TRUE(palette.empty() || dataOf(*png, "PLTE") == palette);
        EXPECT_EQ(dataOf(*png, "tRNS"), alphas);
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
    // Smooth: the exact truecolour file beats every palette, so the race must let it finish.
    const Bitmap gradient = makeBitmap(256, 64, false, [](int x, int y) {
        return Pixel{std::uint8_t(x), std::uint8_t(y * 4), std::uint8_t((x + y) / 2), 255};
    });
    // The bytes are those the encoder wrote before it was made faster.
    const std::tuple<const char*, const Bitmap&, double, std::uint64_t, std::size_t> cases[] = {
        {"photo at 1.0", photo, 1.0, 9303304756234820856ULL, 26791},
        {"photo at 0.75", photo, 0.75, 1907281242156038574ULL, 11299},
        {"photo at 0.05", photo, 0.05, 7188131921289980737ULL, 6445},
        {"larger photo at 0.5", larger, 0.5, 6008929935701418776ULL, 36607},
        {"translucent at 1.0", translucent, 1.0, 12021183899678700774ULL, 4131},
        {"translucent at 0.5", translucent, 0.5, 12871335400583277911ULL, 2217},
        {"gradient at 0.75", gradient, 0.75, 10409930826926523173ULL, 289},
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
    const std::tuple<const char*, Bitmap, int> rows[] = {
        {"300 opaque colours", cyclingImage(300, false), 0},
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
            EXPECT_EQ(Size(quantized->width(), quantized->height()), Size(47, 33));
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
