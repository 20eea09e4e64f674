#pragma once

#include "PopplerDocument.h"

#include <cstdint>
#include <optional>
#include <vector>

// The JPEG picture of one rendered page.
namespace quillmorph::PageEncoder {

enum class Tone { color, gray };

// Baseline JPEG at `quality` (0 … 1), Huffman tables optimised, no metadata: 8-bit gray for
// `gray` (falling back to colour when no gray plane can be allocated), RGB otherwise. The page's
// pixels are used as scratch space. Nothing when the encoder fails.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> encode(RenderedPage& page, double quality, Tone tone);

} // namespace quillmorph::PageEncoder
