#include "tests/engines/image/CodecTestSupport.h"

#include "engines/image/VipsImage.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <glib.h>
#include <memory>
#include <vips/vips8>

namespace quillmorph::testing {

Bitmap makeBitmap(int width, int height, bool hasAlpha, const std::function<Pixel(int x, int y)>& pixelAt) {
    std::vector<std::uint8_t> pixels;
    pixels.reserve(std::size_t(width) * std::size_t(height) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel pixel = pixelAt(x, y);
            pixels.insert(pixels.end(), pixel.begin(), pixel.end());
        }
    }
    return Bitmap(width, height, hasAlpha, std::move(pixels));
}

std::set<std::uint32_t> distinctPixels(const Bitmap& image) {
    std::set<std::uint32_t> pixels;
    const auto bytes = image.pixels();
    for (std::size_t i = 0; i < bytes.size(); i += 4)
        pixels.insert(std::uint32_t(bytes[i]) << 24 | std::uint32_t(bytes[i + 1]) << 16 |
                      std::uint32_t(bytes[i + 2]) << 8 | bytes[i + 3]);
    return pixels;
}

std::optional<DecodedImage> decode(const std::vector<std::uint8_t>& file) {
    try {
        VipsImage::start();
        vips::VImage image = vips::VImage::new_from_buffer(file.data(), file.size(), "")
                                 .colourspace(VIPS_INTERPRETATION_sRGB)
                                 .cast(VIPS_FORMAT_UCHAR);
        if (image.bands() == 3)
            image = image.bandjoin_const({255});
        std::size_t size = 0;
        const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
        const auto* bytes = static_cast<const std::uint8_t*>(memory.get());
        return DecodedImage{image.width(), image.height(), std::vector<std::uint8_t>(bytes, bytes + size)};
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

::testing::AssertionResult passesPngcheck(const std::vector<std::uint8_t>& file) {
    TemporaryDirectory directory;
    const auto path = directory / "image.png";
    writeFile(path, std::string(file.begin(), file.end()));
    const CommandResult result = runTool({"pngcheck", path.string()});
    if (result.exitCode != 0)
        return ::testing::AssertionFailure() << "pngcheck: " << result.output;
    return ::testing::AssertionSuccess();
}

} // namespace quillmorph::testing
