#include "PageEncoder.h"

#include "engines/image/EncoderQuality.h"
#include "engines/image/VipsImage.h"

#include <algorithm>

namespace quillmorph::PageEncoder {
namespace {

// Optimised Huffman tables take a second pass over the whole page's coefficients, which the encoder
// then holds in memory: two bytes a sample, as much again as the page itself.
constexpr std::int64_t optimizedPixels = 12'000'000;

// The tables shrink smooth pages (photos, slides, gradients) by a fifth to a half, but dense text and
// scans by 3 to 5 %, for twice the encoding time. Sampled rows of such pages come to over 0.15 bytes a
// pixel at baseline, smooth ones to 0.02 to 0.07.
constexpr double denseBytesPerPixel = 0.1;
constexpr int sampledBands = 8;
constexpr int bandRows = 16; // one row of 4:2:0 blocks

bool optimizationPays(const vips::VImage& image, int q) {
    const int width = image.width(), height = image.height();
    if (std::int64_t(width) * height > optimizedPixels)
        return false;
    // Too small to sample, and cheap either way.
    if (height < 2 * sampledBands * bandRows)
        return true;
    std::vector<vips::VImage> bands;
    for (int band = 0; band < sampledBands; ++band) {
        const int top = height * (2 * band + 1) / (2 * sampledBands) / bandRows * bandRows;
        bands.push_back(image.extract_area(0, std::min(top, height - bandRows), width, bandRows));
    }
    const std::size_t bytes =
        VipsImage::bytes(vips::VImage::arrayjoin(bands, vips::VImage::option()->set("across", 1))
                             .jpegsave_buffer(vips::VImage::option()->set("Q", q)->set("strip", true)))
            .size();
    return double(bytes) < denseBytesPerPixel * double(width) * sampledBands * bandRows;
}

} // namespace

std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality) {
    const int bands = page.tone() == RenderedPage::Tone::gray ? 1 : 3;
    try {
        VipsImage::start();
        // One band reads as black-and-white, three as sRGB.
        const vips::VImage image =
            vips::VImage::new_from_memory(page.pixels().data(), page.pixels().size(), page.width(),
                                          page.height(), bands, VIPS_FORMAT_UCHAR);
        const int q = EncoderQuality::libraryQ(quality);
        std::vector<std::uint8_t> bytes =
            VipsImage::bytes(image.jpegsave_buffer(vips::VImage::option()
                                                       ->set("Q", q)
                                                       ->set("optimize_coding", optimizationPays(image, q))
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
