#include "PageEncoder.h"

#include "engines/image/EncoderQuality.h"
#include "engines/image/VipsImage.h"

namespace quillmorph::PageEncoder {
namespace {

// Optimised Huffman tables take a second pass over the whole page's coefficients, which the encoder
// then holds in memory: two bytes a sample, as much again as the page itself.
constexpr std::int64_t optimizedPixels = 12'000'000;

} // namespace

std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality) {
    const int bands = page.tone() == RenderedPage::Tone::gray ? 1 : 3;
    try {
        VipsImage::start();
        // One band reads as black-and-white, three as sRGB.
        const vips::VImage image =
            vips::VImage::new_from_memory(page.pixels().data(), page.pixels().size(), page.width(),
                                          page.height(), bands, VIPS_FORMAT_UCHAR);
        std::vector<std::uint8_t> bytes = VipsImage::bytes(image.jpegsave_buffer(
            vips::VImage::option()
                ->set("Q", EncoderQuality::libraryQ(quality))
                ->set("optimize_coding", std::int64_t(page.width()) * page.height() <= optimizedPixels)
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
