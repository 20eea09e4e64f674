#include "ImageRecompressor.h"

#include "engines/image/EncoderQuality.h"
#include "engines/image/VipsImage.h"

#include <algorithm>
#include <memory>
#include <span>
#include <zlib.h>

namespace quillmorph::ImageRecompressor {
namespace {

using Tone = ImageStream::Tone;

VipsInterpretation interpretation(Tone tone) {
    switch (tone) {
    case Tone::gray:
        return VIPS_INTERPRETATION_B_W;
    case Tone::rgb:
        return VIPS_INTERPRETATION_sRGB;
    case Tone::cmyk:
        return VIPS_INTERPRETATION_CMYK;
    }
    return VIPS_INTERPRETATION_B_W;
}

// libjpeg decodes at 1/2, 1/4 or 1/8 scale almost for free: the largest that keeps both sides
// at least the target (it rounds sides up).
int jpegShrink(const ImageStream& stream, const std::optional<PixelSize>& largest) {
    if (!largest)
        return 1;
    for (int shrink : {8, 4, 2}) {
        if ((stream.width + shrink - 1) / shrink >= largest->width &&
            (stream.height + shrink - 1) / shrink >= largest->height)
            return shrink;
    }
    return 1;
}

// Linear by default: a viewer averages a picture down much as it does, so pages look as close to the
// source's as with Lanczos, and the JPEG comes out smaller and sooner.
vips::VImage shrunk(vips::VImage image, const std::optional<PixelSize>& largest,
                    VipsKernel kernel = VIPS_KERNEL_LINEAR) {
    if (!largest || (image.width() <= largest->width && image.height() <= largest->height))
        return image;
    const double horizontal = std::min(1.0, double(largest->width) / image.width());
    const double vertical = std::min(1.0, double(largest->height) / image.height());
    return image.resize(horizontal, vips::VImage::option()->set("vscale", vertical)->set("kernel", kernel));
}

std::optional<std::string> deflated(std::span<const std::uint8_t> samples) {
    uLongf length = compressBound(uLong(samples.size()));
    std::string bytes(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(bytes.data()), &length, samples.data(), uLong(samples.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

std::optional<std::string> deflated(const vips::VImage& image) {
    std::size_t size = 0;
    std::unique_ptr<void, decltype(&g_free)> samples(image.write_to_memory(&size), g_free);
    return deflated(std::span(static_cast<const std::uint8_t*>(samples.get()), size));
}

// One byte per value back to `bits` per value, each row starting on a byte (ISO 32000-1, 8.9.3).
std::vector<std::uint8_t> packed(const vips::VImage& image, int bits) {
    std::size_t size = 0;
    std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), g_free);
    const auto* values = static_cast<const std::uint8_t*>(memory.get());
    const std::size_t rowValues = std::size_t(image.width()) * std::size_t(image.bands());
    const std::size_t rowBytes = (rowValues * std::size_t(bits) + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * std::size_t(image.height()));
    for (std::size_t y = 0; y < std::size_t(image.height()); ++y) {
        for (std::size_t x = 0; x < rowValues; ++x) {
            const std::size_t bit = x * std::size_t(bits);
            rows[y * rowBytes + bit / 8] |=
                std::uint8_t(values[y * rowValues + x] << (8 - bits - int(bit % 8)));
        }
    }
    return rows;
}

// Palette indices resample to the nearest, so that no index appears that was not there; levels of
// gray or colour are averaged linearly (no overshoot past the depth) and rounded back to a level.
std::optional<Recompressed> keptValues(const ImageStream& stream, const std::optional<PixelSize>& largest) {
    std::vector<std::uint8_t> samples = stream.unpacked();
    const vips::VImage image =
        shrunk(vips::VImage::new_from_memory(samples.data(), samples.size(), stream.width, stream.height,
                                             stream.components, VIPS_FORMAT_UCHAR),
               largest, stream.palette.empty() ? VIPS_KERNEL_LINEAR : VIPS_KERNEL_NEAREST);
    std::optional<std::string> bytes = deflated(packed(image, stream.bitsPerComponent));
    if (!bytes || bytes->size() >= stream.storedBytes)
        return std::nullopt;
    return Recompressed{.bytes = std::move(*bytes),
                        .filter = Recompressed::Filter::flate,
                        .width = image.width(),
                        .height = image.height(),
                        .tone = stream.tone,
                        .bitsPerComponent = stream.bitsPerComponent,
                        .keepsValues = true};
}

std::string jpeg(const vips::VImage& image, double quality) {
    const std::vector<std::uint8_t> bytes =
        VipsImage::bytes(image.jpegsave_buffer(vips::VImage::option()
                                                   ->set("Q", EncoderQuality::libraryQ(quality))
                                                   ->set("optimize_coding", true)
                                                   ->set("strip", true)));
    return {bytes.begin(), bytes.end()};
}

} // namespace

std::optional<Recompressed> recompress(const ImageStream& stream, std::optional<PixelSize> largest,
                                       const Options& options) {
    if (largest) {
        largest->width = std::max(largest->width, 1);
        largest->height = std::max(largest->height, 1);
    }
    const bool toGray = options.grayscale && options.role == Role::picture && stream.tone != Tone::gray;
    const bool needsShrinking = largest && (stream.width > largest->width || stream.height > largest->height);
    const bool lossless = options.role == Role::softMask || stream.hasFewColours();
    if (lossless && !needsShrinking && !toGray)
        return std::nullopt;
    try {
        VipsImage::start();
        if (stream.hasFewColours() && !toGray && stream.coding == ImageStream::Coding::samples)
            return keptValues(stream, largest);
        std::vector<std::uint8_t> pixels;
        vips::VImage image;
        if (stream.coding == ImageStream::Coding::jpeg) {
            VipsBlob* blob = vips_blob_new(nullptr, stream.bytes.data(), stream.bytes.size());
            // Decoded as the resize reads it, top to bottom: the whole picture is never held.
            image = vips::VImage::jpegload_buffer(blob, vips::VImage::option()
                                                            ->set("shrink", jpegShrink(stream, largest))
                                                            ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                                            ->set("fail_on", VIPS_FAIL_ON_TRUNCATED));
            vips_area_unref(VIPS_AREA(blob));
        } else {
            pixels = stream.pixels();
            image = vips::VImage::new_from_memory(pixels.data(), pixels.size(), stream.width, stream.height,
                                                  stream.toneComponents(), VIPS_FORMAT_UCHAR)
                        .copy(vips::VImage::option()->set("interpretation", interpretation(stream.tone)));
        }
        image = shrunk(image, largest);
        Tone tone = stream.tone;
        if (toGray) {
            image = image.colourspace(VIPS_INTERPRETATION_B_W);
            tone = Tone::gray;
        }
        // Samples go through both encoders below; keeping them once saves decoding twice.
        const bool bothEncoders = !lossless && stream.coding == ImageStream::Coding::samples;
        if (bothEncoders)
            image = image.copy_memory();

        Recompressed best{.bytes = {},
                          .filter = Recompressed::Filter::flate,
                          .width = image.width(),
                          .height = image.height(),
                          .tone = tone};
        // A JPEG kept at its size and tone loses a little more each time it is encoded again: that
        // is only worth a real saving.
        const bool onlyReencoded = stream.coding == ImageStream::Coding::jpeg && !needsShrinking && !toGray;
        std::size_t bestSize = onlyReencoded ? stream.storedBytes * 9 / 10 : stream.storedBytes;
        if (!lossless) {
            if (std::string bytes = jpeg(image, options.quality); bytes.size() < bestSize) {
                bestSize = bytes.size();
                best.bytes = std::move(bytes);
                best.filter = Recompressed::Filter::jpeg;
            }
        }
        if (lossless || stream.coding == ImageStream::Coding::samples) {
            if (std::optional<std::string> bytes = deflated(image); bytes && bytes->size() < bestSize) {
                best.bytes = std::move(*bytes);
                best.filter = Recompressed::Filter::flate;
            }
        }
        if (best.bytes.empty())
            return std::nullopt;
        return best;
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return std::nullopt;
    }
}

} // namespace quillmorph::ImageRecompressor
