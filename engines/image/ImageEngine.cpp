#include "ImageEngine.h"

#include "ColorQuantizer.h"
#include "EncoderQuality.h"
#include "PNGCandidateRace.h"
#include "PNGWriter.h"
#include "VipsImage.h"
#include "WebPEncoder.h"

#include <algorithm>
#include <cmath>
#include <future>

namespace quillmorph::ImageEngine {
namespace {

using vips::VImage;

// A few hundred bytes of header can claim a gigantic canvas; such files are refused before decoding.
constexpr double maximumPixels = 400'000'000;

// Decoding stops with an error on a truncated file instead of filling the rest with grey.
vips::VOption* decodingOptions() {
    return VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL)->set("fail_on", VIPS_FAIL_ON_TRUNCATED);
}

bool isTooLarge(const VImage& image) {
    return double(image.width()) * double(image.height()) > maximumPixels;
}

bool swapsSides(int orientation) {
    return orientation >= 5;
}

Size sizeOf(const VImage& image) {
    return {double(image.width()), double(image.height())};
}

Size transposed(Size size) {
    return {size.height, size.width};
}

// The stored image turned as the TIFF/EXIF orientation value prescribes (vips rotates clockwise).
VImage upright(const VImage& image, int orientation) {
    switch (orientation) {
    case 2:
        return image.flip(VIPS_DIRECTION_HORIZONTAL);
    case 3:
        return image.rot(VIPS_ANGLE_D180);
    case 4:
        return image.flip(VIPS_DIRECTION_VERTICAL);
    case 5: // transpose
        return image.rot(VIPS_ANGLE_D90).flip(VIPS_DIRECTION_HORIZONTAL);
    case 6:
        return image.rot(VIPS_ANGLE_D90);
    case 7: // transverse
        return image.rot(VIPS_ANGLE_D270).flip(VIPS_DIRECTION_HORIZONTAL);
    case 8:
        return image.rot(VIPS_ANGLE_D270);
    default:
        return image;
    }
}

// 8-bit sRGB with three bands, or four when the fourth is alpha. An embedded ICC profile is honoured;
// without one libvips assumes sRGB for colour, its own profile for CMYK, and converts grey,
// 16-bit and float images by their interpretation.
VImage toSRGB(VImage image) {
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0) {
        try {
            image = image.icc_transform("srgb", VImage::option()
                                                    ->set("embedded", true)
                                                    ->set("intent", VIPS_INTENT_RELATIVE)
                                                    ->set("depth", 8));
        } catch (const vips::VError&) {
            // A broken profile is ignored, as viewers do, rather than making the image unreadable.
            VipsImage::forgetError();
            image = image.copy();
            image.remove(VIPS_META_ICC_NAME);
        }
    }
    // An interpretation libvips cannot convert (plain multiband) is taken by its band count below.
    const bool convertible = vips_colourspace_issupported(image.get_image());
    if (convertible &&
        (image.interpretation() != VIPS_INTERPRETATION_sRGB || image.format() != VIPS_FORMAT_UCHAR))
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
    if (image.format() != VIPS_FORMAT_UCHAR)
        image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.bands() < 3) {
        const VImage grey = image.extract_band(0);
        std::vector<VImage> bands{grey, grey, grey};
        if (image.bands() == 2)
            bands.push_back(image.extract_band(1));
        image = VImage::bandjoin(bands);
    }
    if (image.bands() > 4)
        image = image.extract_band(0, VImage::option()->set("n", 4));
    return image;
}

// The pixels to resample: premultiplied RGBA when there is alpha, so that covered pixels never bleed
// colour into clear ones; plain RGB otherwise, the filler byte added only at the end.
VImage resamplable(const VImage& srgb) {
    if (srgb.bands() == 4)
        return (srgb.premultiply() + 0.5).cast(VIPS_FORMAT_UCHAR);
    return srgb;
}

// Premultiplied RGBA stays; RGB gets its filler byte.
VImage canvas(const VImage& pixels) {
    return pixels.bands() == 3 ? pixels.bandjoin_const({255}) : pixels;
}

