#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quillmorph {

// What a PDF image dictionary needs to know of a JPEG stream it embeds unchanged.
struct JPEGHeader {
    int width = 0;
    int height = 0;
    int components = 0; // 1 gray, 3 YCbCr/RGB, 4 CMYK

    bool operator==(const JPEGHeader&) const = default;

    // The first frame header (SOFn) of the stream. Nothing when the bytes do not start with SOI,
    // a segment runs past the end, the scan starts before any frame header, or the frame has a
    // zero dimension (height given later by DNL, which PDF readers do not support).
    [[nodiscard]] static std::optional<JPEGHeader> read(std::span<const std::uint8_t> jpeg);
};

} // namespace quillmorph
