#include "PageEncoder.h"

#include "engines/image/EncoderQuality.h"
#include "engines/image/VipsImage.h"

#include <cstring>

namespace quillmorph::PageEncoder {
namespace {

// Moves the rows together, dropping the padding at their ends: libvips reads memory without gaps.
// Every row moves towards the start, so none is overwritten before it has moved.
std::uint8_t* packRows(RenderedPage& page, std::size_t rowBytes) {
    std::uint8_t* pixels = page.pixels().data();
    const std::size_t stride = std::size_t(page.stride());
    if (stride != rowBytes) {
        for (std::size_t row = 1; row < std::size_t(page.height()); ++row)
            std::memmove(pixels + row * rowBytes, pixels + row * stride, rowBytes);
    }
    return pixels;
}

} // namespace

std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality) {
    const int bands = page.tone() == RenderedPage::Tone::gray ? 1 : 3;
    const std::size_t rowBytes = std::size_t(page.width()) * std::size_t(bands);
    std::uint8_t* samples = packRows(page, rowBytes);
    try {
        VipsImage::start();
        // One band reads as black-and-white, three as sRGB.
        const vips::VImage image =
            vips::VImage::new_from_memory(samples, rowBytes * std::size_t(page.height()), page.width(),
                                          page.height(), bands, VIPS_FORMAT_UCHAR);
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

} // namespace quillmorph::PageEncoder
