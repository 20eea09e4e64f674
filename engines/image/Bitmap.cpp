#include "engines/image/Bitmap.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace quillmorph {

namespace {

void requireSize(int width, int height, std::size_t byteCount) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("Bitmap: negative size");
    if (byteCount != std::size_t(width) * std::size_t(height) * 4)
        throw std::invalid_argument("Bitmap: pixel buffer does not hold width × height × 4 bytes");
}

std::shared_ptr<const std::uint8_t[]> share(int width, int height, std::vector<std::uint8_t> pixels) {
    requireSize(width, height, pixels.size());
    auto owner = std::make_shared<std::vector<std::uint8_t>>(std::move(pixels));
    // Aliasing: the array pointer keeps the vector, and so its storage, alive without a copy.
    return {owner, owner->data()};
}

} // namespace

Bitmap::Bitmap(int width, int height, bool hasAlpha, std::vector<std::uint8_t> pixels)
    : m_width(width), m_height(height), m_hasAlpha(hasAlpha),
      m_pixels(share(width, height, std::move(pixels))) {}

Bitmap::Bitmap(int width, int height, bool hasAlpha, std::shared_ptr<const std::uint8_t[]> pixels)
    : m_width(width), m_height(height), m_hasAlpha(hasAlpha), m_pixels(std::move(pixels)) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("Bitmap: negative size");
}

std::optional<std::vector<std::uint8_t>> Bitmap::unpremultipliedRGBA() const {
    std::vector<std::uint8_t> rgba;
    try {
        rgba.resize(byteCount());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const std::uint8_t* source = m_pixels.get();
    std::uint8_t* target = rgba.data();
    const std::size_t count = std::size_t(m_width) * std::size_t(m_height);
    if (!m_hasAlpha) {
        // The filler byte is ignored: the pixel covers its canvas fully.
        for (std::size_t i = 0; i < count; ++i, source += 4, target += 4) {
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
            target[3] = 255;
        }
        return rgba;
    }
    for (std::size_t i = 0; i < count; ++i, source += 4, target += 4) {
        const unsigned alpha = source[3];
        if (alpha == 255) {
            std::copy_n(source, 4, target);
        } else if (alpha != 0) {
            for (int channel = 0; channel < 3; ++channel)
                target[channel] = std::uint8_t(std::min(255u, source[channel] * 255u / alpha));
            target[3] = std::uint8_t(alpha);
        }
        // alpha 0 stays (0, 0, 0, 0) from the zeroed buffer.
    }
    return rgba;
}

} // namespace quillmorph
