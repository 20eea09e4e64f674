#pragma once

#include "PopplerDocument.h"

#include <cstdint>
#include <optional>
#include <vector>

// The JPEG picture of one rendered page.
namespace quillmorph::PageEncoder {

// Baseline JPEG at `quality` (0 … 1), no metadata, Huffman tables optimised on smooth pages up to 12 MP:
// 8-bit gray for a gray page, RGB otherwise. Nothing when the encoder fails.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality);

} // namespace quillmorph::PageEncoder
