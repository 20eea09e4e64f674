#include "engines/image/WebPEncoder.h"

#include <memory>
#include <webp/encode.h>

namespace quillmorph::WebPEncoder {

namespace {

constexpr double losslessQuality = 0.99;

struct WebPBufferRelease {
    void operator()(std::uint8_t* buffer) const { WebPFree(buffer); }
};

} // namespace

tl::expected<std::vector<std::uint8_t>, ImageEngineError> encode(const Bitmap& image, double quality) {
    const std::optional<std::vector<std::uint8_t>> rgba = image.unpremultipliedRGBA();
    if (!rgba)
        return tl::unexpected(ImageEngineError::renderFailed());
    const int width = image.width();
    const int height = image.height();
    const int stride = width * 4;

    std::uint8_t* output = nullptr;
    const std::size_t size =
        quality >= losslessQuality
            ? WebPEncodeLosslessRGBA(rgba->data(), width, height, stride, &output)
            : WebPEncodeRGBA(rgba->data(), width, height, stride, float(quality * 100), &output);
    const std::unique_ptr<std::uint8_t, WebPBufferRelease> encoded(output);
    if (size == 0 || !encoded)
        return tl::unexpected(ImageEngineError::encodingFailed(ImageFormat::webp));
    return std::vector<std::uint8_t>(encoded.get(), encoded.get() + size);
}

} // namespace quillmorph::WebPEncoder
