#include "tests/engines/image/ImageTestSupport.h"

#include "engines/image/VipsImage.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cmath>
#include <glib.h>
#include <limits>
#include <memory>
#include <stdexcept>

namespace quillmorph::testing {

using vips::VImage;

VImage photo(int width, int height, int seed) {
    VipsImage::start();
    const VImage xy = VImage::xyz(width, height);
    const VImage x = xy[0] / double(width);
    const VImage y = xy[1] / double(height);
    // vips takes angles in degrees.
    const VImage waves = (x * (360.0 * (2 + seed))).sin() * 50 + (y * 900.0).sin() * 40;
    VImage red = x * 170 + 40;
    VImage green = y * 150 + 50 + waves * 0.5;
    VImage blue = (x + y) * 60 + 60 + waves;
    // A disc and a bar, flat coloured with hard edges, as objects in a scene.
    const VImage disc = ((x - 0.3 - 0.05 * seed) * (x - 0.3 - 0.05 * seed) + (y - 0.6) * (y - 0.6)) < 0.02;
    const VImage bar = (x > 0.62) & (x < 0.7) & (y > 0.1) & (y < 0.9);
    red = disc.ifthenelse(230, bar.ifthenelse(30, red));
    green = disc.ifthenelse(190, bar.ifthenelse(40, green));
    blue = disc.ifthenelse(40, bar.ifthenelse(70, blue));
    const VImage noise =
        VImage::gaussnoise(width, height, VImage::option()->set("sigma", 6.0)->set("seed", seed));
    return (VImage::bandjoin({red, green, blue}) + noise)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

Bitmap photoBitmap(int width, int height, int seed) {
    return VipsImage::render(photo(width, height, seed).bandjoin_const({255}), false);
}

Bitmap makeBitmap(int width, int height, bool hasAlpha, const std::function<Pixel(int x, int y)>& pixelAt) {
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel pixel = pixelAt(x, y);
            pixels.insert(pixels.end(), pixel.begin(), pixel.end());
        }
    }
    return Bitmap(width, height, hasAlpha, std::move(pixels));
}

std::set<Pixel> distinctPixels(const Bitmap& image) {
    std::set<Pixel> pixels;
    const auto bytes = image.pixels();
    for (std::size_t i = 0; i < bytes.size(); i += 4)
        pixels.insert({bytes[i], bytes[i + 1], bytes[i + 2], bytes[i + 3]});
    return pixels;
}

std::optional<DecodedImage> decode(const Bytes& file) {
    try {
        VipsImage::start();
        VImage image = VImage::new_from_buffer(file.data(), file.size(), "")
                           .colourspace(VIPS_INTERPRETATION_sRGB)
                           .cast(VIPS_FORMAT_UCHAR);
        if (image.bands() == 3)
            image = image.bandjoin_const({255});
        std::size_t size = 0;
        const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
        const auto* bytes = static_cast<const std::uint8_t*>(memory.get());
        return DecodedImage{image.width(), image.height(), Bytes(bytes, bytes + size)};
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

double psnr(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size())
        throw std::invalid_argument("psnr: different sizes");
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double difference = i % 4 == 3 ? 0 : double(a[i]) - double(b[i]);
        sum += difference * difference;
    }
    const double meanSquare = sum / (double(a.size()) * 3 / 4);
    return meanSquare == 0 ? std::numeric_limits<double>::infinity()
                           : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

::testing::AssertionResult passesPngcheck(const Bytes& file) {
    TemporaryDirectory directory;
    writeFile(directory / "image.png", std::string(file.begin(), file.end()));
    const CommandResult result = runTool({"pngcheck", (directory / "image.png").string()});
    return result.exitCode == 0 ? ::testing::AssertionSuccess()
                                : ::testing::AssertionFailure() << "pngcheck: " << result.output;
}

} // namespace quillmorph::testing
