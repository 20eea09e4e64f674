#include "PageEncoder.h"

#include "engines/image/EncoderQuality.h"
#include "engines/image/VipsImage.h"

#include <cstring>
#include <memory>
#include <new>

namespace quillmorph::PageEncoder {
namespace {

std::uint32_t pixel(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Rec. 601 luma in 16-bit fixed point, the weights libjpeg uses for RGB to gray.
std::uint8_t luma(std::uint32_t argb) {
    const std::uint32_t red = (argb >> 16) & 0xFF, green = (argb >> 8) & 0xFF, blue = argb & 0xFF;
    return std::uint8_t((19595 * red + 38470 * green + 7471 * blue + 32768) >> 16);
}

std::unique_ptr<std::uint8_t[]> grayPlane(RenderedPage& page) {
    const std::size_t width = std::size_t(page.width()), height = std::size_t(page.height());
    std::unique_ptr<std::uint8_t[]> gray(new (std::nothrow) std::uint8_t[width * height]);
    if (!gray)
        return nullptr;
    const std::uint8_t* source = page.pixels().data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = source + y * std::size_t(page.stride());
        std::uint8_t* target = gray.get() + y * width;
        for (std::size_t x = 0; x < width; ++x)
            target[x] = luma(pixel(row + 4 * x));
    }
    return gray;
}

// Packs the pixels into RGB triplets at the start of their own buffer: every write lands at or
// before the pixel just read, so nothing unread is overwritten.
const std::uint8_t* packRGB(RenderedPage& page) {
    std::uint8_t* pixels = page.pixels().data();
    const std::size_t width = std::size_t(page.width()), height = std::size_t(page.height());
    std::uint8_t* target = pixels;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + y * std::size_t(page.stride());
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t argb = pixel(row + 4 * x);
            *target++ = std::uint8_t(argb >> 16);
            *target++ = std::uint8_t(argb >> 8);
            *target++ = std::uint8_t(argb);
        }
    }
    return pixels;
}

std::optional<std::vector<std::uint8_t>> jpeg(const std::uint8_t* samples, int width, int height, int bands,
                                              double quality) {
    try {
        VipsImage::start();
        // One band reads as black-and-white, three as sRGB.
        const vips::VImage image = vips::VImage::new_from_memory(
            const_cast<std::uint8_t*>(samples), std::size_t(width) * std::size_t(height) * std::size_t(bands),
            width, height, bands, VIPS_FORMAT_UCHAR);
        std::vector<std::uint8_t> bytes =
            VipsImage::bytes(image.jpegsave_buffer(vips::VImage::option()
                                                       ->set("Q", EncoderQuality::libraryQ(quality))
                                                       ->set("optimize_coding", true)
                                                       ->set("strip", true)));
        if (bytes.empty())
            return std::nullopt;
        return bytes;
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return std::nullopt;
    }
}

} // namespace

std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality, Tone tone) {
    if (tone == Tone::gray) {
        if (const std::unique_ptr<std::uint8_t[]> gray = grayPlane(page))
            return jpeg(gray.get(), page.width(), page.height(), 1, quality);
    }
    return jpeg(packRGB(page), page.width(), page.height(), 3, quality);
}

} // namespace quillmorph::PageEncoder
