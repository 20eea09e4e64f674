#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quillmorph {

// An immutable 8-bit sRGB raster, rows from the top with a stride of width × 4 bytes: premultiplied
// RGBA when hasAlpha, otherwise RGBX (the fourth byte ignored). Copies share the pixels.
class Bitmap {
public:
    // pixels.size() must be width × height × 4.
    Bitmap(int width, int height, bool hasAlpha, std::vector<std::uint8_t> pixels);
    // Adopts a buffer owned elsewhere (a decoder's), released through `pixels`'s deleter.
    Bitmap(int width, int height, bool hasAlpha, std::shared_ptr<const std::uint8_t[]> pixels);

    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] bool hasAlpha() const { return m_hasAlpha; }
    [[nodiscard]] std::size_t byteCount() const { return std::size_t(m_width) * std::size_t(m_height) * 4; }
    [[nodiscard]] std::span<const std::uint8_t> pixels() const { return {m_pixels.get(), byteCount()}; }

    // True when both hold the very same pixel storage (an unchanged resize returns its input).
    [[nodiscard]] bool isSameImage(const Bitmap& other) const { return m_pixels == other.m_pixels; }

    // Straight RGBA, four bytes a pixel, rows from the top: every channel of a pixel whose alpha a is
    // neither 0 nor 255 becomes min(255, c × 255 / a); RGBX pixels get alpha 255. Nothing when the
    // buffer cannot be allocated.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> unpremultipliedRGBA() const;

private:
    int m_width = 0;
    int m_height = 0;
    bool m_hasAlpha = false;
    std::shared_ptr<const std::uint8_t[]> m_pixels;
};

} // namespace quillmorph
