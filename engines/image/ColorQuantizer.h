#pragma once

#include "engines/image/Bitmap.h"

#include <optional>

namespace quillmorph::ColorQuantizer {

// The image reduced to at most maxColors premultiplied RGBA colours (alpha is a fourth channel): median cut
// over a colour histogram (sampled above 2,000,000 pixels), two refinement passes, then Floyd–Steinberg
// error diffusion, which is switched off above 8,000,000 pixels. Same size and alpha presence as the
// source; fully transparent pixels come out as (0, 0, 0, 0). Deterministic. Nothing when maxColors < 2, the
// image is empty, or it already has maxColors colours or fewer.
[[nodiscard]] std::optional<Bitmap> quantize(const Bitmap& image, int maxColors);

} // namespace quillmorph::ColorQuantizer
