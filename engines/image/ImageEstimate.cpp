#include "ImageEstimate.h"

#include "ImageEngine.h"

namespace quillmorph::ImageEstimate {

std::optional<std::int64_t> sampleBytes(const Bitmap& sample, const ImageSettings& settings,
                                        std::stop_token stop) {
    const auto encoded = ImageEngine::resize(sample, settings.sizing).and_then([&](const Bitmap& resized) {
        return ImageEngine::encode(resized, settings.format, settings.quality, stop);
    });
    if (!encoded)
        return std::nullopt;
    return std::int64_t(encoded->size());
}

std::optional<double> estimatedRatio(std::int64_t encodedBytes, std::int64_t firstFileBytes) {
    if (firstFileBytes <= 0)
        return std::nullopt;
    return double(encodedBytes) / double(firstFileBytes);
}

std::optional<std::int64_t> estimatedBytes(std::optional<double> ratio, std::int64_t originalBytes) {
    if (!ratio)
        return std::nullopt;
    return std::int64_t(*ratio * double(originalBytes));
}

} // namespace quillmorph::ImageEstimate