// `image` drawn at the geometry's scaled size onto its output canvas: left edge at
// rnd((ow - sw) / 2), bottom edge rnd((oh - sh) / 2) above the canvas's bottom; the rest cropped.
VImage placed(VImage image, const FrameSizing::Geometry& geometry) {
    if (sizeOf(image) != geometry.scaled) {
        image = image.resize(geometry.scaled.width / image.width(),
                             VImage::option()
                                 ->set("vscale", geometry.scaled.height / image.height())
                                 ->set("kernel", VIPS_KERNEL_LANCZOS3));
        if (sizeOf(image) != geometry.scaled)
            throw vips::VError("resize missed its size");
    }
    if (geometry.output == geometry.scaled)
        return image;
    const int left = int(std::round((geometry.output.width - geometry.scaled.width) / 2));
    const double spareHeight = geometry.output.height - geometry.scaled.height;
    const int top = int(spareHeight - std::round(spareHeight / 2));
    return image.embed(left, top, int(geometry.output.width), int(geometry.output.height),
                       VImage::option()->set("extend", VIPS_EXTEND_BLACK));
}

Bitmap decode(const VImage& image, int orientation) {
    const VImage srgb = toSRGB(image);
    const bool hasAlpha = srgb.bands() == 4;
    const VImage pixels = resamplable(srgb);
    if (orientation == 1)
        return VipsImage::render(canvas(pixels), hasAlpha);
    // Turning needs the whole image at hand.
    return VipsImage::render(canvas(upright(pixels.copy_memory(), orientation)), hasAlpha);
}

// Block shrinking in the JPEG decoder is coarse, so it stops a factor of two above the target and
// leaves the rest to the resampler.
int jpegShrink(double factor) {
    if (factor >= 16)
        return 8;
    if (factor >= 8)
        return 4;
    if (factor >= 4)
        return 2;
    return 1;
}

// The file opened again with its decoder scaling down by up to factor / 2, where the decoder can.
VImage reducedSource(const std::filesystem::path& file, const VImage& header, double factor) {
    const std::string loader = VipsImage::loader(header);
    if (loader.starts_with("jpegload") && jpegShrink(factor) > 1)
        return VipsImage::open(file, decodingOptions()->set("shrink", jpegShrink(factor)));
    if (loader.starts_with("webpload") && factor >= 4)
        return VipsImage::open(file, decodingOptions()->set("scale", 2 / factor));
    return header;
}

// The bitmap's straight colours for a saver: RGB without alpha, otherwise RGBA un-premultiplied into
// `storage`, which must outlive the image.
std::optional<VImage> straightColours(const Bitmap& image, std::vector<std::uint8_t>& storage) {
    if (!image.hasAlpha())
        return VipsImage::view(image).extract_band(0, VImage::option()->set("n", 3));
    std::optional<std::vector<std::uint8_t>> rgba = image.unpremultipliedRGBA();
    if (!rgba)
        return std::nullopt;
    storage = std::move(*rgba);
    return VipsImage::view(storage, image.width(), image.height());
}

using Encoded = tl::expected<std::vector<std::uint8_t>, ImageEngineError>;

// Sets libvips' kill flag on the image being encoded once a stop is requested: the saver fails at
// its next strip of pixels.
struct Kill {
    ::VipsImage* image;
    void operator()() const { vips_image_set_kill(image, TRUE); }
};

Encoded nonEmpty(std::vector<std::uint8_t> bytes, ImageFormat format) {
    if (bytes.empty())
        return tl::unexpected(ImageEngineError::encodingFailed(format));
    return bytes;
}

// JPEG holds no alpha: a translucent image keeps its straight colours, its alpha is dropped.
Encoded encodeJPEG(const Bitmap& image, double quality, std::stop_token stop) {
    std::vector<std::uint8_t> storage;
    const std::optional<VImage> colours = straightColours(image, storage);
    if (!colours)
        return tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::jpg));
    const std::stop_callback killOnStop(stop, Kill{colours->get_image()});
    const int q = EncoderQuality::libraryQ(EncoderQuality::lossy(ImageFormat::jpg, quality));
    VipsBlob* blob =
        colours->extract_band(0, VImage::option()->set("n", 3))
            .jpegsave_buffer(VImage::option()->set("Q", q)->set("optimize_coding", true)->set("strip", true));
    return nonEmpty(VipsImage::bytes(blob), ImageFormat::jpg);
}

