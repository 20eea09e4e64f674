#pragma once

#include "engines/image/Bitmap.h"
#include "engines/image/PNGCandidateRace.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillmorph::PNGWriter {

// A complete indexed-colour PNG (colour type 3, bit depth 1, 2, 4 or 8) holding the image's exact straight
// RGBA colours, palette in order of ascending alpha and then of first appearance. Nothing when the image is
// empty, has more than 256 distinct colours, or cannot be read back or compressed.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> indexed(const Bitmap& image);

// A complete 8-bit truecolour PNG of the image's exact straight colours: RGB (colour type 2) without
// alpha, RGBA (colour type 6) with it; every row filter tried on every row. Nothing when the image is
// empty or cannot be read back or compressed.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> truecolour(const Bitmap& image);

// The smaller of the two above (truecolour on a tie), both encoded at once from one reading of the
// pixels; the indexed one only when the image has 256 colours or fewer. In a race, `entry` sends the
// indexed file's size, and the truecolour one is left out, giving nothing, when it cannot beat the
// race's smallest palette file.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> smallest(const Bitmap& image,
                                                                PNGCandidateRace::Entry* entry = nullptr);

} // namespace quillmorph::PNGWriter