// libvips' AV1 effort (0 … 9, default 4): at 2, photos encode about six times faster and in about a
// tenth fewer bytes at nearly the same fidelity, and a 12-megapixel encode peaks near 260 MB, not 580.
constexpr int avifEffort = 2;

Encoded encodeAVIF(const Bitmap& image, double quality, std::stop_token stop) {
    std::vector<std::uint8_t> storage;
    const std::optional<VImage> colours = straightColours(image, storage);
    if (!colours)
        return tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::avif));
    const std::stop_callback killOnStop(stop, Kill{colours->get_image()});
    const int q = EncoderQuality::libraryQ(EncoderQuality::lossy(ImageFormat::avif, quality));
    VipsBlob* blob = colours->heifsave_buffer(VImage::option()
                                                  ->set("Q", q)
                                                  ->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1)
                                                  ->set("bitdepth", 8)
                                                  ->set("effort", avifEffort)
                                                  ->set("strip", true));
    return nonEmpty(VipsImage::bytes(blob), ImageFormat::avif);
}

// The smallest of the exact image's truecolour and palette PNGs, and below full quality of the same two
// after colour reduction; the exact image wins a tie. The exact and the reduced encodings run at once,
// racing so that a truecolour file that cannot win is not compressed in full, and a stop request is
// honoured between the steps.
Encoded encodePNG(const Bitmap& image, double quality, std::stop_token stop) {
    using Bytes = std::vector<std::uint8_t>;
    const int colours = paletteSize(quality);
    PNGCandidateRace race(2);
    const auto encodeReduced = [&](PNGCandidateRace* reducedRace) -> std::optional<Bytes> {
        // Reports no file unless the reduced image gets to be encoded.
        PNGCandidateRace::Entry entry(reducedRace);
        if (colours < 2 || stop.stop_requested())
            return std::nullopt;
        const std::optional<Bitmap> reduced = ColorQuantizer::quantize(image, colours);
        return reduced && !stop.stop_requested() ? PNGWriter::smallest(*reduced, &entry) : std::nullopt;
    };
    std::future<std::optional<Bytes>> reducedFile;
    std::optional<Bytes> reduced;
    PNGCandidateRace* exactRace = &race;
    try {
        reducedFile = std::async(std::launch::async, encodeReduced, &race);
    } catch (const std::system_error&) {
        // No thread to be had: one after the other, and no race, as nothing could report meanwhile.
        reduced = encodeReduced(nullptr);
        exactRace = nullptr;
    }
    PNGCandidateRace::Entry exactEntry(exactRace);
    std::optional<Bytes> best = PNGWriter::smallest(image, &exactEntry);
    if (reducedFile.valid())
        reduced = reducedFile.get();
    if (stop.stop_requested() || (!best && !reduced))
        return tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::png));
    if (reduced && (!best || reduced->size() < best->size()))
        return std::move(*reduced);
    return std::move(*best);
}

// libheif's encoders do not change while the process runs, so one small encoding answers for good.
bool encodesAV1() {
    static const bool available = [] {
        try {
            const VImage probe = VImage::black(16, 16, VImage::option()->set("bands", 3));
            return !VipsImage::bytes(probe.cast(VIPS_FORMAT_UCHAR)
                                         .heifsave_buffer(VImage::option()->set(
                                             "compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1)))
                        .empty();
        } catch (const vips::VError&) {
            VipsImage::forgetError();
            return false;
        }
    }();
    return available;
}

} // namespace

void start() {
    VipsImage::start();
}

bool supports(ImageFormat format) {
    switch (format) {
    case ImageFormat::webp:
    case ImageFormat::png:
        return true;
    case ImageFormat::jpg:
        return VipsImage::hasOperation("jpegsave_buffer");
    case ImageFormat::avif:
        return VipsImage::hasOperation("heifsave_buffer") && encodesAV1();
    }
    return false;
}

std::optional<Size> pixelSize(const std::filesystem::path& file) {
    try {
        const VImage header = VipsImage::open(file, nullptr);
        const Size size = sizeOf(header);
        return swapsSides(VipsImage::orientation(header)) ? transposed(size) : size;
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return std::nullopt;
    }
}

tl::expected<Bitmap, ImageEngineError> loadNormalized(const std::filesystem::path& file) {
    try {
        const VImage image = VipsImage::open(file, decodingOptions());
        if (isTooLarge(image))
            return tl::unexpected(ImageEngineError::tooLarge(file));
        return decode(image, VipsImage::orientation(image));
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return tl::unexpected(ImageEngineError::unreadable(file));
    }
}

tl::expected<Bitmap, ImageEngineError> loadNormalized(const std::filesystem::path& file,
                                                      const FrameSizing& target) {
    try {
        const VImage header = VipsImage::open(file, decodingOptions());
        if (isTooLarge(header))
            return tl::unexpected(ImageEngineError::tooLarge(file));
        const int orientation = VipsImage::orientation(header);
        const Size stored = sizeOf(header);
        const Size uprightSize = swapsSides(orientation) ? transposed(stored) : stored;
        const FrameSizing::Geometry geometry = target.geometry(uprightSize, FrameSizing::Dimensions::whole);
        if (geometry.scaled == uprightSize && geometry.output == uprightSize)
            return decode(header, orientation);

        // Scaled in the stored orientation, which streams from the decoder; turned upright when small.
        const Size storedScaled = swapsSides(orientation) ? transposed(geometry.scaled) : geometry.scaled;
        const double factor =
            std::min(stored.width / storedScaled.width, stored.height / storedScaled.height);
        const VImage source = reducedSource(file, header, factor);
        const VImage srgb = toSRGB(source);
        const bool hasAlpha = srgb.bands() == 4;
        VImage pixels = resamplable(srgb);
        // With the decoder scaling down, a resampler pulling a few small strips from it in parallel
        // does not always see the decoder's truncation error; decoded on its own first, it does.
        if (source.width() != header.width())
            pixels = pixels.copy_memory();
        const VImage scaled = placed(pixels, {storedScaled, storedScaled});
        if (orientation == 1)
            return VipsImage::render(canvas(placed(scaled, geometry)), hasAlpha);
        return VipsImage::render(canvas(placed(upright(scaled.copy_memory(), orientation), geometry)),
                                 hasAlpha);
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return tl::unexpected(ImageEngineError::unreadable(file));
    }
}

tl::expected<Bitmap, ImageEngineError> resize(const Bitmap& image, const FrameSizing& sizing) {
    const Size size{double(image.width()), double(image.height())};
    const FrameSizing::Geometry geometry = sizing.geometry(size, FrameSizing::Dimensions::whole);
    if (geometry.scaled == size && geometry.output == size)
        return image;
    try {
        VImage pixels = VipsImage::view(image);
        if (!image.hasAlpha())
            pixels = pixels.extract_band(0, VImage::option()->set("n", 3));
        return VipsImage::render(canvas(placed(pixels, geometry)), image.hasAlpha());
    } catch (const vips::VError&) {
        VipsImage::forgetError();
        return tl::unexpected(ImageEngineError::renderFailed());
    }
}

tl::expected<std::vector<std::uint8_t>, ImageEngineError> encode(const Bitmap& image, ImageFormat format,
                                                                 double quality, std::stop_token stop) {
    if (format == ImageFormat::webp) {
        if (stop.stop_requested())
            return tl::unexpected(ImageEngineError::encodingFailed(format));
        return WebPEncoder::encode(image, quality);
    }
    if (!supports(format))
        return tl::unexpected(ImageEngineError::unsupportedOutput(format));
    try {
        switch (format) {
        case ImageFormat::jpg:
            return encodeJPEG(image, quality, stop);
        case ImageFormat::png:
            return encodePNG(image, quality, stop);
        case ImageFormat::avif:
            return encodeAVIF(image, quality, stop);
        case ImageFormat::webp:
            break;
        }
    } catch (const vips::VError&) {
        VipsImage::forgetError();
    }
    return tl::unexpected(ImageEngineError::encodingFailed(format));
}

int paletteSize(double quality) {
    if (quality >= 0.95)
        return 0;
    if (quality <= 0.05)
        return 19;
    return int(std::min(256.0, std::round(16 * std::pow(2.0, 4.5 * quality))));
}

} // namespace quillmorph::ImageEngine
